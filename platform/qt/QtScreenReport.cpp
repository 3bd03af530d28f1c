#include "platform/qt/QtScreenReport.h"

#include "platform/appkit/TextField.h"
#include "platform/appkit/Window.h"
#include "platform/qt/QtButton.h"
#include "platform/qt/QtInterface.h"
#include "platform/qt/QtMnemonics.h"
#include "platform/qt/QtTableModel.h"
#include "platform/qt/QtTableView.h"
#include "platform/qt/QtTextField.h"
#include "platform/qt/QtWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QSet>

namespace platform::qt {

namespace {

const char* flag(bool value)
{
    return value ? "1" : "0";
}

std::string cellText(QAbstractItemModel* model, const QModelIndex& index)
{
    const QVariant check = model->data(index, Qt::CheckStateRole);
    if (check.isValid()) {
        switch (static_cast<Qt::CheckState>(check.toInt())) {
        case Qt::Checked:
            return "1";
        case Qt::PartiallyChecked:
            return "-1";
        case Qt::Unchecked:
            return "0";
        }
    }
    return QtScreenReport::quoted(model->data(index, Qt::DisplayRole).toString().toStdString());
}

std::string mnemonicOf(QChar letter)
{
    return letter.isNull() ? std::string() : " mnemonic=" + QString(letter).toStdString();
}

std::string focusOf(const QWidget* widget)
{
    return widget && QApplication::focusWidget() == widget ? " focus=1" : "";
}

QWidget* widgetOf(Control* control)
{
    if (auto* c = dynamic_cast<QtWindow*>(control)) {
        return c->widget();
    }
    if (auto* c = dynamic_cast<QtButton*>(control)) {
        return c->widget();
    }
    if (auto* c = dynamic_cast<QtTableView*>(control)) {
        return c->widget();
    }
    if (auto* c = dynamic_cast<QtTextField*>(control)) {
        return c->widget();
    }
    return nullptr;
}

std::string nameOf(const QObject* object);

/// What a screen reader reads after a control's name: "show: description NAME "TEXT"", for a
/// control that has a description of its own.
void printDescription(const QWidget* widget, const std::function<void(const std::string&)>& print)
{
    if (widget && !widget->accessibleDescription().isEmpty()) {
        print("show: description " + nameOf(widget) + " " +
              QtScreenReport::quoted(widget->accessibleDescription().toStdString()));
    }
}

void printTable(QtTableView* table, const std::string& common, const std::function<void(const std::string&)>& print)
{
    QtTableModel* model = table->model();
    const std::string name = table->objectName();
    const int rows = model->rowCount();
    QTableView* view = table->widget();
    print("show: table " + name + " rows=" + std::to_string(rows) + common + focusOf(view));
    const auto columns = table->tableColumns();
    const bool focused = view && view->hasFocus();
    const int current = view && view->currentIndex().isValid() ? view->currentIndex().row() : -1;
    for (int row = 0; row < rows; ++row) {
        std::string line = "show: row " + name + " " + std::to_string(row);
        bool enabled = true;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const QModelIndex index = model->index(row, static_cast<int>(c));
            enabled = enabled && (model->flags(index) & Qt::ItemIsEnabled);
            line += " " + columns[c]->identifier() + "=" + cellText(model, index);
        }
        line += std::string(" enabled=") + flag(enabled);
        if (const QString tip = model->cellToolTip(model->index(row, 0)); !tip.isEmpty()) {
            line += " tooltip=" + QtScreenReport::quoted(tip.toStdString());
        }
        print(line + (focused && row == current ? " focus=1" : ""));
    }
}

void printInterfaces(QSet<QWidget*>& seen, const std::function<void(const std::string&)>& print)
{
    for (QtInterface* interface : QtInterface::liveInterfaces()) {
        if (QWidget* root = interface->rootWidget()) {
            seen.insert(root);
            // Not the windows it parents, such as an alert over it: those are printed as windows.
            for (QWidget* child : root->findChildren<QWidget*>()) {
                if (child->window() == root->window()) {
                    seen.insert(child);
                }
            }
        }
        for (Control* control : interface->objects()) {
            const std::string common = std::string(" enabled=") + flag(control->isEnabled()) +
                                       " hidden=" + flag(control->isHidden());
            const std::string name = control->objectName();
            QWidget* widget = widgetOf(control);
            if (auto* window = dynamic_cast<Window*>(control)) {
                print("show: window " + name + " " + QtScreenReport::quoted(window->title()) + common);
            } else if (auto* button = dynamic_cast<QtButton*>(control)) {
                print("show: " + std::string(button->isCheckBox() ? "checkbox " : "button ") + name + " " +
                      QtScreenReport::quoted(button->title()) + " state=" + std::to_string(button->state()) + common +
                      mnemonicOf(QtMnemonics::letterOf(widget)) + focusOf(widget));
                printDescription(widget, print);
            } else if (auto* text = dynamic_cast<TextField*>(control)) {
                print("show: text " + name + " " + QtScreenReport::quoted(text->stringValue()) + common +
                      focusOf(widget));
            } else if (auto* table = dynamic_cast<QtTableView*>(control)) {
                printTable(table, common, print);
            }
        }
    }
}

std::string nameOf(const QObject* object)
{
    const QString name = object->objectName();
    return name.isEmpty() ? std::string("-") : name.toStdString();
}

void printWindow(QWidget* window, const QSet<QWidget*>& seen, const std::function<void(const std::string&)>& print)
{
    if (!seen.contains(window)) {
        print("show: window " + nameOf(window) + " " + QtScreenReport::quoted(window->windowTitle().toStdString()) +
              " enabled=" + flag(window->isEnabled()) + " hidden=0");
    }
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (seen.contains(widget) || widget->window() != window || !widget->isVisible()) {
            continue;
        }
        const std::string common = std::string(" enabled=") + flag(widget->isEnabled()) + " hidden=0";
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            if (button->text().isEmpty()) {
                continue;
            }
            const bool box = qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button);
            print("show: " + std::string(box ? "checkbox " : "button ") + nameOf(button) + " " +
                  QtScreenReport::quoted(QtMnemonics::plainText(button).toStdString()) +
                  " state=" + flag(button->isChecked()) + common + mnemonicOf(QtMnemonics::letterOf(button)) +
                  focusOf(button));
            printDescription(button, print);
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            if (!label->text().isEmpty()) {
                // What a user reads: without the marks that only steer line breaking.
                QString shown = label->text();
                shown.remove(QChar(0x2060));
                print("show: text " + nameOf(label) + " " + QtScreenReport::quoted(shown.toStdString()) + common);
            }
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            print("show: text " + nameOf(edit) + " " + QtScreenReport::quoted(edit->text().toStdString()) + common +
                  focusOf(edit));
        } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
            print("show: list " + nameOf(list) + " rows=" + std::to_string(list->count()) + common + focusOf(list));
            for (int i = 0; i < list->count(); ++i) {
                QListWidgetItem* item = list->item(i);
                print("show: item " + nameOf(list) + " " + std::to_string(i) + " " +
                      QtScreenReport::quoted(item->text().toStdString()) + " bold=" + flag(item->font().bold()));
            }
        }
    }
}

void printMenu(QMenu* menu, const std::function<void(const std::string&)>& print)
{
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            continue;
        }
        print("show: menuitem " + nameOf(menu) + " " + nameOf(action) + " " +
              QtScreenReport::quoted(QtMnemonics::plainText(action).toStdString()) +
              " enabled=" + flag(action->isEnabled()) + mnemonicOf(QtMnemonics::letterOf(action)) +
              (action->shortcut().isEmpty() ? "" : " shortcut=" + action->shortcut().toString().toStdString()));
        if (QMenu* submenu = action->menu()) {
            printMenu(submenu, print);
        }
    }
}

void printMenus(QWidget* window, const std::function<void(const std::string&)>& print)
{
    for (QMenuBar* bar : window->findChildren<QMenuBar*>()) {
        if (bar->window() != window) {
            continue;
        }
        for (QAction* action : bar->actions()) {
            QMenu* menu = action->menu();
            if (!menu) {
                continue;
            }
            print("show: menu " + nameOf(menu) + " " + QtScreenReport::quoted(QtMnemonics::plainText(action).toStdString()) +
                  " enabled=" + flag(action->isEnabled()) + mnemonicOf(QtMnemonics::letterOf(action)));
            printMenu(menu, print);
        }
    }
}

}  // namespace

std::string QtScreenReport::quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    return out + "\"";
}

void QtScreenReport::print(const std::function<void(const std::string&)>& print)
{
    QSet<QWidget*> seen;
    printInterfaces(seen, print);
    const QWidgetList tops = QApplication::topLevelWidgets();
    for (QWidget* top : tops) {
        if (top->isVisible() && !qobject_cast<QMenu*>(top)) {
            printWindow(top, seen, print);
        }
    }
    for (QWidget* top : tops) {
        if (top->isVisible() && !qobject_cast<QMenu*>(top)) {
            printMenus(top, print);
        }
    }
}

}  // namespace platform::qt
