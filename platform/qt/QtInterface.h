#pragma once

#include "platform/appkit/Interface.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

namespace platform::qt {

/// An interface loaded from a Qt Designer .ui file. Every named widget of a known kind is wrapped
/// as a control: table views (a QTableWidget is replaced by a QTableView with its header titles),
/// buttons and check boxes, labels and line edits, and the root QMainWindow or any widget whose
/// "window" property is true as a window. Dynamic properties of widgets and actions answer
/// property(). The interface owns the root widget.
class QtInterface : public Interface {
public:
    /// Loads the file; null when it cannot be read or holds no widget.
    static std::unique_ptr<QtInterface> load(const std::string& path);
    /// The interfaces alive now, in loading order.
    static std::vector<QtInterface*> liveInterfaces();

    explicit QtInterface(QWidget* root);
    ~QtInterface() override;
    QtInterface(const QtInterface&) = delete;
    QtInterface& operator=(const QtInterface&) = delete;

    std::vector<Control*> objects() const override;
    std::string property(const std::string& objectName, const std::string& key) const override;
    std::shared_ptr<Menu> mainMenu() const override { return m_menu; }
    void* nativeView() const override { return m_root.data(); }
    std::string rootName() const override { return m_rootName; }

    QWidget* rootWidget() const { return m_root.data(); }

private:
    void wrap(QWidget* widget);

    std::string m_rootName;
    std::vector<std::unique_ptr<Control>> m_controls;
    std::shared_ptr<Menu> m_menu;
    /// Deleted first by the destructor, so that no widget outlives the controls wrapping it.
    QPointer<QWidget> m_root;
};

}  // namespace platform::qt
