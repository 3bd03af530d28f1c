#include "selection-pane/APPViewControl_LayoutPlugin.h"

#include "selection-pane/LayoutPluginKeys.h"
#include "selection-pane/PSPathFile.h"

#include "platform/appkit/Button.h"
#include "platform/appkit/OpenPanel.h"
#include "platform/appkit/TextField.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Number.h"
#include "platform/foundation/Path.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/SearchPaths.h"

#include <new>

namespace oxlade {

using platform::NSInteger;
using platform::PlistArray;
using platform::PlistDictionary;
using platform::PlistValue;

namespace {

// The string elements of a property-list array, in order; elements of other types are skipped.
std::vector<std::string> stringsOf(const PlistArray& array)
{
    std::vector<std::string> strings;
    strings.reserve(array.size());
    for (const PlistValue& value : array) {
        if (const std::string* text = value.asString())
            strings.push_back(*text);
    }
    return strings;
}

bool isCheckColumn(const platform::TableColumn* column)
{
    return column && column->identifier() == kColumnCheck;
}

// Whether row indexes an element of a row array of that size.
bool rowInRange(NSInteger row, std::size_t size)
{
    return row >= 0 && static_cast<std::size_t>(row) < size;
}

// The Preferences folder, made when it is missing: a fresh home on this platform has none yet.
// False when it cannot be made.
bool ensurePreferencesFolder(const std::string& folder)
{
    return platform::createDirectoryAtPath(folder);
}

// The folder chooser's title: the template with its "%@" replaced by the application's name; the
// name alone when the template has no placeholder (a table without the entry gives its key).
std::string panelTitle(const std::string& format, const std::string& applicationName)
{
    const auto placeholder = format.find("%@");
    if (placeholder == std::string::npos)
        return applicationName;
    return format.substr(0, placeholder) + applicationName + format.substr(placeholder + 2);
}

}  // namespace

// Catalogue and driver-version queries.

std::optional<PlistValue> APPViewControl_LayoutPlugin::catalogueValue(const char* key, PlistValue::Type type) const
{
    const std::optional<BundleList> bundles = getBundleArray();
    if (!bundles)
        return std::nullopt;
    for (const auto& bundle : *bundles) {
        if (!bundle)
            continue;
        const std::optional<std::string> path = bundle->pathForResource(kCatalogueName, kCatalogueType);
        if (!path)
            continue;
        const std::optional<PlistDictionary> catalogue = platform::dictionaryWithContentsOfFile(*path);
        if (!catalogue)
            continue;
        const PlistValue* value = catalogue->find(key);
        if (value && value->type() == type)
            return *value;
    }
    return std::nullopt;
}

std::optional<PlistArray> APPViewControl_LayoutPlugin::getAppArray() const
{
    std::optional<PlistValue> value = catalogueValue(kCatalogueAppsKey, PlistValue::Type::Array);
    if (!value)
        return std::nullopt;
    return std::move(*value->asArray());
}

std::optional<std::string> APPViewControl_LayoutPlugin::getSupportDriverVersion() const
{
    std::optional<PlistValue> value = catalogueValue(kSupportDriverVersionKey, PlistValue::Type::String);
    if (!value)
        return std::nullopt;
    return *value->asString();
}

bool APPViewControl_LayoutPlugin::supportLayoutInstaller() const
{
    const std::optional<PlistValue> value = catalogueValue(kSupportLayoutPluginKey, PlistValue::Type::String);
    return value && *value->asString() == kYes;
}

bool APPViewControl_LayoutPlugin::checkDriverVersion(const std::string& frameworkPath,
                                                     const std::optional<std::string>& requiredVersion) const
{
    if (!requiredVersion || frameworkPath.empty())
        return false;
    const std::shared_ptr<platform::Bundle> framework = platform::Bundle::bundleWithPath(frameworkPath);
    if (!framework)
        return false;
    const PlistValue* version = framework->objectForInfoDictionaryKey(kBundleVersionKey);
    if (!version || !version->asString())
        return false;
    const double installed = platform::CFStringGetDoubleValue(*version->asString());
    const double required = platform::CFStringGetDoubleValue(*requiredVersion);
    return !(required > installed);
}

bool APPViewControl_LayoutPlugin::supportDriverVersion() const
{
    return checkDriverVersion(platform::resolveSystemPath(kDriverFrameworkPath), m_supportDrvVer);
}

std::optional<std::string> APPViewControl_LayoutPlugin::getPSPluginPath(const std::string& pathFileName) const
{
    const std::string path =
        platform::stringByAppendingPathComponent(platform::preferencesDirectory(), pathFileName);
    return readPSPathFile(path);
}

bool APPViewControl_LayoutPlugin::checkPSPluginPath(const StringArray& pathFileNames) const
{
    for (const std::string& name : pathFileNames) {
        const std::optional<std::string> path = getPSPluginPath(name);
        if (path && platform::fileExistsAtPath(*path))
            return true;
    }
    return false;
}

// The checklist.

void APPViewControl_LayoutPlugin::initUI(const std::optional<StringArray>& previousSelection)
{
    m_selectArray = previousSelection;

    m_appArray.reset();
    m_arrayCheck.reset();
    m_arrayName.reset();
    m_arrayEnable.reset();
    m_supportDrvVer.reset();
    m_notFoundText.reset();
    m_supportLayoutPlugin = false;

    if (m_uiHeading)
        m_uiHeading->setStringValue(localizedStringForKey(getBundleArray(), std::string(kHeadingKey)));
    if (m_uiLayoutInstall)
        m_uiLayoutInstall->setTitle(localizedStringForKey(getBundleArray(), std::string(kLayoutPluginButtonKey)));

    m_supportDrvVer = getSupportDriverVersion();
    m_supportLayoutPlugin = supportLayoutInstaller();

    makeSelectListView();
    updateNextButtonState();
    layoutCheckState();
}

void APPViewControl_LayoutPlugin::terminateUI()
{
    m_selectArray.reset();
    m_appArray.reset();
    m_arrayName.reset();
    m_arrayCheck.reset();
    m_arrayEnable.reset();
    m_supportDrvVer.reset();
}

std::string APPViewControl_LayoutPlugin::enabledFlagForEntry(const PlistDictionary& entry) const
{
    const std::string* type = entry.stringForKey(kPluginTypeKey);
    if (!type || *type != kPluginTypePS)
        return kEnable;

    const std::string* name = entry.stringForKey(kAppNameKey);
    if (name && *name == kAppNamePSSelf) {
        const std::string* installPath = entry.stringForKey(kInstallPathKey);
        return (!installPath || platform::fileExistsAtPath(*installPath)) ? kEnable : kDisable;
    }

    const PlistArray* pathsFiles = entry.arrayForKey(kPathsFilesKey);
    return (pathsFiles && checkPSPluginPath(stringsOf(*pathsFiles))) ? kEnable : kDisable;
}

void APPViewControl_LayoutPlugin::makeSelectListView()
{
    StringArray names;
    StringArray checks;
    StringArray enables;
    PlistArray entries;

    const std::optional<BundleList> bundles = getBundleArray();
    if (const std::optional<PlistArray> apps = getAppArray()) {
        for (const PlistValue& value : *apps) {
            const PlistDictionary* entry = value.asDictionary();
            if (!entry)
                continue;
            const std::string* type = entry->stringForKey(kPluginTypeKey);
            if (!type || *type == kPluginTypeQVR)
                continue;

            entries.push_back(value);

            const std::string* name = entry->stringForKey(kAppNameKey);
            names.push_back(localizedStringForKey(bundles, name ? std::optional<std::string>(*name) : std::nullopt));
            checks.push_back((m_selectArray && name && getSelectAPP(*name)) ? kCheckOn : kCheckOff);
            enables.push_back(enabledFlagForEntry(*entry));
        }
    }

    m_arrayName = std::move(names);
    m_arrayCheck = std::move(checks);
    m_arrayEnable = std::move(enables);
    m_appArray = std::move(entries);

    if (m_uiTableView)
        m_uiTableView->reloadData();
}

bool APPViewControl_LayoutPlugin::getSelectAPP(const std::string& key) const
{
    if (!m_selectArray)
        return false;
    for (const std::string& selected : *m_selectArray) {
        if (selected == key)
            return true;
    }
    return false;
}

void APPViewControl_LayoutPlugin::updateNextButtonState()
{
    setNextButtonState(false);
    if (!m_arrayCheck)
        return;
    for (const std::string& state : *m_arrayCheck) {
        if (state == kCheckOn) {
            setNextButtonState(true);
            return;
        }
    }
}

void APPViewControl_LayoutPlugin::setNextButtonState(bool enabled)
{
    if (m_delegate)
        m_delegate->setNextButtonState(enabled);
}

void APPViewControl_LayoutPlugin::layoutCheckState()
{
    if (!m_uiLayoutInstall)
        return;
    m_uiLayoutInstall->setState(0);
    m_uiLayoutInstall->setHidden(true);
}

NSInteger APPViewControl_LayoutPlugin::layoutInstallCheck() const
{
    return m_uiLayoutInstall ? m_uiLayoutInstall->state() : 0;
}

// The install plan.

bool APPViewControl_LayoutPlugin::saveInstallPlist()
{
    const std::string preferences = platform::preferencesDirectory();
    const std::string planPath = platform::stringByAppendingPathComponent(preferences, kInstallPlanFileName);

    PlistDictionary plan;
    PlistArray installApps;
    try {
        plan.set(kMakeLayoutInstallerKey, kYes);
        plan.set(kLayoutPluginInstallKey, kYes);

        for (std::size_t i = 0; m_arrayCheck && i < m_arrayCheck->size(); ++i) {
            if ((*m_arrayCheck)[i] != kCheckOn)
                continue;
            if (!m_appArray || i >= m_appArray->size())
                continue;
            // A copy: the folder choice below runs a modal loop, and the rows must not be
            // referenced across it.
            const PlistValue entryValue = (*m_appArray)[i];
            const PlistDictionary* entry = entryValue.asDictionary();
            if (!entry)
                continue;
            const std::string* type = entry->stringForKey(kPluginTypeKey);
            if (!type)
                continue;
            const std::string* name = entry->stringForKey(kAppNameKey);
            const std::string* automationName = entry->stringForKey(kAutomationNameKey);

            if (name && *name == kAppNamePSSelf) {
                const std::optional<std::string> folder =
                    selectionSheet(m_arrayName && i < m_arrayName->size() ? (*m_arrayName)[i] : std::string());
                if (!folder)
                    return false;
                PlistDictionary planEntry;
                planEntry.set(kDeletePluginPathKey, kNotDelete);
                planEntry.set(kPrintInstallPathKey, *folder);
                planEntry.set(kPluginTypeKey, *type);
                planEntry.set(kLayoutInstallPathKey,
                              automationName ? platform::stringByAppendingPathComponent(
                                                   platform::stringByDeletingLastPathComponent(*folder), kAutomateFolder)
                                             : *folder);
                installApps.push_back(std::move(planEntry));
            } else if (*type == kPluginTypePS) {
                const PlistArray* pathsFiles = entry->arrayForKey(kPathsFilesKey);
                if (!pathsFiles)
                    continue;
                const std::string* importName = entry->stringForKey(kImportNameKey);
                for (const std::string& pathFile : stringsOf(*pathsFiles)) {
                    const std::optional<std::string> folder = getPSPluginPath(pathFile);
                    if (!folder)
                        continue;
                    const std::string printPath =
                        importName ? platform::stringByAppendingPathComponent(*folder, *importName) : *folder;
                    PlistDictionary planEntry;
                    planEntry.set(kDeletePluginPathKey, *folder);
                    planEntry.set(kPrintInstallPathKey, printPath);
                    planEntry.set(kPluginTypeKey, *type);
                    planEntry.set(kLayoutInstallPathKey,
                                  automationName
                                      ? platform::stringByAppendingPathComponent(
                                            platform::stringByDeletingLastPathComponent(printPath), *automationName)
                                      : printPath);
                    installApps.push_back(std::move(planEntry));
                }
            } else {
                const std::string* catalogued = entry->stringForKey(kInstallPathKey);
                if (!catalogued)
                    continue;
                // The catalogue's folder is one of the machine's, as the driver's is.
                const std::string installPath = platform::resolveSystemPath(*catalogued);
                PlistDictionary planEntry;
                planEntry.set(kPrintInstallPathKey, installPath);
                planEntry.set(kPluginTypeKey, *type);
                planEntry.set(kLayoutInstallPathKey,
                              automationName
                                  ? platform::stringByAppendingPathComponent(
                                        platform::stringByDeletingLastPathComponent(installPath), kAutomateFolder)
                                  : installPath);
                installApps.push_back(std::move(planEntry));
            }
        }

        plan.set(kInstallAppsKey, std::move(installApps));
    } catch (const std::bad_alloc&) {
        return false;
    }

    const bool written = ensurePreferencesFolder(preferences) && platform::writeToFile(plan, planPath, false);
    if (!written)
        platform::NSLog("%@", {kSaveFailedMessage});
    return written;
}

std::optional<std::string> APPViewControl_LayoutPlugin::selectionSheet(const std::string& applicationName)
{
    const std::unique_ptr<platform::OpenPanel> panel = platform::OpenPanel::openPanel();
    if (!panel)
        return std::nullopt;
    if (!applicationName.empty())
        panel->setTitle(panelTitle(localizedStringForKey(getBundleArray(), std::string(kFolderPanelTitleKey)),
                                   applicationName));
    panel->setCanChooseDirectories(true);
    panel->setCanChooseFiles(false);
    if (panel->runModalForDirectory(platform::NSHomeDirectory(), std::nullopt, std::nullopt) != 1)
        return std::nullopt;
    return panel->filename();
}

// Table data source and delegate.

NSInteger APPViewControl_LayoutPlugin::numberOfRowsInTableView(platform::TableView*)
{
    return m_arrayCheck ? static_cast<NSInteger>(m_arrayCheck->size()) : 0;
}

platform::ObjectValue APPViewControl_LayoutPlugin::objectValueForTableColumn(platform::TableView*,
                                                                             platform::TableColumn* column,
                                                                             NSInteger row)
{
    if (!column)
        return std::nullopt;
    if (column->identifier() == kColumnCheck) {
        if (!m_arrayCheck || !rowInRange(row, m_arrayCheck->size()))
            return std::nullopt;
        return PlistValue((*m_arrayCheck)[static_cast<std::size_t>(row)] == kCheckOff ? 0 : 1);
    }
    if (column->identifier() == kColumnName) {
        if (!m_arrayName || !rowInRange(row, m_arrayName->size()))
            return std::nullopt;
        return PlistValue((*m_arrayName)[static_cast<std::size_t>(row)]);
    }
    return std::nullopt;
}

std::string* APPViewControl_LayoutPlugin::checkStateAt(NSInteger row)
{
    if (!m_arrayCheck || !rowInRange(row, m_arrayCheck->size()))
        return nullptr;
    return &(*m_arrayCheck)[static_cast<std::size_t>(row)];
}

void APPViewControl_LayoutPlugin::setObjectValue(platform::TableView* tableView, const platform::ObjectValue& value,
                                                 platform::TableColumn* column, NSInteger row)
{
    if (!isCheckColumn(column))
        return;
    std::string* state = checkStateAt(row);
    if (!state)
        return;
    *state = platform::intValue(value) == 0 ? kCheckOff : kCheckOn;
    updateNextButtonState();
    layoutCheckState();
    if (platform::TableView* table = tableView ? tableView : m_uiTableView)
        table->reloadData();
}

void APPViewControl_LayoutPlugin::willDisplayCell(platform::TableView*, platform::Cell* cell, platform::TableColumn*,
                                                  NSInteger row)
{
    if (!cell)
        return;
    const bool enabled = m_arrayEnable && rowInRange(row, m_arrayEnable->size()) &&
                         (*m_arrayEnable)[static_cast<std::size_t>(row)] == kEnable;
    cell->setEnabled(enabled);
    if (!enabled)
        cell->setToolTip(notFoundText());
}

std::string APPViewControl_LayoutPlugin::notFoundText() const
{
    if (!m_notFoundText) {
        const std::string text = localizedStringForKey(getBundleArray(), std::string(kNotFoundKey));
        m_notFoundText = text == kNotFoundKey ? std::string(kNotFoundEnglish) : text;
    }
    return *m_notFoundText;
}

// Interface connections.

bool APPViewControl_LayoutPlugin::connectOutlet(const std::string& name, platform::Control* object)
{
    if (name == kTableViewOutlet) {
        m_uiTableView = dynamic_cast<platform::TableView*>(object);
        if (m_uiTableView) {
            m_uiTableView->setDataSource(this);
            m_uiTableView->setDelegate(this);
        }
        return true;
    }
    if (name == kLayoutInstallOutlet) {
        m_uiLayoutInstall = dynamic_cast<platform::Button*>(object);
        return true;
    }
    if (name == kHeadingOutlet) {
        m_uiHeading = dynamic_cast<platform::TextField*>(object);
        return true;
    }
    return false;
}

bool APPViewControl_LayoutPlugin::performAction(const std::string&, platform::Control*)
{
    return false;
}

}  // namespace oxlade
