#include "platform/qt/QtUiScript.h"

#include "platform/appkit/Button.h"
#include "platform/appkit/TableView.h"
#include "platform/appkit/TextField.h"
#include "platform/appkit/Window.h"
#include "platform/headless/HeadlessAuthorization.h"
#include "platform/qt/QtButton.h"
#include "platform/qt/QtInterface.h"
#include "platform/qt/QtKeyboard.h"
#include "platform/qt/QtScreenReport.h"
#include "platform/qt/QtTableModel.h"
#include "platform/qt/QtTableView.h"
#include "platform/qt/QtUi.h"
#include "platform/qt/QtWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QKeyEvent>
#include <QKeySequence>
#include <QTableView>
#include <QTimer>

#include <fstream>
#include <iostream>

// The toolkit's own entry to its shortcut map, the one a window system's key press goes through.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* receiver, ulong timestamp, int key,
                                               Qt::KeyboardModifiers modifiers, const QString& text,
                                               bool autoRepeat, ushort count);

namespace platform::qt {

namespace {

// How long an action may run a modal loop before the next line runs inside that loop.
constexpr int kModalPollMilliseconds = 50;
// How long the next line waits after keys, for a button pressed by its mnemonic to act.
constexpr int kKeySettleMilliseconds = 250;

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

// Sends one key press and release to target as the window system's keys arrive: the shortcut map
// sees the press first (so Alt+letter presses a button), then the widget gets what is left.
void sendKeyClick(QWidget* target, QKeyCombination combination)
{
    const int key = combination.key();
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    const QString text = (modifiers & ~Qt::ShiftModifier) == Qt::NoModifier && key >= Qt::Key_Space &&
                                 key <= Qt::Key_AsciiTilde
                             ? (modifiers & Qt::ShiftModifier ? QString(QChar(key)) : QString(QChar(key)).toLower())
                             : QString();
    QPointer<QWidget> receiver(target);
    const ulong timestamp = 0;
    if (!qt_sendShortcutOverrideEvent(receiver, timestamp, key, modifiers, text, false, 1)) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(receiver, &press);
    }
    if (receiver) {
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
        QApplication::sendEvent(receiver, &release);
    }
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
        // A mnemonic presses its button a moment later (the button is drawn pressed first).
        const int delay = m_settle ? kKeySettleMilliseconds : 0;
        m_settle = false;
        QTimer::singleShot(delay, this, [this] { runNext(); });
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
    } else if (action == "key") {
        ok = key(rest);
        m_settle = true;
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
    QtKeyboard::prepareAll();
    QtScreenReport::print([](const std::string& line) { printEvent(line); });
}

bool QtUiScript::key(const std::string& keys)
{
    QtKeyboard::prepareAll();
    std::vector<QKeyCombination> combinations;
    for (const QString& name : QString::fromStdString(keys).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QKeySequence sequence = QKeySequence::fromString(name, QKeySequence::PortableText);
        if (sequence.count() != 1 || sequence[0].key() == Qt::Key_unknown) {
            return false;
        }
        combinations.push_back(sequence[0]);
    }
    if (combinations.empty()) {
        return false;
    }
    for (const QKeyCombination& combination : combinations) {
        // Keys go where a user's would: into the modal dialog on screen when there is one.
        QWidget* target = QApplication::focusWidget();
        if (QWidget* modal = QApplication::activeModalWidget(); modal && (!target || target->window() != modal)) {
            target = modal->focusWidget() ? modal->focusWidget() : modal;
        }
        if (!target) {
            target = QApplication::activeWindow();
        }
        if (!target) {
            target = mainWindow();
        }
        if (!target) {
            return false;
        }
        sendKeyClick(target, combination);
    }
    return true;
}

std::optional<std::string> QtUiScript::takePanelAnswer(const std::string& startFolder, const std::string& title)
{
    printEvent("panel: " + startFolder + " " + QtScreenReport::quoted(title));
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
    auto oneLine = [](std::string text) {
        for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2)) {
            text.replace(at, 1, "\\n");
        }
        return text;
    };
    printEvent(std::string("alert: ") + (kind == AlertKind::Critical ? "critical " : "informational ") +
               oneLine(title) + " | " + oneLine(message) + " | " + button);
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
