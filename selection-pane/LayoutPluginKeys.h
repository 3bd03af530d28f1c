#pragma once

// Every key, file name and state word that the pane reads or writes, in one place.

namespace oxlade {

/// The pane's own bundle: its folder name and its identifier.
inline constexpr const char* kBundleFileName = "Oxlade.bundle";
inline constexpr const char* kBundleIdentifier = "com.tavix.Oxlade";

/// Localization keys of the pane's own texts.
inline constexpr const char* kTitleKey = "Title";
inline constexpr const char* kLayoutPluginButtonKey = "LAYOUTPLUGIN_BUTTON";
/// The sentence above the checklist.
inline constexpr const char* kHeadingKey = "HEADING_MESSAGE";
/// The folder chooser's title for a row whose folder the user names; "%@" is the row's name.
inline constexpr const char* kFolderPanelTitleKey = "FOLDER_PANEL_TITLE";

/// The strings table and the catalogue resource.
inline constexpr const char* kStringsTableName = "Localizable";
inline constexpr const char* kStringsTableType = "strings";
inline constexpr const char* kCatalogueName = "Applications";
inline constexpr const char* kCatalogueType = "plist";

/// The pane's interface description resource.
inline constexpr const char* kInterfaceName = "InstallerPane";
inline constexpr const char* kInterfaceType = "ui";

/// Keys of the catalogue's root dictionary.
inline constexpr const char* kCatalogueAppsKey = "APPs";
inline constexpr const char* kSupportDriverVersionKey = "SupportDriverVersion";
inline constexpr const char* kSupportLayoutPluginKey = "SupportLayoutPlugin";

/// Keys of a catalogue entry.
inline constexpr const char* kPluginTypeKey = "PluginType";
inline constexpr const char* kAppNameKey = "APPNameKey";
inline constexpr const char* kPathsFilesKey = "PathsFiles";
inline constexpr const char* kInstallPathKey = "InstallPath";
inline constexpr const char* kImportNameKey = "ImportName";
inline constexpr const char* kAutomationNameKey = "AutomationName";

/// Words of "PluginType" and "APPNameKey" with a meaning of their own.
inline constexpr const char* kPluginTypePS = "PS";
inline constexpr const char* kPluginTypeQVR = "QVR";
inline constexpr const char* kAppNamePSSelf = "PS_SELF";

/// Row states.
inline constexpr const char* kCheckOn = "CHK_ON";
inline constexpr const char* kCheckOff = "CHK_OFF";
inline constexpr const char* kEnable = "Enable";
/// The tool tip of a disabled row: its host is not on this computer; English when no table has it.
inline constexpr const char* kNotFoundKey = "STEXT_NOT_FOUND";
inline constexpr const char* kNotFoundEnglish = "Not found on this computer";
inline constexpr const char* kDisable = "Disable";

/// Table column identifiers.
inline constexpr const char* kColumnCheck = "chk";
inline constexpr const char* kColumnName = "name";

/// Outlet names of the controller in the interface description.
inline constexpr const char* kTableViewOutlet = "m_uiTableView";
inline constexpr const char* kLayoutInstallOutlet = "m_uiLayoutInstall";
inline constexpr const char* kHeadingOutlet = "m_uiHeading";

/// The printer-driver framework whose version is tested, and its version key.
inline constexpr const char* kDriverFrameworkPath = "/Library/Printers/Tavix/TOLM/Frameworks/lumapi2.framework";
inline constexpr const char* kBundleVersionKey = "CFBundleVersion";

/// The install plan: its file in the Preferences folder and its keys.
inline constexpr const char* kInstallPlanFileName = "com.tavix.pluginInstall.plist";
inline constexpr const char* kMakeLayoutInstallerKey = "MakeLayoutInstaller";
inline constexpr const char* kLayoutPluginInstallKey = "LayoutPluginInstall";
inline constexpr const char* kInstallAppsKey = "InstallApps";
inline constexpr const char* kDeletePluginPathKey = "DeletePluginPath";
inline constexpr const char* kPrintInstallPathKey = "PrintInstallPath";
inline constexpr const char* kLayoutInstallPathKey = "LayoutInstallPath";
inline constexpr const char* kNotDelete = "NotDelete";
inline constexpr const char* kAutomateFolder = "Automate";
inline constexpr const char* kYes = "YES";
inline constexpr const char* kNo = "NO";

/// The message logged when a plan cannot be written.
inline constexpr const char* kSaveFailedMessage = "データの保存に失敗しました。";

/// Keys of the installer's shared dictionary that the pane owns ("LayoutPluginInstall" is
/// kLayoutPluginInstallKey).
inline constexpr const char* kSelectionAppKey = "selectionAPPKey";

}  // namespace oxlade
