#pragma once

#include <QSet>
#include <QString>

class QAction;
class QWidget;

namespace platform::qt {

/// Gives every button and menu title of a window a keyboard mnemonic of its own (Alt+letter),
/// chosen from the text itself, so that translations need no markers: the first letter when it
/// is free, then the first letters of the other words, then any other letter. A text without a
/// Latin letter (Japanese, Korean, Chinese) gets a "(&X)" suffix whose letter comes from the
/// control's object name. Texts that already carry a mnemonic keep it, and a control whose text
/// changes keeps its letter where the new text has it.
class QtMnemonics {
public:
    /// A control's property that lends the letters of a suffix in place of its object name.
    static constexpr const char* kHintProperty = "platformMnemonicHint";

    /// The text with a mnemonic marker for a letter not in used, which takes that letter; the text
    /// escaped without a marker when no letter is left. hint lends the letters of a suffix.
    static QString mark(const QString& plain, const QString& hint, QSet<QChar>& used);

    /// The text marked with letter when letter is free and in the text (the first word start that
    /// has it, else its first place), or with a "(&X)" suffix when the text has no Latin letter;
    /// empty otherwise, and then letter stays free.
    static QString markWith(const QString& plain, QChar letter, QSet<QChar>& used);

    /// The mnemonic letter of a marked text ("&Close" is 'C'), or a null character.
    static QChar letterOf(const QString& marked);

    /// Marks the menu bar's titles and the buttons of window (its default button first) as one
    /// set of letters, and the items of each menu as a set of their own. Controls marked before
    /// keep their letters while their texts stay the same.
    static void assign(QWidget* window);

    /// The text a user reads on the button: its text without the marker set by assign.
    static QString plainText(const QWidget* button);
    /// The text of the action without the marker set by assign.
    static QString plainText(const QAction* action);
    /// The mnemonic letter of the button or action, or a null character.
    static QChar letterOf(const QWidget* button);
    static QChar letterOf(const QAction* action);
};

}  // namespace platform::qt
