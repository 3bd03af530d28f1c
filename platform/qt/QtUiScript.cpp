#include "platform/qt/QtUiScript.h"

#include "platform/appkit/Button.h"
#include "platform/appkit/TableView.h"
#include "platform/appkit/TextField.h"
#include "platform/appkit/Window.h"
#include "platform/headless/HeadlessAuthorization.h"
#include "platform/qt/QtButton.h"
#include "platform/qt/QtInterface.h"
#include "platform/qt/QtTableModel.h"
#include "platform/qt/QtTableView.h"
#include "platform/qt/QtUi.h"
#include "platform/qt/QtWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTableView>
#include <QTimer>

#include <fstream>
#include <iostream>

namespace platform::qt {

namespace {

// How long an action may run a modal loop before the next line runs inside that loop.
constexpr int kModalPollMilliseconds = 50;

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return std::string();
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// The first word and the rest of the line after the blanks that follow it.
std::pair<std::string, std::string> splitWord(const std::string& text)
{
    const auto end = text.find_first_of(" \t");
    if (end == std::string::npos) {
        return {text, std::string()};
    }
    return {text.substr(0, end), trimmed(text.substr(end))};
}

std::string quoted(const std::string& text)
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

const char* flag(bool value)
{
    return value ? "1" : "0";
}

template <class T>
T* findWidget(const QString& name)
{
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == name) {
            if (auto* found = qobject_cast<T*>(top)) {
                return found;
            }
        }
        if (auto* found = top->findChild<T*>(name)) {
            return found;
        }
    }
    return nullptr;
}

QAction* findAction(const QString& name)
{
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* found = top->findChild<QAction*>(name)) {
            return found;
        }
    }
    return nullptr;
}

QtTableView* tableControlFor(QTableView* view)
{
    for (QtInterface* interface : QtInterface::liveInterfaces()) {
        for (Control* control : interface->objects()) {
            auto* table = dynamic_cast<QtTableView*>(control);
            if (table && table->widget() == view) {
                return table;
            }
        }
    }
    return nullptr;
}

// The column of the tick boxes: "chk" for the tables of an interface, else the first column
// whose cells carry a check state.
int checkColumn(QTableView* view, int row)
{
    if (QtTableView* table = tableControlFor(view)) {
        const auto columns = table->tableColumns();
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (columns[i]->identifier() == "chk") {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    QAbstractItemModel* model = view->model();
    for (int c = 0; model && c < model->columnCount(); ++c) {
        if (model->data(model->index(row, c), Qt::CheckStateRole).isValid()) {
            return c;
        }
    }
    return -1;
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
    return quoted(model->data(index, Qt::DisplayRole).toString().toStdString());
}

}  // namespace

QtUiScript::QtUiScript(QtUi& ui, const std::string& path) : m_ui(ui)
{
    std::ifstream in(path);
    if (!in) {
        error("cannot read " + path);
        return;
    }
    bool anyAuth = false;
    std::string line;
    while (std::getline(in, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (splitWord(line).first == "auth") {
            anyAuth = true;
        }
        m_lines.push_back(line);
    }
    if (anyAuth) {
        m_authorization = std::make_unique<headless::HeadlessAuthorization>();
        m_authorization->setPromptObserver([](const std::string& tool) { printEvent("auth: prompt " + tool); });
    }
}

QtUiScript::~QtUiScript() = default;

void QtUiScript::printEvent(const std::string& line)
{
    std::cout << line << std::endl;
}

void QtUiScript::error(const std::string& line)
{
    std::cerr << "script error: " << line << std::endl;
}

void QtUiScript::start()
{
    if (m_started) {
        return;
    }
    m_started = true;
    QTimer::singleShot(0, this, [this] { runNext(); });
}

bool QtUiScript::modalActive() const
{
    for (const auto& alert : m_alerts) {
        if (alert) {
            return true;
        }
    }
    return QApplication::activeModalWidget() != nullptr;
}

void QtUiScript::runNext()
{
    // Inside an action that is still running but waits for no modal loop, the action has not
    // been processed yet: come back later.
    if (m_depth > 0 && !modalActive()) {
        QTimer::singleShot(kModalPollMilliseconds, this, [this] { runNext(); });
        return;
    }
    if (m_next >= m_lines.size()) {
        finish();
        return;
    }
    const std::string line = m_lines[m_next++];

    // Exactly one continuation per line: from inside a modal loop that the action opened (an
    // alert waiting to be dismissed), or after the action returned.
    auto continued = std::make_shared<bool>(false);
    auto* poll = new QTimer(this);
    poll->setInterval(kModalPollMilliseconds);
    connect(poll, &QTimer::timeout, this, [this, poll, continued] {
        if (modalActive()) {
            poll->stop();
            *continued = true;
            runNext();
        }
    });
    poll->start();
    ++m_depth;
    perform(line);
    --m_depth;
    poll->stop();
    poll->deleteLater();
    if (!*continued) {
        QTimer::singleShot(0, this, [this] { runNext(); });
    }
}

void QtUiScript::finish()
{
    if (!m_alerts.empty() && dismiss()) {
        QTimer::singleShot(0, this, [this] { finish(); });
        return;
    }
    if (m_depth > 0) {
        QTimer::singleShot(kModalPollMilliseconds, this, [this] { finish(); });
        return;
    }
    if (!m_closedMainWindow) {
        m_closedMainWindow = true;
        if (QWidget* window = mainWindow()) {
            window->close();
        }
        QTimer::singleShot(0, this, [this] { finish(); });
        return;
    }
    if (QApplication* app = m_ui.application()) {
        app->exit(0);
    }
}

QWidget* QtUiScript::mainWindow() const
{
    if (QWidget* window = m_ui.mainWindow()) {
        return window;
    }
    for (QtInterface* interface : QtInterface::liveInterfaces()) {
        for (Control* control : interface->objects()) {
            if (auto* window = dynamic_cast<QtWindow*>(control); window && window->widget() && window->widget()->isVisible()) {
                return window->widget();
            }
        }
    }
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && !qobject_cast<QDialog*>(top)) {
            return top;
        }
    }
    return nullptr;
}

void QtUiScript::perform(const std::string& line)
{
    const auto [action, rest] = splitWord(line);
    bool ok = false;
    if (action == "click") {
        ok = !rest.empty() && click(rest);
    } else if (action == "tick" || action == "untick") {
        const auto [name, row] = splitWord(rest);
        ok = !name.empty() && !row.empty() && tick(name, row, action == "tick");
    } else if (action == "close") {
        ok = !rest.empty() && closeWindow(rest);
    } else if (action == "panel") {
        const auto [what, path] = splitWord(rest);
        if (what == "choose" && !path.empty()) {
            m_panelAnswers.emplace_back(path);
            ok = true;
        } else if (what == "cancel" && path.empty()) {
            m_panelAnswers.emplace_back(std::nullopt);
            ok = true;
        }
    } else if (action == "auth" && m_authorization) {
        ok = true;
        if (rest == "grant") {
            m_authorization->queueAnswer(headless::HeadlessAuthorization::Answer::Grant);
        } else if (rest == "deny") {
            m_authorization->queueAnswer(headless::HeadlessAuthorization::Answer::Deny);
        } else if (rest == "cancel") {
            m_authorization->queueAnswer(headless::HeadlessAuthorization::Answer::Cancel);
        } else if (rest == "noprompt") {
            m_authorization->queueAnswer(headless::HeadlessAuthorization::Answer::NoPrompt);
        } else {
            ok = false;
        }
    } else if (action == "dismiss" && rest.empty()) {
        ok = dismiss();
    } else if (action == "show" && rest.empty()) {
        show();
        ok = true;
    }
    if (!ok) {
        error(line);
    }
}

bool QtUiScript::click(const std::string& name)
{
    const QString qname = QString::fromStdString(name);
    if (auto* button = findWidget<QAbstractButton>(qname)) {
        if (button->isEnabled() && button->isVisible()) {
            button->click();
        }
        return true;
    }
    if (QAction* action = findAction(qname)) {
        if (action->isEnabled() && action->isVisible()) {
            action->trigger();
        }
        return true;
    }
    return false;
}

bool QtUiScript::tick(const std::string& name, const std::string& rowText, bool ticked)
{
    auto* view = findWidget<QTableView>(QString::fromStdString(name));
    if (!view || !view->model()) {
        return false;
    }
    bool isNumber = false;
    const int row = QString::fromStdString(rowText).toInt(&isNumber);
    QAbstractItemModel* model = view->model();
    if (!isNumber || row < 0 || row >= model->rowCount()) {
        return false;
    }
    const int column = checkColumn(view, row);
    if (column < 0) {
        return false;
    }
    if (!view->isEnabled() || !view->isVisible()) {
        return true;
    }
    const QModelIndex index = model->index(row, column);
    const Qt::ItemFlags flags = model->flags(index);
    if (!(flags & Qt::ItemIsEnabled) || !(flags & Qt::ItemIsUserCheckable)) {
        return true;
    }
    const int target = static_cast<int>(ticked ? Qt::Checked : Qt::Unchecked);
    if (model->data(index, Qt::CheckStateRole).toInt() != target) {
        model->setData(index, target, Qt::CheckStateRole);
    }
    return true;
}

bool QtUiScript::closeWindow(const std::string& name)
{
    auto* widget = findWidget<QWidget>(QString::fromStdString(name));
    if (!widget) {
        return false;
    }
    widget->window()->close();
    return true;
}

bool QtUiScript::dismiss()
{
    while (!m_alerts.empty() && !m_alerts.back()) {
        m_alerts.pop_back();
    }
    if (m_alerts.empty()) {
        return false;
    }
    QMessageBox* box = m_alerts.back();
    const auto buttons = box->buttons();
    if (!buttons.isEmpty()) {
        buttons.first()->click();
    } else {
        box->done(0);
    }
    return true;
}

void QtUiScript::show()
{
    for (QtInterface* interface : QtInterface::liveInterfaces()) {
        for (Control* control : interface->objects()) {
            const std::string common = std::string(" enabled=") + flag(control->isEnabled()) +
                                       " hidden=" + flag(control->isHidden());
            const std::string name = control->objectName();
            if (auto* window = dynamic_cast<Window*>(control)) {
                printEvent("show: window " + name + " " + quoted(window->title()) + common);
            } else if (auto* button = dynamic_cast<QtButton*>(control)) {
                printEvent("show: " + std::string(button->isCheckBox() ? "checkbox " : "button ") + name + " " +
                           quoted(button->title()) + " state=" + std::to_string(button->state()) + common);
            } else if (auto* text = dynamic_cast<TextField*>(control)) {
                printEvent("show: text " + name + " " + quoted(text->stringValue()) + common);
            } else if (auto* table = dynamic_cast<QtTableView*>(control)) {
                QtTableModel* model = table->model();
                const int rows = model->rowCount();
                printEvent("show: table " + name + " rows=" + std::to_string(rows) + common);
                const auto columns = table->tableColumns();
                for (int row = 0; row < rows; ++row) {
                    std::string line = "show: row " + name + " " + std::to_string(row);
                    bool enabled = true;
                    for (std::size_t c = 0; c < columns.size(); ++c) {
                        const QModelIndex index = model->index(row, static_cast<int>(c));
                        enabled = enabled && (model->flags(index) & Qt::ItemIsEnabled);
                        line += " " + columns[c]->identifier() + "=" + cellText(model, index);
                    }
                    printEvent(line + " enabled=" + flag(enabled));
                }
            }
        }
    }
}

std::optional<std::string> QtUiScript::takePanelAnswer(const std::string& startFolder)
{
    printEvent("panel: " + startFolder);
    if (m_panelAnswers.empty()) {
        return std::nullopt;
    }
    std::optional<std::string> answer = std::move(m_panelAnswers.front());
    m_panelAnswers.pop_front();
    return answer;
}

void QtUiScript::alertShown(QMessageBox* box, AlertKind kind, const std::string& title, const std::string& message,
                            const std::string& button)
{
    printEvent(std::string("alert: ") + (kind == AlertKind::Critical ? "critical " : "informational ") + title +
               " | " + message + " | " + button);
    m_alerts.emplace_back(box);
}

void QtUiScript::alertClosed(QMessageBox* box)
{
    for (auto it = m_alerts.begin(); it != m_alerts.end();) {
        if (!*it || it->data() == box) {
            it = m_alerts.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace platform::qt
