#pragma once

#include <QString>

namespace platform::qt {

/// Line breaking for texts that mix Korean or Chinese with Latin words. The toolkit may break a
/// line between any two Hangul syllables or ideographs; Korean breaks only between words, and a
/// path, command or name in Latin letters must not be split over two lines in either language.
class QtLineBreaks {
public:
    /// The text with word joiners between the syllables of each Korean word and with each run of
    /// Latin text between Korean or Chinese characters (up to kLongestKeptRun characters) held
    /// on one line by no-break spaces and word joiners. A text without Hangul and ideographs is
    /// returned as it is.
    static QString keepWordsTogether(const QString& text);

    /// Longer Latin runs are full sentences, which may wrap.
    static constexpr int kLongestKeptRun = 48;
};

}  // namespace platform::qt
