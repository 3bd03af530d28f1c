#include "UnInstaller/common/Controller.h"

#include "UnInstaller/common/GestaltErr.h"
#include "UnInstaller/common/PlanLock.h"
#include "UnInstaller/common/RemovableModules.h"
#include "UnInstaller/common/RemovalReport.h"
#include "UnInstaller/common/SystemRequirement.h"
#include "platform/appkit/Alert.h"
#include "platform/appkit/Button.h"
#include "platform/appkit/Menu.h"
#include "platform/appkit/TextField.h"
#include "platform/appkit/UiBackend.h"
#include "platform/coreservices/Gestalt.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "UnInstaller/resources/ScriptHelper/ModuleFolders.h"
#include "platform/foundation/Path.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/SearchPaths.h"
#include "platform/security/Authorization.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <map>

using platform::NSInteger;

namespace {

constexpr const char* kCheckOn = "CHK_ON";
constexpr const char* kCheckOff = "CHK_OFF";
constexpr const char* kColumnCheck = "chk";
constexpr const char* kColumnName = "name";

constexpr const char* kRegistryPath = RemovableModules::kRegistryPath;

constexpr const char* kPlanFileName = "com.tavix.pluginUnInstall.plist";
constexpr const char* kPlanAppsKey = "UnInstallApps";
constexpr const char* kPlanPackageKey = "PKG";
constexpr const char* kPlanIdentifierKey = "UUID";
constexpr const char* kPlanPathKey = "UnInstallPath";
constexpr const char* kPackagePrefix = "com.tavix.QVR.";
constexpr const char* kSaveFailedMessage = "データの保存に失敗しました。";

constexpr const char* kRemovalProgram = "ScriptHelper";

constexpr const char* kMenuApp = "MENU_APP";
constexpr const char* kMenuAbout = "MENU_ABOUT";
constexpr const char* kMenuQuit = "MENU_QUIT";

constexpr const char* kAboutVersionKey = "STEXT_VERSION";
constexpr const char* kAboutDescriptionKey = "STEXT_ABOUT_DESCRIPTION";

constexpr const char* kActionClose = "close:";
constexpr const char* kActionUnInstall = "requestUnInstall:";
/// How long the window waits for another run of the same account to end before it says so.
constexpr int kPlanLockWaitMs = 2 * 1000;
constexpr const char* kActionAllSelect = "requestAllSelect:";

/// ScriptHelper's exit status when every ticked module is gone.
constexpr int kToolDone = 0;

/// The rows' arrays stay parallel only when every one holds as many entries as the check states.
bool rowIndexValid(const std::optional<Controller::StringArray>& array, std::size_t row)
{
    return array && row < array->size();
}

}  // namespace

Controller::Controller()
{
    init();
}

Controller::~Controller()
{
    if (!s_leaveDataAtEnd || !platform::Application::sharedApplication().isTerminated())
        return;
    // Moved into storage that is never freed: a registry of 100,000 modules is half a million
    // allocations, which the end of the process takes back at once.
    struct Data {
        std::optional<platform::PlistDictionary> registry;
        std::optional<StringArray> rows[5];
    };
    new Data{std::move(m_kepl2Dict),
             {std::move(m_arrayName), std::move(m_arrayCheck), std::move(m_arrayUUID), std::move(m_arrayInstallPath),
              std::move(m_arrayReason)}};
}

Controller* Controller::init()
{
    m_arrayCheck.reset();
    m_arrayName.reset();
    m_arrayUUID.reset();
    m_arrayInstallPath.reset();
    m_kepl2Dict.reset();
    return this;
}

bool Controller::connectOutlet(const std::string& name, platform::Control* object)
{
    if (name == "window") {
        auto* window = dynamic_cast<platform::Window*>(object);
        setWindow(window);
        return window != nullptr || object == nullptr;
    }
    if (name == "uninstallButton" || name == "closeButton" || name == "allSelectChk") {
        auto* button = dynamic_cast<platform::Button*>(object);
        if (name == "uninstallButton")
            setUninstallButton(button);
        else if (name == "closeButton")
            setCloseButton(button);
        else
            setAllSelectChk(button);
        return button != nullptr || object == nullptr;
    }
    if (name == "messageTitle" || name == "noListMessage") {
        auto* field = dynamic_cast<platform::TextField*>(object);
        if (name == "messageTitle")
            setMessageTitle(field);
        else
            setNoListMessage(field);
        return field != nullptr || object == nullptr;
    }
    if (name == "uiTableView") {
        auto* table = dynamic_cast<platform::TableView*>(object);
        setUiTableView(table);
        return table != nullptr || object == nullptr;
    }
    return false;
}

bool Controller::performAction(const std::string& selector, platform::Control* sender)
{
    if (selector == kActionClose) {
        close(sender);
        return true;
    }
    if (selector == kActionUnInstall) {
        requestUnInstall(sender);
        return true;
    }
    if (selector == kActionAllSelect) {
        requestAllSelect(sender);
        return true;
    }
    return false;
}

std::string Controller::localizedString(const std::string& key) const
{
    const std::shared_ptr<platform::Bundle> bundle = m_classBundle ? m_classBundle : platform::Bundle::mainBundle();
    return bundle ? bundle->localizedStringForKey(key, "") : key;
}

std::string Controller::localizedMenuString(const std::string& key) const
{
    const std::shared_ptr<platform::Bundle> bundle = platform::Bundle::mainBundle();
    return bundle ? bundle->localizedStringForKey(key, "") : key;
}

void Controller::terminateApplication(int status)
{
    platform::Application::sharedApplication().terminateWithStatus(this, status);
}

std::string Controller::textLanguage() const
{
    const std::shared_ptr<platform::Bundle> bundle = m_classBundle ? m_classBundle : platform::Bundle::mainBundle();
    const std::vector<std::string> localizations = bundle ? bundle->preferredLocalizations() : std::vector<std::string>();
    return localizations.empty() ? std::string("en") : localizations.front();
}

bool Controller::rowEnabled(std::size_t row) const
{
    return !m_arrayReason || row >= m_arrayReason->size() || (*m_arrayReason)[row].empty();
}

std::string Controller::nameOfModule(const std::string& identifier) const
{
    if (m_arrayUUID && m_arrayName) {
        for (std::size_t row = 0; row < m_arrayUUID->size() && row < m_arrayName->size(); ++row) {
            if ((*m_arrayUUID)[row] == identifier)
                return (*m_arrayName)[row].str();
        }
    }
    return identifier;
}

void Controller::reloadList()
{
    if (allSelectChk_) {
        allSelectChk_->setState(0);
        allSelectChk_->setTitle(localizedString("STEXT_ALLSELECT"));
    }
    std::optional<std::string> problem;
    m_kepl2Dict = getKEPL2Dict(&problem);
    if (noListMessage_) {
        noListMessage_->setStringValue(problem ? RemovalReport::fill(localizedString("STEXT_REGISTRY_UNREADABLE"),
                                                      {platform::resolveSystemPath(kRegistryPath)})
                                               : localizedString("NOTFOUND_MESS"));
    }
    makeSelectListView();
    updateUnInstallButtonState();
}

void Controller::awakeFromNib()
{
    if (window_) {
        window_->center();
        window_->setTitle(localizedString("STEXT_CAPTION"));
    }
    if (messageTitle_)
        messageTitle_->setStringValue(localizedString("STEXT_UNINSTALL_MESSAGE"));
    if (uninstallButton_)
        uninstallButton_->setTitle(localizedString("STEXT_UNINSTALL_BUTTON"));
    if (closeButton_)
        closeButton_->setTitle(localizedString("STEXT_CLOSE_BUTTON"));
    if (allSelectChk_)
        allSelectChk_->setTitle(localizedString("STEXT_ALLSELECT"));
    if (noListMessage_)
        noListMessage_->setStringValue(localizedString("NOTFOUND_MESS"));
    if (uninstallButton_)
        uninstallButton_->setEnabled(false);
    if (allSelectChk_)
        allSelectChk_->setState(0);

    std::optional<std::string> problem;
    m_kepl2Dict = getKEPL2Dict(&problem);
    if (problem && noListMessage_) {
        noListMessage_->setStringValue(
            RemovalReport::fill(localizedString("STEXT_REGISTRY_UNREADABLE"), {platform::resolveSystemPath(kRegistryPath)}));
    }
    makeSelectListView();
    updateUnInstallButtonState();
}

void Controller::applicationDidFinishLaunching(platform::Application* application)
{
    platform::Application& app = application ? *application : platform::Application::sharedApplication();
    if (platform::Menu* mainMenu = app.mainMenu()) {
        for (std::size_t i = 0; i < mainMenu->numberOfItems(); ++i) {
            platform::MenuItem* topItem = mainMenu->itemAtIndex(i);
            platform::Menu* submenu = topItem ? topItem->submenu() : nullptr;
            if (!submenu)
                continue;
            if (submenu->title() == kMenuApp)
                submenu->setTitle(localizedMenuString(kMenuApp));
            for (std::size_t j = 0; j < submenu->numberOfItems(); ++j) {
                platform::MenuItem* item = submenu->itemAtIndex(j);
                if (!item)
                    continue;
                if (item->title() == kMenuAbout) {
                    item->setTitle(localizedMenuString(kMenuAbout));
                    item->setAction([this] { requestAbout(nullptr); });
                }
                if (item->title() == kMenuQuit)
                    item->setTitle(localizedMenuString(kMenuQuit));
            }
        }
        mainMenu->update();
    }

    try {
        std::int32_t version = 0;
        if (platform::Gestalt(platform::gestaltSystemVersion, &version) != platform::noErr)
            throw GestaltErr();
        if (!meetsSystemRequirement(version)) {
            platform::NSRunCriticalAlertPanel(localizedString("RequirementsMessageKey"), "",
                                              localizedString("STEXT_OK_BUTTON"));
            terminateApplication();
        }
    } catch (const GestaltErr&) {
        platform::NSLog("GestaltErr");
        terminateApplication();
    }
}

void Controller::requestAbout(platform::Control*)
{
    const std::shared_ptr<platform::Bundle> bundle = m_classBundle ? m_classBundle : platform::Bundle::mainBundle();
    std::string name = "Plugsweep";
    std::string version;
    if (bundle) {
        if (const std::string* value = bundle->infoDictionary().stringForKey("CFBundleName"))
            name = *value;
        if (const std::string* value = bundle->infoDictionary().stringForKey("CFBundleShortVersionString"))
            version = *value;
    }
    std::string versionLine = localizedString(kAboutVersionKey);
    if (const auto at = versionLine.find("%@"); at != std::string::npos)
        versionLine.replace(at, 2, version);
    platform::NSRunInformationalAlertPanel(name, versionLine + "\n" + localizedString(kAboutDescriptionKey),
                                           localizedString("STEXT_OK_BUTTON"));
}

void Controller::windowWillClose(platform::Window*)
{
    terminateApplication();
}

void Controller::close(platform::Control*)
{
    terminateApplication();
}

NSInteger Controller::numberOfRowsInTableView(platform::TableView*)
{
    return m_arrayCheck ? static_cast<NSInteger>(m_arrayCheck->size()) : 0;
}

platform::ObjectValue Controller::objectValueForTableColumn(platform::TableView*, platform::TableColumn* column,
                                                            NSInteger row)
{
    if (!column || row < 0)
        return std::nullopt;
    const auto index = static_cast<std::size_t>(row);
    if (column->identifier() == kColumnCheck) {
        if (!rowIndexValid(m_arrayCheck, index))
            return std::nullopt;
        return platform::PlistValue((*m_arrayCheck)[index] == kCheckOff ? 0 : 1);
    }
    if (column->identifier() == kColumnName) {
        if (!rowIndexValid(m_arrayName, index))
            return std::nullopt;
        return (*m_arrayName)[index].value();
    }
    return std::nullopt;
}

void Controller::setObjectValue(platform::TableView* tableView, const platform::ObjectValue& value,
                                platform::TableColumn* column, NSInteger row)
{
    if (!column || column->identifier() != kColumnCheck || row < 0)
        return;
    const auto index = static_cast<std::size_t>(row);
    if (!rowIndexValid(m_arrayCheck, index) || !rowEnabled(index))
        return;
    (*m_arrayCheck)[index] = platform::intValue(value) == 0 ? kCheckOff : kCheckOn;
    updateUnInstallButtonState();
    if (platform::TableView* table = tableView ? tableView : uiTableView_)
        table->reloadData();
}

void Controller::willDisplayCell(platform::TableView*, platform::Cell* cell, platform::TableColumn*, NSInteger row)
{
    if (!cell || row < 0)
        return;
    const auto index = static_cast<std::size_t>(row);
    cell->setEnabled(rowEnabled(index));
    if (!rowEnabled(index))
        cell->setToolTip((*m_arrayReason)[index]);
}

void Controller::requestAllSelect(platform::Control*)
{
    if (allSelectChk_) {
        allSelectChk_->setTitle(
            localizedString(allSelectChk_->state() == 0 ? "STEXT_ALLSELECT" : "STEXT_ALLUNSELECT"));
    }
    makeSelectListView();
    updateUnInstallButtonState();
}

std::optional<platform::PlistDictionary> Controller::getKEPL2Dict(std::optional<std::string>* problem) const
{
    return RemovableModules::readRegistry(problem);
}

void Controller::makeSelectListView()
{
    if (!m_kepl2Dict) {
        if (noListMessage_)
            noListMessage_->setHidden(false);
        if (uiTableView_)
            uiTableView_->setEnabled(false);
        if (allSelectChk_)
            allSelectChk_->setEnabled(false);
        return;
    }

    StringArray names;
    StringArray checks;
    StringArray identifiers;
    StringArray installPaths;
    StringArray reasons;
    const RowText checkedOff(kCheckOff);
    const RowText initialState = allSelectChk_ && allSelectChk_->state() != 0 ? RowText(kCheckOn) : checkedOff;

    // The rows that ScriptHelper would refuse are offered disabled, with its reason.
    const RemovableModules judge;
    // The rows share each module's texts with the registry's dictionary, as its values: no list
    // of modules stands between them, and no text is copied.
    const std::map<RemovableModules::Refusal, RowText> reasonTexts{
        {RemovableModules::Refusal::None, RowText()},
        {RemovableModules::Refusal::UnsafePath, localizedString("STEXT_ROW_UNSAFE")},
        {RemovableModules::Refusal::OutsideModuleFolders, RemovalReport::fill(localizedString("STEXT_ROW_OUTSIDE"), {judge.folderList()})},
        {RemovableModules::Refusal::SettingUnusable,
         RemovalReport::fill(localizedString("STEXT_ROW_NO_SETTING"), {scripthelper::ModuleFolders::settingFile()})}};
    for (StringArray* rows : {&names, &checks, &identifiers, &installPaths, &reasons})
        rows->reserve(m_kepl2Dict->size());
    judge.forEachModule(*m_kepl2Dict, [&](const platform::PlistValue& id, const platform::PlistValue& name,
                                          const platform::PlistValue& installPath, RemovableModules::Refusal refusal) {
        names.emplace_back(name);
        checks.push_back(refusal == RemovableModules::Refusal::None ? initialState : checkedOff);
        identifiers.emplace_back(id);
        installPaths.emplace_back(installPath);
        reasons.push_back(reasonTexts.at(refusal));
    });

    const bool listed = !checks.empty();
    m_arrayName = std::move(names);
    m_arrayCheck = std::move(checks);
    m_arrayUUID = std::move(identifiers);
    m_arrayInstallPath = std::move(installPaths);
    m_arrayReason = std::move(reasons);

    if (noListMessage_)
        noListMessage_->setHidden(listed);
    if (uiTableView_)
        uiTableView_->setEnabled(listed);
    if (allSelectChk_)
        allSelectChk_->setEnabled(listed);
    if (uiTableView_)
        uiTableView_->reloadData();
}

void Controller::updateUnInstallButtonState()
{
    if (uninstallButton_)
        uninstallButton_->setEnabled(false);
    if (m_arrayCheck) {
        for (const std::string& state : *m_arrayCheck) {
            if (state == kCheckOn) {
                if (uninstallButton_)
                    uninstallButton_->setEnabled(true);
                return;
            }
        }
    }
    if (allSelectChk_) {
        allSelectChk_->setState(0);
        allSelectChk_->setTitle(localizedString("STEXT_ALLSELECT"));
    }
}

bool Controller::saveUnInstallPlist()
{
    m_planWriteFailed = false;
    m_planWriteError = 0;
    const std::string preferences = platform::preferencesDirectory();
    const std::string path = platform::stringByAppendingPathComponent(preferences, kPlanFileName);

    platform::PlistArray entries;
    const std::size_t rows = m_arrayCheck ? m_arrayCheck->size() : 0;
    for (std::size_t row = 0; row < rows; ++row) {
        if ((*m_arrayCheck)[row] != kCheckOn)
            continue;
        if (!rowIndexValid(m_arrayName, row) || !rowIndexValid(m_arrayUUID, row) ||
            !rowIndexValid(m_arrayInstallPath, row))
            return false;
        const std::string& name = (*m_arrayName)[row];
        const std::size_t blank = name.find(' ');
        if (blank == std::string::npos)
            return false;
        platform::PlistDictionary entry;
        entry.set(kPlanPackageKey, platform::PlistValue(kPackagePrefix + name.substr(0, blank)));
        entry.set(kPlanIdentifierKey, (*m_arrayUUID)[row].value());
        entry.set(kPlanPathKey,
                  platform::PlistValue(platform::stringByDeletingLastPathComponent((*m_arrayInstallPath)[row].str())));
        entries.push_back(platform::PlistValue(std::move(entry)));
    }

    platform::PlistDictionary root;
    root.set(kPlanAppsKey, platform::PlistValue(std::move(entries)));

    // A fresh account has no Library/Preferences folder yet; the plan is handed over there.
    platform::createDirectoryAtPath(preferences);

    errno = 0;
    if (!platform::writeToFile(platform::PlistValue(std::move(root)), path, false)) {
        m_planWriteError = errno;
        platform::NSLog("%@", {kSaveFailedMessage});
        m_planWriteFailed = true;
        return false;
    }
    return true;
}

void Controller::requestUnInstall(platform::Control*)
{
    const std::shared_ptr<platform::Bundle> bundle = platform::Bundle::mainBundle();
    const std::string toolPath = bundle ? bundle->pathForResource(kRemovalProgram, "").value_or(std::string())
                                        : std::string();

    platform::AuthorizationItem right;
    right.name = platform::kAuthorizationRightExecute;
    right.valueLength = toolPath.size();
    right.value = toolPath.c_str();
    right.flags = 0;
    platform::AuthorizationRights rights;
    rights.count = 1;
    rights.items = &right;

    platform::AuthorizationRef authorization = nullptr;
    if (platform::AuthorizationCreate(nullptr, nullptr, platform::kAuthorizationFlagDefaults, &authorization) !=
        platform::errAuthorizationSuccess) {
        if (authorization)
            platform::AuthorizationFree(authorization, platform::kAuthorizationFlagDefaults);
        return;
    }
    const RemovalReport report = removalReport();

    const platform::AuthorizationFlags flags =
        platform::kAuthorizationFlagInteractionAllowed | platform::kAuthorizationFlagExtendRights;
    const platform::OSStatus granted = platform::AuthorizationCopyRights(authorization, &rights, nullptr, flags, nullptr);
    if (granted != platform::errAuthorizationSuccess) {
        report.rightsRefused(granted);
        platform::AuthorizationFree(authorization, platform::kAuthorizationFlagDefaults);
        return;
    }

    // Held until the removal program has ended: another window or command line of this account
    // cannot replace the plan meanwhile.
    PlanLock::Failure lockFailure = PlanLock::Failure::None;
    std::string lockError;
    const std::optional<PlanLock> planLock =
        PlanLock::acquire(platform::preferencesDirectory(), kPlanLockWaitMs, &lockFailure, &lockError);
    if (lockFailure == PlanLock::Failure::Busy) {
        platform::NSLog("The removal waits for another run of this account: %@", {lockError});
        report.accountBusy();
        platform::AuthorizationFree(authorization, platform::kAuthorizationFlagDefaults);
        return;
    }

    if (!saveUnInstallPlist()) {
        // The user gave the password: a plan that could not be written is said, with its reason,
        // and the list stays as it was for another try.
        std::optional<int> endStatus = 0;
        if (m_planWriteFailed) {
            endStatus = report.planNotSaved(
                platform::stringByAppendingPathComponent(platform::preferencesDirectory(), kPlanFileName),
                report.writeFailure(m_planWriteError));
        }
        if (endStatus)
            terminateApplication(*endStatus);
        else
            focusList();
        platform::AuthorizationFree(authorization, platform::kAuthorizationFlagDefaults);
        return;
    }

    const bool showBusy = platform::hasUiBackend();
    if (showBusy)
        platform::uiBackend().setBusy(true);
    std::FILE* pipe = nullptr;
    const platform::OSStatus started = platform::AuthorizationExecuteWithPrivileges(
        authorization, toolPath.c_str(), platform::kAuthorizationFlagDefaults, nullptr, &pipe);
    if (started != platform::errAuthorizationSuccess || !pipe) {
        if (pipe)
            std::fclose(pipe);
        if (showBusy)
            platform::uiBackend().setBusy(false);
        platform::NSLog("%@ could not be started (status %@)", {kRemovalProgram, std::to_string(started)});
        terminateApplication(report.notStarted());
        platform::AuthorizationFree(authorization, platform::kAuthorizationFlagDefaults);
        return;
    }

    const std::size_t ticked = tickedCount();
    RemovalSession session(kRemovalProgram, [this](const std::string& id) { return nameOfModule(id); },
                           report.progressTexts());
    const RemovalSession::Tally tally = session.follow(authorization, pipe);
    int exitStatus = -1;
    if (platform::AuthorizationCopyToolExitStatus(authorization, &exitStatus) != platform::errAuthorizationSuccess)
        exitStatus = -1;
    if (showBusy)
        platform::uiBackend().setBusy(false);
    if (exitStatus != kToolDone)
        platform::NSLog("%@ ended with status %@", {kRemovalProgram, std::to_string(exitStatus)});

    const std::optional<int> endStatus = report.removalEnded(exitStatus, tally, ticked);
    std::fclose(pipe);
    if (endStatus) {
        terminateApplication(*endStatus);
    } else {
        reloadList();
        focusList();
    }
    platform::AuthorizationFree(authorization, platform::kAuthorizationFlagDefaults);
}

RemovalReport Controller::removalReport() const
{
    return RemovalReport([this](const std::string& key) { return localizedString(key); },
                         [this](const std::string& id) { return nameOfModule(id); }, textLanguage());
}

std::size_t Controller::tickedCount() const
{
    return m_arrayCheck ? static_cast<std::size_t>(std::count(m_arrayCheck->begin(), m_arrayCheck->end(), kCheckOn))
                        : 0;
}

void Controller::focusList()
{
    // Where the keyboard was before the alerts: the first enabled row, or the box above the
    // buttons when no row is listed. The rows announce themselves when they take the focus.
    if (!window_)
        return;
    if (uiTableView_ && uiTableView_->isEnabled() && window_->makeFirstResponder(uiTableView_))
        return;
    if (allSelectChk_ && allSelectChk_->isEnabled() && window_->makeFirstResponder(allSelectChk_))
        return;
    if (closeButton_)
        window_->makeFirstResponder(closeButton_);
}
