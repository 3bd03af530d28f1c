#pragma once

#include "platform/appkit/Application.h"
#include "platform/appkit/Interface.h"
#include "platform/appkit/TableView.h"
#include "platform/appkit/Window.h"
#include "platform/foundation/PlistValue.h"
#include "platform/foundation/Types.h"
#include "UnInstaller/common/RowText.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class Bundle;
class Button;
class Control;
class TextField;
}  // namespace platform

class RemovalReport;

/// The uninstaller's one controller: application delegate, owner and delegate of the window,
/// and data source of the module table. It lists the registry's modules, follows the user's
/// ticks and runs the privileged removal of the ticked ones.
class Controller : public platform::NibObject,
                   public platform::ApplicationDelegate,
                   public platform::WindowDelegate,
                   public platform::TableDataSource,
                   public platform::TableDelegate {
public:
    /// A row array: the texts of one column, sharing the registry's strings.
    using StringArray = std::vector<RowText>;

    /// Name under which the window description asks for this class.
    static constexpr const char* kClassName = "Controller";

    Controller();
    ~Controller() override;

    /// Once the program's window has closed the process ends: a controller destroyed after that
    /// leaves the registry's tree and the rows to the system rather than freeing them one by one.
    /// Set by the program's own main; controllers made by anything else free everything.
    static void leaveDataToTheEndOfTheProcess() { s_leaveDataAtEnd = true; }
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    /// Sets the five owned members to empty and answers the controller.
    Controller* init();

    // Outlets: connected from the window description, never owned.
    platform::Window* window() const { return window_; }
    void setWindow(platform::Window* window) { window_ = window; }
    platform::Button* uninstallButton() const { return uninstallButton_; }
    void setUninstallButton(platform::Button* button) { uninstallButton_ = button; }
    platform::Button* closeButton() const { return closeButton_; }
    void setCloseButton(platform::Button* button) { closeButton_ = button; }
    platform::Button* allSelectChk() const { return allSelectChk_; }
    void setAllSelectChk(platform::Button* button) { allSelectChk_ = button; }
    platform::TextField* messageTitle() const { return messageTitle_; }
    void setMessageTitle(platform::TextField* field) { messageTitle_ = field; }
    platform::TextField* noListMessage() const { return noListMessage_; }
    void setNoListMessage(platform::TextField* field) { noListMessage_ = field; }
    platform::TableView* uiTableView() const { return uiTableView_; }
    void setUiTableView(platform::TableView* tableView) { uiTableView_ = tableView; }

    // Owned rows (four parallel arrays) and the registry's module dictionary; none while unset.
    const std::optional<StringArray>& arrayCheck() const { return m_arrayCheck; }
    void setM_arrayCheck(std::optional<StringArray> array) { m_arrayCheck = std::move(array); }
    const std::optional<StringArray>& arrayName() const { return m_arrayName; }
    void setM_arrayName(std::optional<StringArray> array) { m_arrayName = std::move(array); }
    const std::optional<StringArray>& arrayUUID() const { return m_arrayUUID; }
    void setM_arrayUUID(std::optional<StringArray> array) { m_arrayUUID = std::move(array); }
    const std::optional<StringArray>& arrayInstallPath() const { return m_arrayInstallPath; }
    void setM_arrayInstallPath(std::optional<StringArray> array) { m_arrayInstallPath = std::move(array); }
    /// Why each row cannot be removed, empty for rows that can; rows beyond its end can.
    const std::optional<StringArray>& arrayReason() const { return m_arrayReason; }
    const std::optional<platform::PlistDictionary>& kepl2Dict() const { return m_kepl2Dict; }
    void setM_kepl2Dict(std::optional<platform::PlistDictionary> dict) { m_kepl2Dict = std::move(dict); }

    /// The bundle whose strings table gives the window, button and alert texts; the main bundle
    /// unless one was set (for tests). Null restores the main bundle.
    void setClassBundle(std::shared_ptr<platform::Bundle> bundle) { m_classBundle = std::move(bundle); }

    // NibObject.
    bool connectOutlet(const std::string& name, platform::Control* object) override;
    bool performAction(const std::string& selector, platform::Control* sender) override;
    /// Localizes the window, reads the registry once, builds the unticked list and disables
    /// the Uninstall button.
    void awakeFromNib() override;

    // ApplicationDelegate.
    /// Retitles the main menu's placeholders, then ends the program on a system older than 10.6.
    void applicationDidFinishLaunching(platform::Application* application) override;

    // WindowDelegate.
    /// Closing the window by any means ends the program.
    void windowWillClose(platform::Window* window) override;

    // TableDataSource.
    platform::NSInteger numberOfRowsInTableView(platform::TableView* tableView) override;
    /// 0 or 1 for column "chk", the module name for column "name", none otherwise.
    platform::ObjectValue objectValueForTableColumn(platform::TableView* tableView,
                                                    platform::TableColumn* column,
                                                    platform::NSInteger row) override;
    /// Takes edits of column "chk" only, then re-applies the button rule and reloads the table.
    void setObjectValue(platform::TableView* tableView, const platform::ObjectValue& value,
                        platform::TableColumn* column, platform::NSInteger row) override;

    // TableDelegate.
    /// Dims a row that cannot be removed and gives the reason as its tool tip.
    void willDisplayCell(platform::TableView* tableView, platform::Cell* cell, platform::TableColumn* column,
                         platform::NSInteger row) override;

    // Actions.
    /// Shows the name, version and a one-line description of the application (About item).
    void requestAbout(platform::Control* sender);
    /// Asks the application to terminate.
    void close(platform::Control* sender);
    /// Ticks or unticks every row as the all-select box now says.
    void requestAllSelect(platform::Control* sender);
    /// Obtains administrator rights, writes the uninstall plan, runs ScriptHelper to the end of
    /// its output (each line to the system log) under a progress panel with Stop, and terminates
    /// after the completion alert when ScriptHelper's exit status says every ticked module is gone.
    /// Each other outcome has an alert of its own (RemovalReport): a refused or impossible prompt
    /// and another removal running leave the window as it was; a stop, kept modules and a plan
    /// that cannot be written offer to go back to the list, with the keyboard focus on it; a
    /// program that cannot start ends the program with status 1. A dismissed prompt shows nothing.
    void requestUnInstall(platform::Control* sender);

    /// The registry's module dictionary, or none when the file is missing, unreadable, not a
    /// dictionary or without a module dictionary; *problem is set (and logged) unless it is missing.
    std::optional<platform::PlistDictionary> getKEPL2Dict(std::optional<std::string>* problem = nullptr) const;
    /// Rebuilds the rows from the module dictionary and the all-select box's state. A row whose
    /// module the removal program would refuse (outside the module folders, an unsafe path) is
    /// disabled, never ticked, and carries its reason.
    void makeSelectListView();
    /// Enables the Uninstall button while a row is ticked; otherwise turns the all-select box off.
    void updateUnInstallButtonState();
    /// Writes the uninstall plan of the ticked rows; false when nothing could be written.
    bool saveUnInstallPlist();

private:
    void terminateApplication(int status = 0);
    /// Reads the registry again and rebuilds the rows, all unticked.
    void reloadList();
    /// Whether the row may be ticked.
    bool rowEnabled(std::size_t row) const;
    /// The language of the texts shown, for counts.
    std::string textLanguage() const;
    /// The alerts of a removal, in the window's language.
    RemovalReport removalReport() const;
    /// How many rows are ticked.
    std::size_t tickedCount() const;
    /// Gives the list the keyboard focus, or the first control that can take it when it cannot.
    void focusList();
    std::string nameOfModule(const std::string& identifier) const;
    std::string localizedString(const std::string& key) const;
    std::string localizedMenuString(const std::string& key) const;

    platform::Window* window_ = nullptr;
    platform::Button* uninstallButton_ = nullptr;
    platform::Button* closeButton_ = nullptr;
    platform::Button* allSelectChk_ = nullptr;
    platform::TextField* messageTitle_ = nullptr;
    platform::TextField* noListMessage_ = nullptr;
    platform::TableView* uiTableView_ = nullptr;

    std::optional<StringArray> m_arrayCheck;
    std::optional<StringArray> m_arrayName;
    std::optional<StringArray> m_arrayUUID;
    std::optional<StringArray> m_arrayInstallPath;
    std::optional<StringArray> m_arrayReason;
    bool m_planWriteFailed = false;
    /// The error number the failed plan write left.
    int m_planWriteError = 0;
    std::optional<platform::PlistDictionary> m_kepl2Dict;
    static inline bool s_leaveDataAtEnd = false;

    std::shared_ptr<platform::Bundle> m_classBundle;
};
