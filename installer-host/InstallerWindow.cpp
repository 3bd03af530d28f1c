#include "installer-host/InstallerWindow.h"

#include "installer-host/HostExitStatus.h"
#include "installer-host/HostStrings.h"
#include "installer-host/InstallPage.h"
#include "installer-host/InstallReport.h"
#include "installer-host/InstallTexts.h"
#include "installer-host/InstallerSession.h"

#include "platform/installer/InstallerPane.h"
#include "platform/qt/QtAlertAccessible.h"
#include "platform/qt/QtLineBreaks.h"
#include "platform/qt/QtUi.h"

#include <QCloseEvent>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace installerhost {

namespace {

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

InstallerWindow::InstallerWindow(InstallerSession& session, const HostStrings& strings, QWidget* parent)
    : QMainWindow(parent), m_session(session), m_strings(strings)
{
    setObjectName("installerWindow");
    setWindowTitle(qs(m_strings.text(kWindowTitleKey)));

    auto* central = new QWidget(this);
    auto* columns = new QHBoxLayout(central);

    m_steps = new QListWidget(central);
    m_steps->setObjectName("stepList");
    m_steps->setSelectionMode(QAbstractItemView::NoSelection);
    m_steps->setFocusPolicy(Qt::NoFocus);
    m_steps->setFixedWidth(190);
    columns->addWidget(m_steps);

    auto* right = new QVBoxLayout;
    columns->addLayout(right, 1);

    m_heading = new QLabel(central);
    m_heading->setObjectName("paneTitleLabel");
    QFont headingFont = m_heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.2);
    m_heading->setFont(headingFont);
    right->addWidget(m_heading);

    m_pages = new QStackedWidget(central);
    m_pages->setObjectName("panePages");
    right->addWidget(m_pages, 1);

    for (std::size_t i = 0; i < m_session.paneCount(); ++i) {
        auto* page = new QWidget(m_pages);
        page->setObjectName(QString("panePage%1").arg(i));
        auto* pageLayout = new QVBoxLayout(page);
        pageLayout->setContentsMargins(0, 0, 0, 0);
        m_pages->addWidget(page);
        m_panePages.push_back(page);
    }
    m_paneViews.resize(m_session.paneCount());
    m_viewAsked.assign(m_session.paneCount(), false);

    m_installPage = new InstallPage(m_strings, m_pages);
    m_pages->addWidget(m_installPage);

    m_finalPage = new QWidget(m_pages);
    m_finalPage->setObjectName("finalPage");
    auto* finalLayout = new QVBoxLayout(m_finalPage);
    m_finalLabel = new QLabel(m_finalPage);
    m_finalLabel->setObjectName("finalLabel");
    m_finalLabel->setTextFormat(Qt::PlainText);
    m_finalLabel->setWordWrap(true);
    finalLayout->addWidget(m_finalLabel);
    finalLayout->addStretch(1);
    m_pages->addWidget(m_finalPage);

    auto* buttons = new QHBoxLayout;
    m_cancelButton = new QPushButton(qs(m_strings.text(kCancelButtonKey)), central);
    m_cancelButton->setObjectName("cancelButton");
    m_backButton = new QPushButton(qs(m_strings.text(kBackButtonKey)), central);
    m_backButton->setObjectName("backButton");
    m_continueButton = new QPushButton(qs(m_strings.text(kContinueButtonKey)), central);
    m_continueButton->setObjectName("continueButton");
    m_continueButton->setDefault(true);
    m_closeButton = new QPushButton(qs(m_strings.text(kCloseButtonKey)), central);
    m_closeButton->setObjectName("closeButton");
    m_closeButton->hide();
    m_installAgainButton = new QPushButton(qs(m_strings.text(kInstallAgainButtonKey)), central);
    m_installAgainButton->setObjectName("installAgainButton");
    m_installAgainButton->hide();
    buttons->addWidget(m_cancelButton);
    buttons->addStretch(1);
    buttons->addWidget(m_installAgainButton);
    buttons->addWidget(m_backButton);
    buttons->addWidget(m_continueButton);
    buttons->addWidget(m_closeButton);
    right->addLayout(buttons);

    setCentralWidget(central);
    resize(760, 480);

    connect(m_cancelButton, &QPushButton::clicked, this, [this] { requestQuit(); });
    // Escape is Cancel, as in every dialog; it reaches the window only from controls that leave it.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (m_cancelButton->isVisible() && m_cancelButton->isEnabled())
            m_cancelButton->animateClick();
    });
    connect(m_backButton, &QPushButton::clicked, this, [this] { backPressed(); });
    connect(m_continueButton, &QPushButton::clicked, this, [this] { continuePressed(); });
    connect(m_closeButton, &QPushButton::clicked, this, [this] { close(); });
    connect(m_installAgainButton, &QPushButton::clicked, this, [this] { runInstall(); });

    m_session.setPaneEnteredHandler([this](std::size_t index) { paneEntered(index); });
    m_session.setNextEnabledChangedHandler([this](bool) { updateButtons(); });
    m_session.setFinishedHandler([this] { finished(); });

    updateSteps();
    updateButtons();
}

InstallerWindow::~InstallerWindow()
{
    m_session.setPaneEnteredHandler(nullptr);
    m_session.setNextEnabledChangedHandler(nullptr);
    m_session.setFinishedHandler(nullptr);
    // The panes own their views: hand back every view that still lives, so that the window
    // does not delete it with its pages.
    for (QPointer<QWidget>& view : m_paneViews) {
        if (view) {
            view->hide();
            view->setParent(nullptr);
        }
    }
}

void InstallerWindow::paneEntered(std::size_t index)
{
    m_stage = Stage::Panes;
    m_continueButton->setAccessibleDescription(QString());
    platform::InstallerPane* pane = m_session.pane(index);
    if (!m_viewAsked[index]) {
        m_viewAsked[index] = true;
        if (auto* view = static_cast<QWidget*>(pane->contentView())) {
            m_panePages[index]->layout()->addWidget(view);
            view->show();
            m_paneViews[index] = view;
        }
    }
    m_pages->setCurrentWidget(m_panePages[index]);
    focusPane(index);
    const std::string title = pane->title();
    m_heading->setText(QString::fromStdString(title));
    updateSteps();
    updateButtons();
    if (auto* ui = platform::qt::QtUi::instance())
        ui->reportEvent("pane: " + title);
}

void InstallerWindow::focusPane(std::size_t index)
{
    // Tab goes through the pane's controls, then Cancel, Go Back and Continue, and round again.
    QWidget* lastInPane = nullptr;
    QWidget* firstInPane = nullptr;
    if (QWidget* view = m_paneViews[index]) {
        for (QWidget* w = view->nextInFocusChain(); w != view && view->isAncestorOf(w); w = w->nextInFocusChain()) {
            if (w->focusPolicy() & Qt::TabFocus) {
                if (!firstInPane)
                    firstInPane = w;
                lastInPane = w;
            }
        }
    }
    if (lastInPane)
        setTabOrder(lastInPane, m_cancelButton);
    setTabOrder(m_cancelButton, m_installAgainButton);
    setTabOrder(m_installAgainButton, m_backButton);
    setTabOrder(m_backButton, m_continueButton);
    setTabOrder(m_continueButton, m_closeButton);
    // The pane's first control that takes the focus has it when the pane is entered.
    for (QWidget* w = firstInPane; w; w = w->nextInFocusChain()) {
        if (w->isEnabled() && w->isVisible() && (w->focusPolicy() & Qt::TabFocus)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
        if (w == lastInPane)
            break;
    }
    m_continueButton->setFocus(Qt::TabFocusReason);
}

void InstallerWindow::finished()
{
    m_stage = Stage::Install;
    m_pages->setCurrentWidget(m_installPage);
    m_heading->setText(qs(m_strings.text(kInstallStepKey)));
    updateSteps();
    runInstall();
}

void InstallerWindow::runInstall()
{
    if (m_stage != Stage::Install || m_installPage->running())
        return;
    // Nothing may be pressed while InstallHelper runs; the page handles events meanwhile.
    m_cancelButton->setEnabled(false);
    m_backButton->setEnabled(false);
    m_continueButton->setEnabled(false);
    m_continueButton->setAccessibleDescription(QString());
    m_installAgainButton->hide();
    platform::qt::QtUi* ui = platform::qt::QtUi::instance();
    if (ui)
        ui->reportEvent("install: started");
    // A UI script answers the prompts itself, so a scripted run asks even as root.
    m_installPage->run(!(ui && ui->scripted()));
    if (ui && m_installPage->result())
        ui->reportEvent("install: " + InstallReport::outcomeWord(m_installPage->result()->outcome));
    updateButtons();
    // Focus on Continue brings the outcome to a screen reader along with the button.
    m_continueButton->setAccessibleDescription(m_installPage->summary());
    m_continueButton->setFocus(Qt::OtherFocusReason);
}

void InstallerWindow::showFinalPage()
{
    if (!m_installPage->result())
        return;
    m_stage = Stage::Final;
    const QString message = qs(InstallTexts(m_strings).finalMessage(*m_installPage->result()));
    m_finalLabel->setText(message);
    // The page's text comes to a screen reader with Close, the one control of the page, which
    // takes the focus from Continue and is announced with its description: set before it shows.
    m_closeButton->setAccessibleDescription(message);
    m_pages->setCurrentWidget(m_finalPage);
    m_heading->setText(qs(m_strings.text(kFinishStepKey)));
    updateSteps();
    updateButtons();
    m_closeButton->setFocus(Qt::TabFocusReason);
}

bool InstallerWindow::anythingInstalled() const
{
    const std::optional<InstallStep::Result>& result = m_installPage->result();
    return result && result->placed() > 0;
}

bool InstallerWindow::quitNeedsQuestion() const
{
    return m_stage == Stage::Panes || (m_stage == Stage::Install && !anythingInstalled());
}

int InstallerWindow::exitStatus() const
{
    const std::optional<InstallStep::Result>& result = m_installPage->result();
    if (result && (m_stage == Stage::Final || (m_stage == Stage::Install && anythingInstalled())))
        return InstallReport::exitStatus(*result);
    return kExitCancelled;
}

void InstallerWindow::continuePressed()
{
    switch (m_stage) {
    case Stage::Final:
        close();
        return;
    case Stage::Install:
        if (!m_installPage->running())
            showFinalPage();
        return;
    case Stage::Panes:
        break;
    }
    m_session.continueForward();
    updateButtons();
}

void InstallerWindow::backPressed()
{
    if (m_stage == Stage::Install) {
        if (!m_installPage->running() && !anythingInstalled())
            m_session.returnToLastPane();
        return;
    }
    m_session.goBack();
    updateButtons();
}

void InstallerWindow::updateSteps()
{
    std::vector<std::string> titles = m_session.titles();
    const std::size_t installIndex = titles.size();
    titles.push_back(m_strings.text(kInstallStepKey));
    titles.push_back(m_strings.text(kFinishStepKey));
    std::size_t current = titles.size();
    if (m_stage == Stage::Install)
        current = installIndex;
    else if (m_stage == Stage::Final)
        current = installIndex + 1;
    else if (m_session.started())
        current = m_session.currentIndex();
    m_steps->clear();
    for (std::size_t i = 0; i < titles.size(); ++i) {
        auto* item = new QListWidgetItem(QString::fromStdString(titles[i]), m_steps);
        item->setFlags(Qt::ItemIsEnabled);
        QFont font = item->font();
        font.setBold(i == current);
        item->setFont(font);
        if (i > current)
            item->setForeground(m_steps->palette().color(QPalette::Disabled, QPalette::Text));
    }
}

void InstallerWindow::updateButtons()
{
    const bool running = m_installPage->running();
    const std::optional<InstallStep::Result>& result = m_installPage->result();
    switch (m_stage) {
    case Stage::Panes:
        m_backButton->setEnabled(m_session.canGoBack());
        m_continueButton->setText(qs(m_strings.text(kContinueButtonKey)));
        m_continueButton->setEnabled(m_session.canContinue());
        m_installAgainButton->hide();
        break;
    case Stage::Install: {
        const bool ended = !running && result;
        // Asking again helps only where the plan named hosts and nothing was placed.
        const bool again = ended && !anythingInstalled() && result->outcome != InstallStep::Outcome::NothingSelected &&
                           result->outcome != InstallStep::Outcome::PlanMissing &&
                           result->outcome != InstallStep::Outcome::PlanUnreadable;
        m_backButton->setEnabled(ended && !anythingInstalled() && m_session.paneCount() > 0);
        m_continueButton->setText(qs(m_strings.text(kContinueButtonKey)));
        m_continueButton->setEnabled(ended);
        m_installAgainButton->setVisible(again);
        break;
    }
    case Stage::Final:
        m_backButton->setEnabled(false);
        m_installAgainButton->hide();
        break;
    }
    const bool final = m_stage == Stage::Final;
    m_closeButton->setVisible(final);
    m_closeButton->setDefault(final);
    m_continueButton->setDefault(!final);
    m_continueButton->setVisible(!final);
    m_cancelButton->setVisible(quitNeedsQuestion());
    m_cancelButton->setEnabled(!running);
}

void InstallerWindow::closeEvent(QCloseEvent* event)
{
    if (m_quitting) {
        event->accept();
        quit();
        return;
    }
    // InstallHelper is not left running on its own: the window stays until it has ended.
    if (m_installPage->running()) {
        event->ignore();
        return;
    }
    if (!quitNeedsQuestion()) {
        event->accept();
        quit();
        return;
    }
    event->ignore();
    requestQuit();
}

void InstallerWindow::requestQuit()
{
    if (m_quitting || m_installPage->running())
        return;
    if (!quitNeedsQuestion()) {
        quit();
        close();
        return;
    }
    if (m_confirmation) {
        m_confirmation->raise();
        m_confirmation->activateWindow();
        return;
    }
    using platform::qt::QtLineBreaks;
    auto* box = new QMessageBox(QMessageBox::Question, windowTitle(),
                                QtLineBreaks::keepWordsTogether(qs(m_strings.text(kQuitConfirmTitleKey))),
                                QMessageBox::NoButton, this);
    box->setObjectName("quitConfirmation");
    box->setInformativeText(QtLineBreaks::keepWordsTogether(qs(m_strings.text(kQuitConfirmMessageKey))));
    platform::qt::QtAlertAccessible::markAsAlert(box);
    QPushButton* quitButton = box->addButton(qs(m_strings.text(kQuitButtonKey)), QMessageBox::DestructiveRole);
    quitButton->setObjectName("quitButton");
    QPushButton* resumeButton = box->addButton(qs(m_strings.text(kResumeButtonKey)), QMessageBox::RejectRole);
    resumeButton->setObjectName("resumeButton");
    box->setDefaultButton(resumeButton);
    box->setEscapeButton(resumeButton);
    box->setAttribute(Qt::WA_DeleteOnClose);
    m_confirmation = box;
    connect(box, &QMessageBox::finished, this, [this, box, quitButton] {
        if (box->clickedButton() == quitButton) {
            quit();
            close();
        }
    });
    box->open();
}

void InstallerWindow::quit()
{
    if (m_quitting)
        return;
    m_quitting = true;
    if (m_quitHandler)
        m_quitHandler();
}

}  // namespace installerhost
