#pragma once

#include <QString>

namespace platform::qt {

/// Line breaking for texts that mix Korean or Chinese with Latin words. The toolkit may break a
/// line between any two Hangul syllables or ideographs; Korean breaks only between words, and a
/// path, command or name in Latin letters must not be split over two lines in either language.
/// In every language, a command in brackets ("(journalctl -t Plugsweep)") stays on one line.
class QtLineBreaks {
public:
    /// The text with word joiners between the syllables of each Korean word and with each run of
    /// Latin text between Korean or Chinese characters (up to kLongestKeptRun characters) held
    /// on one line by no-break spaces and word joiners. In a text without Hangul and ideographs
    /// only a bracketed command (Latin text with an option, " -x") is held together.
    static QString keepWordsTogether(const QString& text);

    /// Longer Latin runs are full sentences, which may wrap.
    static constexpr int kLongestKeptRun = 48;
};

}  // namespace platform::qt
