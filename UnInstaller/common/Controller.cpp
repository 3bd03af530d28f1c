#include "UnInstaller/common/Controller.h"
#include "UnInstaller/common/PlanLock.h"

#include "UnInstaller/common/GestaltErr.h"
#include "UnInstaller/common/RemovableModules.h"
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
#include "platform/foundation/Plural.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/SearchPaths.h"
#include "platform/security/Authorization.h"

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

/// ScriptHelper's exit statuses that the window tells apart.
constexpr int kToolDone = 0;
constexpr int kToolKeptSome = 1;
constexpr int kToolBusy = 75;

/// Kept modules are named in the alert when there are at most this many.
constexpr std::size_t kMaxNamesShown = 5;

/// Replaces each "%@" in text by the next of values.
std::string fill(std::string text, std::initializer_list<std::string> values)
{
    std::size_t at = 0;
    for (const std::string& value : values) {
        at = text.find("%@", at);
        if (at == std::string::npos)
            break;
        text.replace(at, 2, value);
        at += value.size();
    }
    return text;
}

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

Controller::~Controller() = default;

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
                return (*m_arrayName)[row];
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
        noListMessage_->setStringValue(problem ? fill(localizedString("STEXT_REGISTRY_UNREADABLE"),
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
            fill(localizedString("STEXT_REGISTRY_UNREADABLE"), {platform::resolveSystemPath(kRegistryPath)}));
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
        return platform::PlistValue((*m_arrayName)[index]);
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
    const char* initialState = allSelectChk_ && allSelectChk_->state() != 0 ? kCheckOn : kCheckOff;

    // The rows that ScriptHelper would refuse are offered disabled, with its reason.
    const RemovableModules judge;
    const std::vector<RemovableModules::Module> modules = judge.modulesOf(*m_kepl2Dict);
    const std::map<RemovableModules::Refusal, std::string> reasonTexts{
        {RemovableModules::Refusal::None, std::string()},
        {RemovableModules::Refusal::UnsafePath, localizedString("STEXT_ROW_UNSAFE")},
        {RemovableModules::Refusal::OutsideModuleFolders, fill(localizedString("STEXT_ROW_OUTSIDE"), {judge.folderList()})},
        {RemovableModules::Refusal::SettingUnusable,
         fill(localizedString("STEXT_ROW_NO_SETTING"), {scripthelper::ModuleFolders::settingFile()})}};
    for (StringArray* rows : {&names, &checks, &identifiers, &installPaths, &reasons})
        rows->reserve(modules.size());
    for (const RemovableModules::Module& module : modules) {
        const bool removable = module.refusal == RemovableModules::Refusal::None;
        names.push_back(module.name);
        checks.push_back(removable ? initialState : kCheckOff);
        identifiers.push_back(module.id);
        installPaths.push_back(module.installPath);
        reasons.push_back(reasonTexts.at(module.refusal));
    }

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
        entry.set(kPlanIdentifierKey, platform::PlistValue((*m_arrayUUID)[row]));
        entry.set(kPlanPathKey,
                  platform::PlistValue(platform::stringByDeletingLastPathComponent((*m_arrayInstallPath)[row])));
        entries.push_back(platform::PlistValue(std::move(entry)));
    }

    platform::PlistDictionary root;
    root.set(kPlanAppsKey, platform::PlistValue(std::move(entries)));

    // A fresh account has no Library/Preferences folder yet; the plan is handed over there.
    platform::createDirectoryAtPath(preferences);

    if (!platform::writeToFile(platform::PlistValue(std::move(root)), path, false)) {
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
    const auto critical = [this](const std::string& key, const std::string& message) {
        platform::NSRunCriticalAlertPanel(localizedString(key), message, localizedString("STEXT_OK_BUTTON"));
    };

    const platform::AuthorizationFlags flags =
        platform::kAuthorizationFlagInteractionAllowed | platform::kAuthorizationFlagExtendRights;
    const platform::OSStatus granted = platform::AuthorizationCopyRights(authorization, &rights, nullptr, flags, nullptr);
    if (granted != platform::errAuthorizationSuccess) {
        // A dismissed prompt shows nothing more; every other refusal says what happened, or
        // pressing the button would seem to do nothing.
        if (granted == platform::errAuthorizationDenied) {
            platform::NSLog("Administrator rights were refused: not authorized.");
            critical("STEXT_NOT_AUTHORIZED", localizedString("STEXT_NOT_AUTHORIZED_MESSAGE"));
        } else if (granted == platform::errAuthorizationInteractionNotAllowed) {
            platform::NSLog("Administrator rights could not be asked: no authentication agent.");
            critical("STEXT_NO_AGENT", localizedString("STEXT_NO_AGENT_MESSAGE"));
        } else if (granted != platform::errAuthorizationCanceled) {
            platform::NSLog("Administrator rights could not be asked: polkit did not answer.");
            critical("STEXT_NO_POLKIT", localizedString("STEXT_NO_POLKIT_MESSAGE"));
        }
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
        platform::NSRunInformationalAlertPanel(localizedString("STEXT_BUSY"), localizedString("STEXT_BUSY_MESSAGE"),
                                               localizedString("STEXT_OK_BUTTON"));
        platform::AuthorizationFree(authorization, platform::kAuthorizationFlagDefaults);
        return;
    }

    if (!saveUnInstallPlist()) {
        // The user gave the password: a plan that could not be written is said, not passed over.
        if (m_planWriteFailed) {
            critical("STEXT_PLAN_NOT_SAVED",
                     fill(localizedString("STEXT_PLAN_NOT_SAVED_MESSAGE"),
                          {platform::stringByAppendingPathComponent(platform::preferencesDirectory(), kPlanFileName)}));
        }
        terminateApplication(m_planWriteFailed ? 1 : 0);
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
        critical("STEXT_NOT_STARTED", localizedString("STEXT_NOT_STARTED_MESSAGE"));
        terminateApplication(1);
        platform::AuthorizationFree(authorization, platform::kAuthorizationFlagDefaults);
        return;
    }

    const std::string language = textLanguage();
    RemovalSession::Texts texts;
    texts.title = localizedString("STEXT_PROGRESS_TITLE");
    texts.stopButton = localizedString("STEXT_STOP_BUTTON");
    texts.stopping = localizedString("STEXT_STOPPING");
    texts.progress = [this, language](std::size_t index, std::size_t total, const std::string& name) {
        return fill(localizedString("STEXT_PROGRESS"),
                    {platform::formatCount(language, index), platform::formatCount(language, total), name});
    };
    RemovalSession session(kRemovalProgram, [this](const std::string& id) { return nameOfModule(id); }, texts);
    const RemovalSession::Tally tally = session.follow(authorization, pipe);
    int exitStatus = -1;
    if (platform::AuthorizationCopyToolExitStatus(authorization, &exitStatus) != platform::errAuthorizationSuccess)
        exitStatus = -1;
    if (showBusy)
        platform::uiBackend().setBusy(false);
    if (exitStatus != kToolDone)
        platform::NSLog("%@ ended with status %@", {kRemovalProgram, std::to_string(exitStatus)});

    const std::optional<int> endStatus = reportRemoval(exitStatus, tally);
    std::fclose(pipe);
    if (endStatus)
        terminateApplication(*endStatus);
    else
        reloadList();
    platform::AuthorizationFree(authorization, platform::kAuthorizationFlagDefaults);
}

std::optional<int> Controller::reportRemoval(int exitStatus, const RemovalSession::Tally& tally)
{
    const std::string language = textLanguage();
    const auto lookup = [this](const std::string& key) { return localizedString(key); };
    const std::string ok = localizedString("STEXT_OK_BUTTON");
    const auto names = [this](const std::vector<std::string>& identifiers) {
        std::string text;
        for (std::size_t i = 0; i < identifiers.size() && i < kMaxNamesShown; ++i)
            text += "\n• " + nameOfModule(identifiers[i]);
        if (identifiers.size() > kMaxNamesShown)
            text += "\n…";
        return text;
    };

    // Files a removed module's receipt listed that stayed, named by path.
    std::string keptFiles;
    if (!tally.keptFiles.empty()) {
        keptFiles = "\n\n" + platform::countedText(language, "STEXT_FILES_KEPT", tally.keptFiles.size(), lookup);
        for (std::size_t i = 0; i < tally.keptFiles.size() && i < kMaxNamesShown; ++i)
            keptFiles += "\n• " + tally.keptFiles[i].second;
        if (tally.keptFiles.size() > kMaxNamesShown)
            keptFiles += "\n…";
    }
    if (exitStatus == kToolDone) {
        const std::string message =
            (tally.gone.empty() ? std::string() : platform::countedText(language, "STEXT_REMOVED", tally.gone.size(), lookup)) +
            keptFiles;
        platform::NSRunInformationalAlertPanel(localizedString("STEXT_END"), message, ok);
        return 0;
    }
    if (exitStatus == kToolBusy) {
        platform::NSRunInformationalAlertPanel(localizedString("STEXT_BUSY"), localizedString("STEXT_BUSY_MESSAGE"), ok);
        return std::nullopt;
    }
    if (exitStatus != kToolKeptSome || tally.kept.empty()) {
        platform::NSRunCriticalAlertPanel(localizedString("STEXT_REMOVAL_FAILED"),
                                          localizedString("STEXT_REMOVAL_FAILED_MESSAGE"), ok);
        return std::nullopt;
    }

    std::vector<std::string> kept;
    for (const auto& [identifier, reason] : tally.kept)
        kept.push_back(identifier);
    const char* title = tally.stopped ? "STEXT_STOPPED" : tally.gone.empty() ? "STEXT_NONE_REMOVED" : "STEXT_SOME_NOT_REMOVED";
    std::string message;
    if (!tally.gone.empty())
        message = platform::countedText(language, "STEXT_REMOVED", tally.gone.size(), lookup) + "\n";
    message += platform::countedText(language, "STEXT_KEPT", kept.size(), lookup) + names(kept) + keptFiles + "\n\n" +
               localizedString("STEXT_LOG_HINT");
    const platform::NSInteger answer =
        platform::hasUiBackend()
            ? platform::uiBackend().runAlertWithAlternate(platform::AlertKind::Critical, localizedString(title), message,
                                                          ok, localizedString("STEXT_BACK_BUTTON"))
            : 1;
    if (answer == 0)
        return std::nullopt;
    return 1;
}
