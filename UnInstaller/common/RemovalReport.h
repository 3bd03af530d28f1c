#pragma once

#include "UnInstaller/common/RemovalSession.h"
#include "platform/security/Authorization.h"

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

/// The window's alerts around a removal: why it could not start, and what became of the ticked
/// modules once the removal program has ended, told from its exit status and its lines. Each
/// alert answers what comes next: back to the list (none) or the end of the program with a status.
class RemovalReport {
public:
    /// The text of a key of the window's strings table.
    using Lookup = std::function<std::string(const std::string& key)>;
    /// The name the window shows for a module identifier.
    using NameOf = std::function<std::string(const std::string& identifier)>;

    /// Names and paths longer than this many characters are shown shortened in the middle.
    static constexpr std::size_t kLongestShownText = 120;
    /// Lists of modules or files name at most this many.
    static constexpr std::size_t kMaxNamesShown = 5;

    /// text with each "%@" replaced by the next of values, in order; "%@" beyond them stays.
    static std::string fill(std::string text, std::initializer_list<std::string> values);

    /// language decides the plural forms and the digits of counts.
    RemovalReport(Lookup lookup, NameOf nameOf, std::string language);

    /// The progress panel's texts.
    RemovalSession::Texts progressTexts() const;

    /// Says why administrator rights were not had; a dismissed prompt shows nothing.
    void rightsRefused(platform::OSStatus status) const;
    /// Says that another removal of this account is running; the window stays as it was.
    void accountBusy() const;
    /// Says that the plan could not be written at path, and why; back to the list to try again,
    /// or the end with status 1.
    std::optional<int> planNotSaved(const std::string& path, const std::string& reason) const;
    /// Says that the removal program could not be started; the program ends with status 1.
    int notStarted() const;
    /// Says what the run of the removal program came to; ticked is how many modules the plan
    /// named. Everything gone ends the program; another removal running or a failed run go back
    /// to the list; a stop the user asked for offers the list first, and kept modules offer it
    /// beside OK, which ends the program with status 1.
    std::optional<int> removalEnded(int exitStatus, const RemovalSession::Tally& tally, std::size_t ticked) const;

    /// The reason of a failed write in the window's words, from the error number it left.
    std::string writeFailure(int error) const;

    /// text, cut in the middle to at most kLongestShownText characters (an ellipsis between its
    /// beginning and its end) when it is longer; whole characters are kept.
    static std::string shortened(const std::string& text, std::size_t longest = kLongestShownText);

private:
    std::string text(const std::string& key) const;
    std::string counted(const std::string& key, std::size_t n) const;
    /// One line per entry ("• NAME"), at most kMaxNamesShown, then "…" for the rest.
    static std::string bullets(const std::vector<std::string>& entries);
    std::string namesOf(const std::vector<std::string>& identifiers) const;
    /// The files that stayed, as a paragraph of their own; empty when none did.
    std::string keptFiles(const RemovalSession::Tally& tally) const;
    std::optional<int> stopped(const RemovalSession::Tally& tally) const;
    std::optional<int> someKept(const RemovalSession::Tally& tally, std::size_t ticked) const;

    Lookup m_lookup;
    NameOf m_nameOf;
    std::string m_language;
};
