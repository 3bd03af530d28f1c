#include "installer-host/InstallPage.h"

#include "installer-host/HostStrings.h"

#include <QEventLoop>
#include <QFont>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <thread>

namespace installerhost {

namespace {

/// How long a status line stays before the next one replaces it.
constexpr int kStatusIntervalMs = 2000;

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

QLabel* makeLabel(const char* name, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    // Folders and InstallHelper's reasons are text, never markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

InstallPage::InstallPage(const HostStrings& strings, QWidget* parent) : QWidget(parent), m_texts(strings)
{
    setObjectName("installPage");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_status = makeLabel("installStatusLabel", this);
    layout->addWidget(m_status);

    m_bar = new QProgressBar(this);
    m_bar->setObjectName("installProgress");
    m_bar->setAccessibleName(qs(strings.text(kInstallProgressNameKey)));
    m_bar->setTextVisible(false);
    layout->addWidget(m_bar);

    m_summary = makeLabel("installSummaryLabel", this);
    QFont bold = m_summary->font();
    bold.setBold(true);
    m_summary->setFont(bold);
    layout->addWidget(m_summary);

    m_detail = makeLabel("installDetailLabel", this);
    layout->addWidget(m_detail);

    m_hosts = new QListWidget(this);
    m_hosts->setObjectName("installOutcomeList");
    m_hosts->setAccessibleName(qs(strings.text(kInstallListNameKey)));
    m_hosts->setSelectionMode(QAbstractItemView::NoSelection);
    m_hosts->setWordWrap(true);
    layout->addWidget(m_hosts, 1);
    layout->addStretch(0);

    m_statusTimer = new QTimer(this);
    m_statusTimer->setSingleShot(true);
    connect(m_statusTimer, &QTimer::timeout, this, [this] { applyStatus(); });

    m_summary->hide();
    m_detail->hide();
    m_hosts->hide();
}

QString InstallPage::summary() const
{
    return m_result ? m_summary->text() : QString();
}

void InstallPage::run(bool directWhenPrivileged)
{
    if (m_running)
        return;
    m_running = true;
    m_result.reset();
    m_summary->hide();
    m_detail->hide();
    m_hosts->hide();
    m_hosts->clear();
    m_status->show();
    m_bar->show();
    m_bar->setRange(0, 0);
    m_statusShown.invalidate();
    setStatus(qs(m_texts.progress(InstallStep::Progress{})));

    InstallStep step;
    step.setDirectWhenPrivileged(directWhenPrivileged);
    step.setProgressHandler([this](const InstallStep::Progress& progress) {
        QMetaObject::invokeMethod(this, [this, progress] { showProgress(progress); }, Qt::QueuedConnection);
    });
    std::optional<InstallStep::Result> result;
    QEventLoop loop;
    std::thread worker([&step, &result, &loop] {
        result = step.run();
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    // The loop also ends when the application quits; the run is still waited for.
    worker.join();

    m_running = false;
    m_result = std::move(result);
    showResult();
}

void InstallPage::showProgress(const InstallStep::Progress& progress)
{
    // Progress that arrives after the result (the loop ended early) is old.
    if (!m_running)
        return;
    if (progress.phase == InstallStep::Progress::Phase::Host && progress.count > 0) {
        m_bar->setRange(0, static_cast<int>(progress.count));
        m_bar->setValue(static_cast<int>(progress.index - 1));
    }
    setStatus(qs(m_texts.progress(progress)));
}

void InstallPage::showResult()
{
    m_statusTimer->stop();
    m_status->hide();
    m_bar->hide();
    if (!m_result)
        return;
    m_hosts->clear();
    for (const HostOutcome& host : m_result->hosts) {
        const QString row = qs(host.folder.empty() ? "-" : host.folder) + "\n" + qs(m_texts.hostState(host));
        auto* item = new QListWidgetItem(row, m_hosts);
        item->setFlags(Qt::ItemIsEnabled);
        item->setToolTip(row);
    }
    m_hosts->setVisible(!m_result->hosts.empty());
    m_summary->setText(qs(m_texts.summary(*m_result)));
    m_summary->show();
    const std::string detail = m_texts.detail(*m_result);
    m_detail->setText(qs(detail));
    m_detail->setVisible(!detail.empty());
}

void InstallPage::setStatus(const QString& text)
{
    m_pendingStatus = text;
    if (!m_statusShown.isValid() || m_statusShown.elapsed() >= kStatusIntervalMs) {
        applyStatus();
        return;
    }
    if (!m_statusTimer->isActive())
        m_statusTimer->start(static_cast<int>(kStatusIntervalMs - m_statusShown.elapsed()));
}

void InstallPage::applyStatus()
{
    if (!m_running)
        return;
    m_status->setText(m_pendingStatus);
    m_bar->setAccessibleDescription(m_pendingStatus);
    m_statusShown.restart();
}

}  // namespace installerhost
