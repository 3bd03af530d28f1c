#include "platform/qt/QtInterface.h"

#include "platform/appkit/Application.h"
#include "platform/qt/QtButton.h"
#include "platform/qt/QtChecklistView.h"
#include "platform/qt/QtMenuBinding.h"
#include "platform/qt/QtTableView.h"
#include "platform/qt/QtTextField.h"
#include "platform/qt/QtWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QTableView>
#include <QTableWidget>
#include <QCoreApplication>
#include <QUiLoader>

#include <algorithm>

namespace platform::qt {

namespace {

std::vector<QtInterface*>& registry()
{
    static std::vector<QtInterface*> interfaces;
    return interfaces;
}

QStringList commaList(const QVariant& value)
{
    QStringList result;
    if (!value.isValid()) {
        return result;
    }
    for (const QString& part : value.toString().split(QLatin1Char(','))) {
        result << part.trimmed();
    }
    if (result.size() == 1 && result.first().isEmpty()) {
        result.clear();
    }
    return result;
}

QStringList headerTitlesOf(QTableWidget* table)
{
    QStringList titles;
    for (int i = 0; i < table->columnCount(); ++i) {
        QTableWidgetItem* item = table->horizontalHeaderItem(i);
        titles << (item ? item->text() : QString());
    }
    return titles;
}

// A QTableWidget keeps its own item model, which cannot be replaced: a QTableView with the same
// name, properties, header titles and place in the layout takes its place.
void replaceTableWidget(QTableWidget* old)
{
    auto* view = new QtChecklistView(old->parentWidget());
    view->setObjectName(old->objectName());
    for (const QByteArray& name : old->dynamicPropertyNames()) {
        view->setProperty(name.constData(), old->property(name.constData()));
    }
    if (!view->property("headers").isValid()) {
        view->setProperty("headers", headerTitlesOf(old).join(QLatin1Char(',')));
    }
    view->setGeometry(old->geometry());
    view->setSizePolicy(old->sizePolicy());
    view->setMinimumSize(old->minimumSize());
    view->setMaximumSize(old->maximumSize());
    view->setEnabled(old->isEnabled());
    view->setHidden(old->isHidden());
    view->setToolTip(old->toolTip());
    view->setSelectionBehavior(old->selectionBehavior());
    view->setSelectionMode(old->selectionMode());
    view->setAlternatingRowColors(old->alternatingRowColors());
    view->setShowGrid(old->showGrid());
    view->setEditTriggers(old->editTriggers());
    view->horizontalHeader()->setVisible(!old->horizontalHeader()->isHidden());
    view->verticalHeader()->setVisible(!old->verticalHeader()->isHidden());

    auto* mainWindow = qobject_cast<QMainWindow*>(old->parentWidget());
    if (mainWindow && mainWindow->centralWidget() == old) {
        mainWindow->setCentralWidget(view);  // deletes the old one
        return;
    }
    if (QWidget* parent = old->parentWidget()) {
        if (QLayout* layout = parent->layout()) {
            delete layout->replaceWidget(old, view);
        }
    }
    delete old;
}

// Tables are checklists here: each one is made as a QtChecklistView.
class ChecklistUiLoader : public QUiLoader {
public:
    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override
    {
        if (className == QLatin1String("QTableView")) {
            auto* view = new QtChecklistView(parent);
            view->setObjectName(name);
            return view;
        }
        return QUiLoader::createWidget(className, parent, name);
    }
};

bool isWindowWidget(QWidget* widget, QWidget* root)
{
    if (widget->property("window").toBool()) {
        return true;
    }
    return widget == root && qobject_cast<QMainWindow*>(widget) != nullptr;
}

}  // namespace

std::unique_ptr<QtInterface> QtInterface::load(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return nullptr;
    }
    // The interfaces use Qt's own widgets alone. A loader loads every designer plug-in of the
    // library paths as it is made (Debian's brings in Qt Quick, at a cost in start-up time and
    // memory), so it is made while the paths are empty.
    const QStringList libraryPaths = QCoreApplication::libraryPaths();
    QCoreApplication::setLibraryPaths({});
    ChecklistUiLoader loader;
    QCoreApplication::setLibraryPaths(libraryPaths);
    QWidget* root = loader.load(&file, nullptr);
    if (!root) {
        return nullptr;
    }
    return std::make_unique<QtInterface>(root);
}

std::vector<QtInterface*> QtInterface::liveInterfaces()
{
    return registry();
}

QtInterface::QtInterface(QWidget* root) : m_rootName(root->objectName().toStdString()), m_root(root)
{
    for (QTableWidget* table : root->findChildren<QTableWidget*>()) {
        replaceTableWidget(table);
    }

    wrap(root);
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        wrap(widget);
    }

    QMenuBar* menuBar = nullptr;
    if (auto* mainWindow = qobject_cast<QMainWindow*>(root)) {
        menuBar = mainWindow->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly);
    }
    if (!menuBar) {
        menuBar = root->findChild<QMenuBar*>();
    }
    m_menu = QtMenuBinding::build(menuBar);

    // Menu actions that name the application's own selector.
    for (QAction* action : root->findChildren<QAction*>()) {
        if (action->property("action").toString() == QLatin1String("terminate:")) {
            QObject::connect(action, &QAction::triggered, action,
                             [] { Application::sharedApplication().terminate(nullptr); });
        }
    }

    registry().push_back(this);
}

QtInterface::~QtInterface()
{
    auto& interfaces = registry();
    interfaces.erase(std::remove(interfaces.begin(), interfaces.end(), this), interfaces.end());
    delete m_root.data();
}

void QtInterface::wrap(QWidget* widget)
{
    const QString name = widget->objectName();
    if (name.isEmpty() || name.startsWith(QLatin1String("qt_"))) {
        return;
    }
    if (isWindowWidget(widget, m_root.data())) {
        m_controls.push_back(std::make_unique<QtWindow>(widget));
    } else if (auto* table = qobject_cast<QTableView*>(widget)) {
        QStringList identifiers = commaList(table->property("columns"));
        QStringList titles = commaList(table->property("headers"));
        if (identifiers.isEmpty()) {
            identifiers = titles;
        }
        m_controls.push_back(std::make_unique<QtTableView>(table, identifiers, titles));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        m_controls.push_back(std::make_unique<QtButton>(button));
    } else if (qobject_cast<QLabel*>(widget) || qobject_cast<QLineEdit*>(widget)) {
        m_controls.push_back(std::make_unique<QtTextField>(widget));
    }
}

std::vector<Control*> QtInterface::objects() const
{
    std::vector<Control*> result;
    result.reserve(m_controls.size());
    for (const auto& control : m_controls) {
        result.push_back(control.get());
    }
    return result;
}

std::string QtInterface::property(const std::string& objectName, const std::string& key) const
{
    if (!m_root || objectName.empty()) {
        return std::string();
    }
    const QString name = QString::fromStdString(objectName);
    QObject* object = m_root->objectName() == name ? static_cast<QObject*>(m_root.data())
                                                     : m_root->findChild<QObject*>(name);
    if (!object) {
        return std::string();
    }
    const QVariant value = object->property(key.c_str());
    if (!value.isValid() || !value.canConvert<QString>()) {
        return std::string();
    }
    return value.toString().toStdString();
}

}  // namespace platform::qt
