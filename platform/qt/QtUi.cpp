#include "platform/qt/QtUi.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/TestSeams.h"
#include "platform/qt/QtAlertAccessible.h"
#include "platform/qt/QtFocusStyle.h"
#include "platform/qt/QtInterface.h"
#include "platform/qt/QtKeyboard.h"
#include "platform/qt/QtLineBreaks.h"
#include "platform/qt/QtMessageFilter.h"
#include "platform/qt/QtMnemonics.h"
#include "platform/qt/QtOpenPanel.h"
#include "platform/qt/QtProgressPanel.h"
#include "platform/qt/QtScreenReport.h"
#include "platform/qt/QtTranslations.h"
#include "platform/qt/QtApplicationIdentity.h"
#include "platform/qt/QtUiScript.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <deque>
#include <iostream>
#include <vector>

namespace platform::qt {

namespace {

QtUi* g_instance = nullptr;

}  // namespace

struct QtUi::Private {
    // QApplication keeps references to the argument count and vector for its whole life.
    int argc = 0;
    std::vector<std::string> arguments;
    std::vector<char*> argv;
    std::unique_ptr<QApplication> ownedApplication;
    QApplication* application = nullptr;
    std::unique_ptr<QtUiScript> script;
    QPointer<QWidget> mainWindow;
    bool busy = false;
    /// Whether runEventLoop is in exec(); exit() outside it would end the next modal loop at once.
    bool running = false;
    bool panelsFromList = false;
    std::deque<std::string> panelFolders;
    QPointer<QtKeyboard> keyboard;
};

QtUi::QtUi(int& argc, char** argv) : d(std::make_unique<Private>())
{
    for (int i = 0; i < argc && argv && argv[i]; ++i) {
        d->arguments.emplace_back(argv[i]);
    }
    if (d->arguments.empty()) {
        d->arguments.emplace_back("platform-qt");
    }
    for (std::string& argument : d->arguments) {
        d->argv.push_back(argument.data());
    }
    d->argv.push_back(nullptr);
    d->argc = static_cast<int>(d->arguments.size());

    QtMessageFilter::install();
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        d->application = existing;
    } else {
        d->ownedApplication = std::make_unique<QApplication>(d->argc, d->argv.data());
        d->application = d->ownedApplication.get();
    }
    // Every window of the application can be used by keyboard, with a focus mark one can see.
    if (!dynamic_cast<QtFocusStyle*>(QApplication::style())) {
        QApplication::setStyle(new QtFocusStyle);
    }
    d->keyboard = new QtKeyboard(d->application);
    d->application->installEventFilter(d->keyboard);
    // A window closes and the program ends only when the program asks for it (terminate:).
    d->application->setQuitOnLastWindowClosed(false);
    if (auto bundle = Bundle::mainBundle()) {
        QtApplicationIdentity::apply(*bundle);
    }
    // The toolkit's own texts follow the language that the program's texts are shown in.
    QtTranslations::install(*d->application, QtTranslations::mainBundleLocalization());

    if (auto path = testSeam("PLATFORM_UI_SCRIPT")) {
        d->script = std::make_unique<QtUiScript>(*this, *path);
    }
    g_instance = this;
}

QtUi::~QtUi()
{
    if (g_instance == this) {
        g_instance = nullptr;
    }
    if (hasUiBackend() && &uiBackend() == this) {
        setUiBackend(nullptr);
    }
    d->script.reset();
    delete d->keyboard.data();
    if (d->busy) {
        QApplication::restoreOverrideCursor();
    }
}

QtUi* QtUi::instance()
{
    if (hasUiBackend()) {
        return dynamic_cast<QtUi*>(&uiBackend());
    }
    return g_instance;
}

QApplication* QtUi::application() const
{
    return d->application;
}

std::unique_ptr<OpenPanel> QtUi::makeOpenPanel()
{
    return std::make_unique<QtOpenPanel>(*this);
}

NSInteger QtUi::runAlert(AlertKind kind, const std::string& title, const std::string& message,
                         const std::string& defaultButton)
{
    return showAlert(kind, title, message, defaultButton, nullptr);
}

NSInteger QtUi::runAlertWithAlternate(AlertKind kind, const std::string& title, const std::string& message,
                                      const std::string& defaultButton, const std::string& alternateButton)
{
    return showAlert(kind, title, message, defaultButton, &alternateButton);
}

NSInteger QtUi::runAlertWithWayBack(AlertKind kind, const std::string& title, const std::string& message,
                                    const std::string& defaultButton, const std::string& otherButton,
                                    bool defaultGoesBack)
{
    return showAlert(kind, title, message, defaultButton, &otherButton,
                     defaultGoesBack ? Escape::Default : Escape::Alternate);
}

NSInteger QtUi::showAlert(AlertKind kind, const std::string& title, const std::string& message,
                          const std::string& defaultButton, const std::string* alternateButton, Escape escape)
{
    QWidget* parent = QApplication::activeWindow();
    if (!parent) {
        parent = d->mainWindow;
    }
    // Korean and Chinese texts break between words, and a path or command stays on one line.
    QMessageBox box(kind == AlertKind::Critical ? QMessageBox::Critical : QMessageBox::Information,
                    QApplication::applicationDisplayName(),
                    QtLineBreaks::keepWordsTogether(QString::fromStdString(title)), QMessageBox::NoButton, parent);
    box.setInformativeText(QtLineBreaks::keepWordsTogether(QString::fromStdString(message)));
    QtAlertAccessible::markAsAlert(&box);
    const QString buttonTitle = defaultButton.empty() ? QStringLiteral("OK") : QString::fromStdString(defaultButton);
    QPushButton* button = box.addButton(buttonTitle, QMessageBox::AcceptRole);
    // A title without Latin letters takes O, as OK reads: "확인(&O)"; the way back takes B, as Back
    // reads, and the other button of such an alert Q, as Quit reads.
    button->setProperty(QtMnemonics::kHintProperty,
                        escape == Escape::Default ? QStringLiteral("back") : QStringLiteral("ok"));
    box.setDefaultButton(button);
    QPushButton* alternate = nullptr;
    if (alternateButton) {
        alternate = box.addButton(QString::fromStdString(*alternateButton), QMessageBox::RejectRole);
        alternate->setProperty(QtMnemonics::kHintProperty,
                               escape == Escape::Default ? QStringLiteral("quit") : QStringLiteral("back"));
        box.setEscapeButton(escape == Escape::Default ? button : alternate);
    } else {
        box.setEscapeButton(button);
    }
    box.setWindowModality(Qt::ApplicationModal);
    if (d->script) {
        d->script->alertShown(&box, kind, title, message, buttonTitle.toStdString());
    }
    box.exec();
    if (d->script) {
        d->script->alertClosed(&box);
    }
    return alternate && box.clickedButton() == alternate ? 0 : 1;
}

std::unique_ptr<Interface> QtUi::loadInterface(const std::string& path)
{
    return QtInterface::load(path);
}

int QtUi::runEventLoop(const std::function<void()>& onStarted)
{
    if (onStarted) {
        QTimer::singleShot(0, d->application, [onStarted] { onStarted(); });
    }
    if (d->script) {
        QtUiScript* script = d->script.get();
        QTimer::singleShot(0, d->application, [script] { script->start(); });
    }
    d->running = true;
    const int result = d->application->exec();
    d->running = false;
    return result;
}

void QtUi::quitEventLoop()
{
    if (d->script) {
        QtUiScript::printEvent("terminate");
    }
    // exit() rather than quit(): quit() first closes every window, which would tell the window
    // delegates a second time that their window closes.
    if (d->running) {
        d->application->exit(0);
    }
}

void QtUi::setBusy(bool busy)
{
    if (busy == d->busy) {
        return;
    }
    d->busy = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void QtUi::processEvents()
{
    QApplication::processEvents();
}

std::unique_ptr<ProgressPanel> QtUi::makeProgressPanel(const std::string& title, const std::string& stopButton)
{
    QWidget* parent = d->mainWindow ? d->mainWindow.data() : QApplication::activeWindow();
    return std::make_unique<QtProgressPanel>(parent, title, stopButton);
}

void QtUi::waitForEvents(int timeoutMs)
{
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
}

void QtUi::reportEvent(const std::string& line)
{
    if (d->script) {
        QtUiScript::printEvent(line);
    }
}

bool QtUi::scripted() const
{
    return d->script != nullptr;
}

void QtUi::setMainWindow(QWidget* window)
{
    d->mainWindow = window;
}

QWidget* QtUi::mainWindow() const
{
    return d->mainWindow;
}

QtUiScript* QtUi::script() const
{
    return d->script.get();
}

void QtUi::answerPanelsFrom(std::vector<std::string> folders)
{
    d->panelsFromList = true;
    d->panelFolders.assign(folders.begin(), folders.end());
}

bool QtUi::answersPanelsFromList() const
{
    return d->panelsFromList;
}

std::optional<std::string> QtUi::takeListedPanelAnswer(const std::string& startFolder, const std::string& title)
{
    std::cout << "panel: " << startFolder << " " << QtScreenReport::quoted(title) << std::endl;
    if (d->panelFolders.empty()) {
        return std::nullopt;
    }
    std::string folder = std::move(d->panelFolders.front());
    d->panelFolders.pop_front();
    return folder;
}

}  // namespace platform::qt
