#pragma once

#include "selection-pane/APPViewDelegate.h"
#include "selection-pane/LayoutPluginBundleLookup.h"

#include "platform/appkit/Interface.h"
#include "platform/appkit/TableView.h"
#include "platform/foundation/PlistValue.h"
#include "platform/foundation/Types.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {
class Button;
class TextField;
}

namespace oxlade {

/// The view controller behind the pane's checklist of host applications: it reads the host
/// catalogue and the PS path files, keeps one row per offered host in parallel arrays, serves
/// the table as its data source and delegate, and writes the install plan.
class APPViewControl_LayoutPlugin : public LayoutPluginBundleLookup,
                                    public platform::TableDataSource,
                                    public platform::TableDelegate,
                                    public platform::NibObject {
public:
    using StringArray = std::vector<std::string>;

    APPViewControl_LayoutPlugin() = default;
    ~APPViewControl_LayoutPlugin() override = default;
    APPViewControl_LayoutPlugin(const APPViewControl_LayoutPlugin&) = delete;
    APPViewControl_LayoutPlugin& operator=(const APPViewControl_LayoutPlugin&) = delete;

    // Catalogue and driver-version queries.

    /// The catalogue's "APPs" array, read anew from the first bundle of the list whose catalogue
    /// has one; none when no catalogue has it.
    std::optional<platform::PlistArray> getAppArray() const;
    /// The catalogue's "SupportDriverVersion" string, or none.
    std::optional<std::string> getSupportDriverVersion() const;
    /// Whether the catalogue's "SupportLayoutPlugin" is exactly "YES".
    bool supportLayoutInstaller() const;
    /// Whether the "CFBundleVersion" of the framework bundle at frameworkPath, read as one decimal
    /// number, is at least requiredVersion. False when there is no bundle, no version, or no
    /// required version.
    bool checkDriverVersion(const std::string& frameworkPath, const std::optional<std::string>& requiredVersion) const;
    /// checkDriverVersion of the machine's printer-driver framework against m_supportDrvVer.
    bool supportDriverVersion() const;
    /// The plug-in folder named by the PS path file of that name in the Preferences folder, or none.
    std::optional<std::string> getPSPluginPath(const std::string& pathFileName) const;
    /// Whether one of the named PS path files, tried in order, names a path where something exists.
    bool checkPSPluginPath(const StringArray& pathFileNames) const;

    // The checklist.

    /// Sets up the checklist for one visit, ticking the rows that previousSelection names.
    void initUI(const std::optional<StringArray>& previousSelection);
    /// Drops the per-visit data; the table then has no rows.
    void terminateUI();
    /// Rebuilds the four row arrays from the catalogue and the disk, then reloads the table.
    void makeSelectListView();
    /// Whether the previous selection holds exactly key.
    bool getSelectAPP(const std::string& key) const;
    /// Tells the delegate NO, then YES when a row is ticked.
    void updateNextButtonState();
    /// Passes the state to the delegate; nothing without one.
    void setNextButtonState(bool enabled);
    /// Unticks and hides the layout-install switch.
    void layoutCheckState();
    /// The layout-install switch's state: 0 unticked, 1 ticked, -1 mixed; 0 without a switch.
    platform::NSInteger layoutInstallCheck() const;

    // The install plan.

    /// Writes the install plan for the ticked rows to the Preferences folder, asking for a folder
    /// for each ticked "PS_SELF" row. False when a folder choice was cancelled (nothing is
    /// written) or the write failed (logged).
    bool saveInstallPlist();
    /// Asks the user for one folder, starting in the home folder; none when cancelled. With an
    /// application name the chooser is titled with it ("FOLDER_PANEL_TITLE").
    std::optional<std::string> selectionSheet(const std::string& applicationName = std::string());

    // Table data source and delegate.

    platform::NSInteger numberOfRowsInTableView(platform::TableView* tableView) override;
    platform::ObjectValue objectValueForTableColumn(platform::TableView* tableView, platform::TableColumn* column,
                                                    platform::NSInteger row) override;
    void setObjectValue(platform::TableView* tableView, const platform::ObjectValue& value,
                        platform::TableColumn* column, platform::NSInteger row) override;
    void willDisplayCell(platform::TableView* tableView, platform::Cell* cell, platform::TableColumn* column,
                         platform::NSInteger row) override;

    // Interface connections: the outlets "m_uiTableView", "m_uiLayoutInstall" and "m_uiHeading"
    // (the sentence above the list). Connecting the table makes this controller its data source
    // and delegate.

    bool connectOutlet(const std::string& name, platform::Control* object) override;
    bool performAction(const std::string& selector, platform::Control* sender) override;

    // Properties.

    APPViewDelegate* delegate() const { return m_delegate; }
    /// Not owned.
    void setDelegate(APPViewDelegate* delegate) { m_delegate = delegate; }
    const std::optional<StringArray>& selectArray() const { return m_selectArray; }
    void setM_selectArray(std::optional<StringArray> value) { m_selectArray = std::move(value); }
    const std::optional<platform::PlistArray>& appArray() const { return m_appArray; }
    void setM_appArray(std::optional<platform::PlistArray> value) { m_appArray = std::move(value); }
    const std::optional<StringArray>& arrayCheck() const { return m_arrayCheck; }
    void setM_arrayCheck(std::optional<StringArray> value) { m_arrayCheck = std::move(value); }
    const std::optional<StringArray>& arrayName() const { return m_arrayName; }
    void setM_arrayName(std::optional<StringArray> value) { m_arrayName = std::move(value); }
    const std::optional<StringArray>& arrayEnable() const { return m_arrayEnable; }
    void setM_arrayEnable(std::optional<StringArray> value) { m_arrayEnable = std::move(value); }

    /// The connected interface objects, or null.
    platform::TableView* uiTableView() const { return m_uiTableView; }
    platform::Button* uiLayoutInstall() const { return m_uiLayoutInstall; }
    platform::TextField* uiHeading() const { return m_uiHeading; }
    /// The required driver version kept by initUI, or none.
    const std::optional<std::string>& supportDrvVer() const { return m_supportDrvVer; }
    /// The answer of supportLayoutInstaller kept by initUI.
    bool supportLayoutPlugin() const { return m_supportLayoutPlugin; }

private:
    /// The tool tip of a disabled row, localized.
    std::string notFoundText() const;
    /// The value under key in the first catalogue of the bundle list that has one of that type.
    std::optional<platform::PlistValue> catalogueValue(const char* key, platform::PlistValue::Type type) const;
    /// Whether a row's host can be found, as "Enable" or "Disable".
    std::string enabledFlagForEntry(const platform::PlistDictionary& entry) const;
    /// The row's check state, or null when the row does not exist.
    std::string* checkStateAt(platform::NSInteger row);

    APPViewDelegate* m_delegate = nullptr;
    std::optional<StringArray> m_selectArray;
    std::optional<platform::PlistArray> m_appArray;
    std::optional<StringArray> m_arrayCheck;
    std::optional<StringArray> m_arrayName;
    std::optional<StringArray> m_arrayEnable;
    platform::TableView* m_uiTableView = nullptr;
    platform::Button* m_uiLayoutInstall = nullptr;
    platform::TextField* m_uiHeading = nullptr;
    std::optional<std::string> m_supportDrvVer;
    bool m_supportLayoutPlugin = false;
    /// The disabled rows' tool tip, looked up once per visit.
    mutable std::optional<std::string> m_notFoundText;
};

}  // namespace oxlade
