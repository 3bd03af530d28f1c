#include "platform/headless/HeadlessUi.h"

#include "platform/foundation/SearchPaths.h"
#include "platform/headless/HeadlessOpenPanel.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace platform::headless {

HeadlessInterface::HeadlessInterface(std::string rootName) : m_rootName(std::move(rootName)) {}

void HeadlessInterface::setProperty(const std::string& objectName, const std::string& key, const std::string& value)
{
    m_properties[{objectName, key}] = value;
}

std::vector<Control*> HeadlessInterface::objects() const
{
    std::vector<Control*> result;
    result.reserve(m_controls.size());
    for (const auto& control : m_controls) {
        result.push_back(control.get());
    }
    return result;
}

std::string HeadlessInterface::property(const std::string& objectName, const std::string& key) const
{
    auto it = m_properties.find({objectName, key});
    return it == m_properties.end() ? std::string() : it->second;
}

HeadlessUi::HeadlessUi() = default;

HeadlessUi::~HeadlessUi()
{
    if (hasUiBackend() && &uiBackend() == this) {
        setUiBackend(nullptr);
    }
}

void HeadlessUi::queuePanelChoice(std::string path)
{
    m_panelAnswers.emplace_back(std::move(path));
}

void HeadlessUi::queuePanelCancel()
{
    m_panelAnswers.emplace_back(std::nullopt);
}

void HeadlessUi::registerInterface(const std::string& path, InterfaceFactory factory)
{
    m_interfaces[path] = std::move(factory);
}

std::size_t HeadlessUi::panelCount() const
{
    return static_cast<std::size_t>(std::count_if(m_events.begin(), m_events.end(), [](const HeadlessEvent& e) {
        return e.kind == HeadlessEvent::Kind::OpenPanel;
    }));
}

std::size_t HeadlessUi::alertCount() const
{
    return static_cast<std::size_t>(std::count_if(m_events.begin(), m_events.end(), [](const HeadlessEvent& e) {
        return e.kind == HeadlessEvent::Kind::Alert;
    }));
}

std::unique_ptr<OpenPanel> HeadlessUi::makeOpenPanel()
{
    return std::make_unique<HeadlessOpenPanel>(*this);
}

NSInteger HeadlessUi::runAlert(AlertKind kind, const std::string& title, const std::string& message,
                               const std::string& defaultButton)
{
    HeadlessEvent event;
    event.kind = HeadlessEvent::Kind::Alert;
    event.detail = title;
    event.alertKind = kind;
    event.message = message;
    event.button = defaultButton;
    m_events.push_back(std::move(event));
    return 1;
}

NSInteger HeadlessUi::runAlertWithAlternate(AlertKind kind, const std::string& title, const std::string& message,
                                            const std::string& defaultButton, const std::string& alternateButton)
{
    runAlert(kind, title, message, defaultButton);
    m_events.back().alternate = alternateButton;
    if (m_alertAnswers.empty())
        return 1;
    const NSInteger answer = m_alertAnswers.front();
    m_alertAnswers.pop_front();
    return answer;
}

namespace {

/// Records what it shows in its HeadlessUi and reports Stop after the number of updates asked.
class HeadlessProgressPanel : public ProgressPanel {
public:
    explicit HeadlessProgressPanel(HeadlessUi& ui) : m_ui(ui), m_stopAfter(ui.stopAfter()) {}
    void setProgress(std::size_t done, std::size_t total, const std::string& text) override
    {
        ++m_updates;
        m_ui.recordProgress(std::to_string(done) + "/" + std::to_string(total) + " " + text);
    }
    bool stopRequested() const override { return m_stopAfter && m_updates >= *m_stopAfter; }
    void setStopping(const std::string& text) override { m_ui.recordProgress("stopping " + text); }

private:
    HeadlessUi& m_ui;
    std::optional<std::size_t> m_stopAfter;
    std::size_t m_updates = 0;
};

}  // namespace

std::unique_ptr<ProgressPanel> HeadlessUi::makeProgressPanel(const std::string& title, const std::string&)
{
    HeadlessEvent event;
    event.kind = HeadlessEvent::Kind::Progress;
    event.detail = title;
    m_events.push_back(std::move(event));
    return std::make_unique<HeadlessProgressPanel>(*this);
}

void HeadlessUi::waitForEvents(int timeoutMs)
{
    ++m_waits;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeoutMs, 5)));
}

std::unique_ptr<Interface> HeadlessUi::loadInterface(const std::string& path)
{
    auto it = m_interfaces.find(path);
    if (it == m_interfaces.end() || !it->second) {
        return nullptr;
    }
    return it->second();
}

int HeadlessUi::runEventLoop(const std::function<void()>& onStarted)
{
    m_quit = false;
    if (onStarted) {
        onStarted();
    }
    if (!m_quit && m_session) {
        m_session();
    }
    return 0;
}

void HeadlessUi::quitEventLoop()
{
    m_quit = true;
    recordTerminate();
}

void HeadlessUi::setBusy(bool busy)
{
    m_busy = busy;
    if (busy) {
        ++m_busyCount;
    }
}

std::optional<std::string> HeadlessUi::takePanelAnswer(const std::optional<std::string>& startDirectory,
                                                       const std::string& title)
{
    HeadlessEvent event;
    event.kind = HeadlessEvent::Kind::OpenPanel;
    event.detail = startDirectory.value_or(NSHomeDirectory());
    event.title = title;
    m_events.push_back(std::move(event));
    if (m_panelAnswers.empty()) {
        return std::nullopt;
    }
    std::optional<std::string> answer = std::move(m_panelAnswers.front());
    m_panelAnswers.pop_front();
    return answer;
}

void HeadlessUi::recordTerminate()
{
    HeadlessEvent event;
    event.kind = HeadlessEvent::Kind::Terminate;
    m_events.push_back(std::move(event));
}

ScopedHeadlessUi::ScopedHeadlessUi() : m_previous(hasUiBackend() ? &uiBackend() : nullptr)
{
    setUiBackend(&m_ui);
}

ScopedHeadlessUi::~ScopedHeadlessUi()
{
    setUiBackend(m_previous);
}

}  // namespace platform::headless
