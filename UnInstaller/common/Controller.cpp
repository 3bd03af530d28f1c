#include "UnInstaller/common/Controller.h"

#include "UnInstaller/common/GestaltErr.h"
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
#include "platform/foundation/Path.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/SearchPaths.h"
#include "platform/security/Authorization.h"

#include <cstdint>
#include <cstdio>

using platform::NSInteger;

namespace {

constexpr const char* kCheckOn = "CHK_ON";
constexpr const char* kCheckOff = "CHK_OFF";
constexpr const char* kColumnCheck = "chk";
constexpr const char* kColumnName = "name";

constexpr const char* kRegistryPath = "/Library/Preferences/com.tavix.KEPL2.plist";
constexpr const char* kRegistryModulesKey = "KEP2_KEY_MODULES";
constexpr const char* kModuleNameKey = "ModuleName";
constexpr const char* kInstallPathKey = "InstallPath";
constexpr const char* kListedNameMark = "vLX";

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
constexpr const char* kActionAllSelect = "requestAllSelect:";

/// A registry entry that the window lists: a dictionary whose name carries the listed mark and
/// which names its install path.
bool isListedModule(const platform::PlistValue& value)
{
    const platform::PlistDictionary* entry = value.asDictionary();
    const std::string* name = entry ? entry->stringForKey(kModuleNameKey) : nullptr;
    return name && name->find(kListedNameMark) != std::string::npos && entry->stringForKey(kInstallPathKey);
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

void Controller::terminateApplication()
{
    platform::Application::sharedApplication().terminate(this);
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

    m_kepl2Dict = getKEPL2Dict();
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
    if (!rowIndexValid(m_arrayCheck, index))
        return;
    (*m_arrayCheck)[index] = platform::intValue(value) == 0 ? kCheckOff : kCheckOn;
    updateUnInstallButtonState();
    if (platform::TableView* table = tableView ? tableView : uiTableView_)
        table->reloadData();
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

std::optional<platform::PlistDictionary> Controller::getKEPL2Dict() const
{
    const std::string path = platform::resolveSystemPath(kRegistryPath);
    // Only what the rows show is built: the modules that are listed, each with its name and
    // install path.
    static const platform::PlistSelection kRowFields = platform::PlistSelection::none().key(
        kRegistryModulesKey, platform::PlistSelection::none().anyOtherKey(platform::PlistSelection::none()
                                                                              .key(kModuleNameKey)
                                                                              .key(kInstallPathKey)
                                                                              .keepIf(isListedModule)));
    platform::PlistReadFailure failure = platform::PlistReadFailure::None;
    std::optional<platform::PlistValue> root = platform::readPropertyListFile(path, nullptr, &failure, &kRowFields);
    if (!root) {
        // A missing registry means nothing is installed; any other refusal is worth a line, since
        // the window then says the same.
        if (failure != platform::PlistReadFailure::Unreadable)
            platform::NSLog("The module registry %@ was not read: it is %@.",
                            {path, platform::describePlistReadFailure(failure)});
        return std::nullopt;
    }
    platform::PlistDictionary* rootDict = root->asDictionary();
    platform::PlistValue* modules = rootDict ? rootDict->find(kRegistryModulesKey) : nullptr;
    if (!modules || !modules->asDictionary()) {
        platform::NSLog("The module registry %@ was not read: it holds no %@ dictionary.", {path, kRegistryModulesKey});
        return std::nullopt;
    }
    return std::move(*modules->asDictionary());
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
    const char* initialState = allSelectChk_ && allSelectChk_->state() != 0 ? kCheckOn : kCheckOff;
    for (StringArray* rows : {&names, &checks, &identifiers, &installPaths})
        rows->reserve(m_kepl2Dict->size());

    for (std::size_t i = 0; i < m_kepl2Dict->size(); ++i) {
        const platform::PlistDictionary* entry = m_kepl2Dict->valueAt(i).asDictionary();
        if (!entry)
            continue;
        const std::string* name = entry->stringForKey(kModuleNameKey);
        if (!name || name->find(kListedNameMark) == std::string::npos)
            continue;
        const std::string* installPath = entry->stringForKey(kInstallPathKey);
        if (!installPath)
            continue;
        names.push_back(*name);
        checks.push_back(initialState);
        identifiers.push_back(m_kepl2Dict->keyAt(i));
        installPaths.push_back(*installPath);
    }

    const bool listed = !checks.empty();
    m_arrayName = std::move(names);
    m_arrayCheck = std::move(checks);
    m_arrayUUID = std::move(identifiers);
    m_arrayInstallPath = std::move(installPaths);

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
        return false;
    }
    return true;
}

std::size_t Controller::countTickedStillRegistered() const
{
    std::size_t ticked = 0;
    std::size_t left = 0;
    const std::optional<platform::PlistDictionary> now = getKEPL2Dict();
    const std::size_t rows = m_arrayCheck ? m_arrayCheck->size() : 0;
    for (std::size_t row = 0; row < rows; ++row) {
        if ((*m_arrayCheck)[row] != kCheckOn || !rowIndexValid(m_arrayUUID, row))
            continue;
        ++ticked;
        if (!now || now->contains((*m_arrayUUID)[row]))
            ++left;
    }
    return left > 0 ? left : ticked;
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

    const platform::AuthorizationFlags flags =
        platform::kAuthorizationFlagInteractionAllowed | platform::kAuthorizationFlagExtendRights;
    const platform::OSStatus granted = platform::AuthorizationCopyRights(authorization, &rights, nullptr, flags, nullptr);
    if (granted != platform::errAuthorizationSuccess) {
        // A dismissed or refused prompt shows nothing more; a prompt that could not be shown at
        // all is said, or pressing the button would seem to do nothing.
        if (granted == platform::errAuthorizationInteractionNotAllowed)
            platform::NSRunInformationalAlertPanel(localizedString("STEXT_NO_AUTH_PROMPT"),
                                                   localizedString("STEXT_NO_AUTH_PROMPT_MESSAGE"),
                                                   localizedString("STEXT_OK_BUTTON"));
        platform::AuthorizationFree(authorization, platform::kAuthorizationFlagDefaults);
        return;
    }

    if (!saveUnInstallPlist()) {
        terminateApplication();
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
        terminateApplication();
        platform::AuthorizationFree(authorization, platform::kAuthorizationFlagDefaults);
        return;
    }

    // The removal program's lines go to the system log, where the outcome alert points.
    char buffer[1024];
    std::string line;
    while (std::fgets(buffer, static_cast<int>(sizeof buffer), pipe) != nullptr) {
        line += buffer;
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
            platform::NSLog("%@: %@", {kRemovalProgram, line});
            line.clear();
        }
    }
    if (!line.empty())
        platform::NSLog("%@: %@", {kRemovalProgram, line});
    int exitStatus = -1;
    if (platform::AuthorizationCopyToolExitStatus(authorization, &exitStatus) != platform::errAuthorizationSuccess)
        exitStatus = -1;
    if (showBusy)
        platform::uiBackend().setBusy(false);

    if (exitStatus == 0) {
        platform::NSRunInformationalAlertPanel(localizedString("STEXT_END"), "", localizedString("STEXT_OK_BUTTON"));
    } else {
        platform::NSLog("%@ ended with status %@", {kRemovalProgram, std::to_string(exitStatus)});
        std::string message = localizedString("STEXT_NOT_REMOVED_MESSAGE");
        if (const std::size_t at = message.find("%@"); at != std::string::npos)
            message.replace(at, 2, std::to_string(countTickedStillRegistered()));
        platform::NSRunInformationalAlertPanel(localizedString("STEXT_NOT_REMOVED"), message,
                                               localizedString("STEXT_OK_BUTTON"));
    }
    std::fclose(pipe);
    terminateApplication();
    platform::AuthorizationFree(authorization, platform::kAuthorizationFlagDefaults);
}
