#include "UnInstaller/common/RemovalSession.h"

#include "UnInstaller/resources/ScriptHelper/RemovalProtocol.h"
#include "platform/appkit/UiBackend.h"
#include "platform/foundation/Log.h"

#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

namespace {

using scripthelper::RemovalEvent;

/// How often the window gets to handle its events while no line comes.
constexpr int kEventSliceMs = 50;

/// The program's output, read line by line on a thread of its own so that the window keeps
/// handling events whatever the program does.
class LineReader {
public:
    explicit LineReader(std::FILE* stream)
        : m_thread([this, stream] { read(stream); })
    {
    }
    ~LineReader() { m_thread.join(); }

    /// The lines read since the last call; ended tells whether the output has ended.
    std::deque<std::string> take(bool* ended)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        *ended = m_ended;
        return std::exchange(m_lines, {});
    }

private:
    void read(std::FILE* stream)
    {
        scripthelper::readProtocolLines(
            stream, [this](const std::string& line) { push(line); },
            [](const std::string& line) {
                platform::NSLog("A line of the removal program holding a NUL byte was not read: %@",
                                {scripthelper::printable(line)});
            });
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ended = true;
    }

    void push(std::string line)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(std::move(line));
    }

    std::mutex m_mutex;
    std::deque<std::string> m_lines;
    bool m_ended = false;
    std::thread m_thread;
};

}  // namespace

RemovalSession::RemovalSession(std::string programName, std::function<std::string(const std::string&)> nameOf,
                               Texts texts)
    : m_programName(std::move(programName)), m_nameOf(std::move(nameOf)), m_texts(std::move(texts))
{
}

RemovalSession::Tally RemovalSession::follow(platform::AuthorizationRef authorization, std::FILE* stream)
{
    Tally tally;
    const bool windowed = platform::hasUiBackend();
    std::unique_ptr<platform::ProgressPanel> panel =
        windowed ? platform::uiBackend().makeProgressPanel(m_texts.title, m_texts.stopButton) : nullptr;
    const auto started = now();
    LineReader reader(stream);
    for (;;) {
        bool ended = false;
        std::deque<std::string> lines = reader.take(&ended);
        for (const std::string& line : lines) {
            if (m_logLines)
                platform::NSLog("%@: %@", {m_programName, line});
            const std::size_t before = m_index;
            take(line, tally);
            // Once stopped, the modules the program passes over are not progress.
            if (panel && m_index != before && !tally.stopped && m_texts.progress)
                panel->setProgress(m_index - 1, tally.total, m_texts.progress(m_index, tally.total, m_current));
        }
        if (ended)
            break;
        if (panel && !tally.stopped && panel->stopRequested()) {
            tally.stopped = true;
            platform::AuthorizationStopTool(authorization);
            panel->setStopping(m_texts.stopping);
        }
        // No count yet: the program waits for the lock that another removal holds.
        const auto at = now();
        if (panel && !tally.stopped && !m_counted && !m_toldWaiting &&
            (tally.waited || at - started >= kWaitingAfter)) {
            m_toldWaiting = true;
            panel->setWaiting(m_texts.waiting);
        }
        if (windowed)
            platform::uiBackend().waitForEvents(kEventSliceMs);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(kEventSliceMs / 5));
    }
    // The last module is done too: the count at the end.
    if (panel && !tally.stopped && m_index > 0 && m_texts.progress)
        panel->setProgress(tally.total, tally.total, m_texts.progress(m_index, tally.total, m_current));
    return tally;
}

std::chrono::steady_clock::time_point RemovalSession::now() const
{
    return m_clock ? m_clock() : std::chrono::steady_clock::now();
}

void RemovalSession::take(const std::string& line, Tally& tally)
{
    // "waiting REASON": the program says that it waits for the lock.
    if (line.rfind("waiting", 0) == 0 && (line.size() == 7 || line[7] == ' ')) {
        tally.waited = true;
        return;
    }
    const std::optional<RemovalEvent> event = RemovalEvent::parse(line);
    if (!event)
        return;
    using Kind = RemovalEvent::Kind;
    switch (event->kind) {
    case Kind::Total:
        tally.total = event->first;
        m_counted = true;
        break;
    case Kind::Module:
        m_counted = true;
        m_index = event->first;
        if (tally.total < event->second)
            tally.total = event->second;
        m_current = m_nameOf ? m_nameOf(event->id) : event->id;
        break;
    case Kind::Removed:
        tally.gone.push_back(event->id);
        break;
    case Kind::Absent:
        tally.gone.push_back(event->id);
        tally.absent.push_back(event->id);
        break;
    case Kind::Kept:
        if (event->text == kStoppedBeforeReason)
            tally.notTried.push_back(event->id);
        else
            tally.kept.emplace_back(event->id, event->text);
        break;
    case Kind::FileKept:
        tally.keptFiles.emplace_back(event->id, event->text);
        break;
    case Kind::Busy:
        tally.busy = true;
        break;
    case Kind::Refused:
        tally.refused = event->text;
        break;
    default:
        break;
    }
}
