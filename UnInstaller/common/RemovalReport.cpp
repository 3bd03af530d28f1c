#include "UnInstaller/common/RemovalReport.h"

#include "platform/appkit/Alert.h"
#include "platform/appkit/UiBackend.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Plural.h"

#include <cerrno>
#include <cstring>
#include <initializer_list>

namespace {

/// The removal program's exit statuses that the window tells apart.
constexpr int kToolDone = 0;
constexpr int kToolKeptSome = 1;
constexpr int kToolBusy = 75;

/// Whether the byte starts a character of UTF-8 text (a byte that is not UTF-8 counts as one).
bool startsCharacter(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xc0u) != 0x80u;
}

/// The alert with a way back, where there is a screen to show it on; 1 (the default) otherwise.
platform::NSInteger askWithWayBack(platform::AlertKind kind, const std::string& title, const std::string& message,
                                   const std::string& defaultButton, const std::string& otherButton,
                                   bool defaultGoesBack)
{
    if (!platform::hasUiBackend())
        return 1;
    return platform::uiBackend().runAlertWithWayBack(kind, title, message, defaultButton, otherButton,
                                                     defaultGoesBack);
}

}  // namespace

std::string RemovalReport::fill(std::string text, std::initializer_list<std::string> values)
{
    std::size_t at = 0;
    for (const std::string& value : values) {
        at = text.find("%@", at);
        if (at == std::string::npos)
            break;
        text.replace(at, 2, value);
        at += value.size();
    }
    return text;
}

RemovalReport::RemovalReport(Lookup lookup, NameOf nameOf, std::string language)
    : m_lookup(std::move(lookup)), m_nameOf(std::move(nameOf)), m_language(std::move(language))
{
}

std::string RemovalReport::text(const std::string& key) const
{
    return m_lookup ? m_lookup(key) : key;
}

std::string RemovalReport::counted(const std::string& key, std::size_t n) const
{
    return platform::countedText(m_language, key, n, [this](const std::string& k) { return text(k); });
}

RemovalSession::Texts RemovalReport::progressTexts() const
{
    RemovalSession::Texts texts;
    texts.title = text("STEXT_PROGRESS_TITLE");
    texts.stopButton = text("STEXT_STOP_BUTTON");
    texts.stopping = text("STEXT_STOPPING");
    texts.waiting =
        fill(text("STEXT_PROGRESS_WAITING"),
             {platform::formatCount(m_language, static_cast<std::uint64_t>(RemovalSession::kLongestWaitSeconds))});
    texts.progress = [this](std::size_t index, std::size_t total, const std::string& name) {
        return fill(text("STEXT_PROGRESS"), {platform::formatCount(m_language, index),
                                             platform::formatCount(m_language, total), shortened(name)});
    };
    return texts;
}

void RemovalReport::rightsRefused(platform::OSStatus status) const
{
    const auto critical = [this](const std::string& key) {
        platform::NSRunCriticalAlertPanel(text(key), text(key + "_MESSAGE"), text("STEXT_OK_BUTTON"));
    };
    // A dismissed prompt shows nothing more; every other refusal says what happened, or pressing
    // the button would seem to do nothing.
    if (status == platform::errAuthorizationDenied) {
        platform::NSLog("Administrator rights were refused: not authorized.");
        critical("STEXT_NOT_AUTHORIZED");
    } else if (status == platform::errAuthorizationInteractionNotAllowed) {
        platform::NSLog("Administrator rights could not be asked: no authentication agent.");
        critical("STEXT_NO_AGENT");
    } else if (status != platform::errAuthorizationCanceled) {
        platform::NSLog("Administrator rights could not be asked: polkit did not answer.");
        critical("STEXT_NO_POLKIT");
    }
}

void RemovalReport::accountBusy() const
{
    platform::NSRunInformationalAlertPanel(text("STEXT_BUSY"), text("STEXT_BUSY_MESSAGE"), text("STEXT_OK_BUTTON"));
}

std::optional<int> RemovalReport::planNotSaved(const std::string& path, const std::string& reason) const
{
    // Nothing happened yet: the list, with its ticks, is the way to try again.
    const platform::NSInteger answer =
        askWithWayBack(platform::AlertKind::Critical, text("STEXT_PLAN_NOT_SAVED"),
                       fill(text("STEXT_PLAN_NOT_SAVED_MESSAGE"), {shortened(path), reason}), text("STEXT_BACK_BUTTON"),
                       text("STEXT_QUIT_BUTTON"), true);
    if (answer == 1)
        return std::nullopt;
    return 1;
}

int RemovalReport::notStarted() const
{
    platform::NSRunCriticalAlertPanel(text("STEXT_NOT_STARTED"), text("STEXT_NOT_STARTED_MESSAGE"),
                                      text("STEXT_OK_BUTTON"));
    return 1;
}

std::string RemovalReport::writeFailure(int error) const
{
    switch (error) {
    case EISDIR:
        return text("STEXT_REASON_FOLDER_IN_THE_WAY");
    case ENOTDIR:
        return text("STEXT_REASON_FILE_IN_THE_WAY");
    case EACCES:
    case EPERM:
        return text("STEXT_REASON_NO_PERMISSION");
    case ENOSPC:
    case EDQUOT:
        return text("STEXT_REASON_DISK_FULL");
    case EROFS:
        return text("STEXT_REASON_READ_ONLY");
    default:
        return error != 0 ? std::string(std::strerror(error)) : text("STEXT_REASON_UNKNOWN");
    }
}

std::string RemovalReport::shortened(const std::string& text, std::size_t longest)
{
    std::size_t characters = 0;
    for (char byte : text)
        characters += startsCharacter(byte) ? 1 : 0;
    if (characters <= longest || longest < 3)
        return text;
    const std::size_t head = (longest - 1) / 2;
    const std::size_t tail = longest - 1 - head;
    // The byte offsets where the head ends and the tail begins, on character boundaries.
    std::size_t headEnd = 0;
    for (std::size_t seen = 0; headEnd < text.size(); ++headEnd) {
        if (startsCharacter(text[headEnd]) && seen++ == head)
            break;
    }
    std::size_t tailStart = text.size();
    for (std::size_t seen = 0; tailStart > 0 && seen < tail;) {
        --tailStart;
        if (startsCharacter(text[tailStart]))
            ++seen;
    }
    return text.substr(0, headEnd) + "…" + text.substr(tailStart);
}

std::string RemovalReport::bullets(const std::vector<std::string>& entries)
{
    std::string lines;
    for (std::size_t i = 0; i < entries.size() && i < kMaxNamesShown; ++i)
        lines += "\n• " + shortened(entries[i]);
    if (entries.size() > kMaxNamesShown)
        lines += "\n…";
    return lines;
}

std::string RemovalReport::namesOf(const std::vector<std::string>& identifiers) const
{
    std::vector<std::string> names;
    for (std::size_t i = 0; i < identifiers.size() && i < kMaxNamesShown; ++i)
        names.push_back(m_nameOf ? m_nameOf(identifiers[i]) : identifiers[i]);
    return bullets(names) + (identifiers.size() > kMaxNamesShown ? "\n…" : "");
}

std::string RemovalReport::keptFiles(const RemovalSession::Tally& tally) const
{
    if (tally.keptFiles.empty())
        return std::string();
    std::vector<std::string> files;
    for (const auto& [identifier, file] : tally.keptFiles)
        files.push_back(file);
    return "\n\n" + counted("STEXT_FILES_KEPT", files.size()) + bullets(files);
}

std::optional<int> RemovalReport::removalEnded(int exitStatus, const RemovalSession::Tally& tally,
                                               std::size_t ticked) const
{
    const std::string ok = text("STEXT_OK_BUTTON");
    if (exitStatus == kToolDone) {
        const std::string message =
            (tally.gone.empty() ? std::string() : counted("STEXT_REMOVED", tally.gone.size())) + keptFiles(tally);
        platform::NSRunInformationalAlertPanel(text("STEXT_END"), message, ok);
        return 0;
    }
    if (exitStatus == kToolBusy) {
        platform::NSRunInformationalAlertPanel(text("STEXT_BUSY"), text("STEXT_BUSY_MESSAGE"), ok);
        return std::nullopt;
    }
    if (exitStatus == kToolKeptSome && (tally.stopped || !tally.notTried.empty()))
        return stopped(tally);
    if (exitStatus != kToolKeptSome || tally.kept.empty()) {
        platform::NSRunCriticalAlertPanel(text("STEXT_REMOVAL_FAILED"), text("STEXT_REMOVAL_FAILED_MESSAGE"), ok);
        return std::nullopt;
    }
    return someKept(tally, ticked);
}

std::optional<int> RemovalReport::stopped(const RemovalSession::Tally& tally) const
{
    // Asked for by the user: nothing went wrong, and the list is where to go on from.
    std::vector<std::string> kept;
    for (const auto& [identifier, reason] : tally.kept)
        kept.push_back(identifier);
    std::string message = counted("STEXT_REMOVED", tally.gone.size());
    if (!kept.empty())
        message += "\n" + counted("STEXT_KEPT", kept.size()) + namesOf(kept);
    if (!tally.notTried.empty())
        message += "\n" + counted("STEXT_NOT_TRIED", tally.notTried.size()) + namesOf(tally.notTried);
    message += keptFiles(tally);
    if (!kept.empty())
        message += "\n\n" + text("STEXT_LOG_HINT");
    const platform::NSInteger answer =
        askWithWayBack(platform::AlertKind::Informational, text("STEXT_STOPPED"), message, text("STEXT_BACK_BUTTON"),
                       text("STEXT_QUIT_BUTTON"), true);
    if (answer == 1)
        return std::nullopt;
    return 1;
}

std::optional<int> RemovalReport::someKept(const RemovalSession::Tally& tally, std::size_t ticked) const
{
    std::vector<std::string> kept;
    for (const auto& [identifier, reason] : tally.kept)
        kept.push_back(identifier);
    const std::string title = tally.gone.empty() ? counted("STEXT_NONE_REMOVED", ticked == 0 ? kept.size() : ticked)
                                                 : text("STEXT_SOME_NOT_REMOVED");
    std::string message;
    if (!tally.gone.empty())
        message = counted("STEXT_REMOVED", tally.gone.size()) + "\n";
    message += counted("STEXT_KEPT", kept.size()) + namesOf(kept) + keptFiles(tally) + "\n\n" + text("STEXT_LOG_HINT");
    const platform::NSInteger answer = askWithWayBack(platform::AlertKind::Critical, title, message,
                                                      text("STEXT_OK_BUTTON"), text("STEXT_BACK_BUTTON"), false);
    if (answer == 0)
        return std::nullopt;
    return 1;
}
