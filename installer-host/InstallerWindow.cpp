#include "installer-host/InstallerWindow.h"

#include "installer-host/HostStrings.h"
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

    m_finalPage = new QWidget(m_pages);
    m_finalPage->setObjectName("finalPage");
    auto* finalLayout = new QVBoxLayout(m_finalPage);
    auto* finalLabel = new QLabel(qs(m_strings.text(kFinishedMessageKey)), m_finalPage);
    finalLabel->setObjectName("finalLabel");
    finalLabel->setWordWrap(true);
    finalLayout->addWidget(finalLabel);
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
    buttons->addWidget(m_cancelButton);
    buttons->addStretch(1);
    buttons->addWidget(m_backButton);
    buttons->addWidget(m_continueButton);
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
    setTabOrder(m_cancelButton, m_backButton);
    setTabOrder(m_backButton, m_continueButton);
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
    m_pages->setCurrentWidget(m_finalPage);
    m_heading->setText(qs(m_strings.text(kFinishStepKey)));
    updateSteps();
    updateButtons();
    m_continueButton->setFocus(Qt::TabFocusReason);
}

void InstallerWindow::continuePressed()
{
    if (m_session.isFinished()) {
        close();
        return;
    }
    m_session.continueForward();
    updateButtons();
}

void InstallerWindow::backPressed()
{
    m_session.goBack();
    updateButtons();
}

void InstallerWindow::updateSteps()
{
    std::vector<std::string> titles = m_session.titles();
    titles.push_back(m_strings.text(kFinishStepKey));
    const std::size_t current = m_session.started() ? m_session.currentIndex() : titles.size();
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
    const bool finishedNow = m_session.isFinished();
    m_backButton->setEnabled(m_session.canGoBack());
    m_continueButton->setText(qs(m_strings.text(finishedNow ? kCloseButtonKey : kContinueButtonKey)));
    m_continueButton->setEnabled(finishedNow || m_session.canContinue());
    m_cancelButton->setVisible(!finishedNow);
}

void InstallerWindow::closeEvent(QCloseEvent* event)
{
    if (m_quitting || m_session.isFinished()) {
        event->accept();
        quit();
        return;
    }
    event->ignore();
    requestQuit();
}

void InstallerWindow::requestQuit()
{
    if (m_quitting)
        return;
    if (m_session.isFinished()) {
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
