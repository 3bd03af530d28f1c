#include "platform/qt/QtMnemonics.h"

#include <QAbstractButton>
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace platform::qt {

namespace {

// Where a control's own text and the marked text set by assign are kept.
constexpr const char* kMarkedProperty = "platformMnemonicMarked";
constexpr const char* kPlainProperty = "platformMnemonicPlain";

bool isLatinLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

QString escaped(const QString& plain)
{
    QString out = plain;
    out.replace(QLatin1Char('&'), QLatin1String("&&"));
    return out;
}

// The positions of plain's Latin letters in the order they are tried.
std::vector<qsizetype> candidatePositions(const QString& plain)
{
    std::vector<qsizetype> firsts;
    std::vector<qsizetype> others;
    for (qsizetype i = 0; i < plain.size(); ++i) {
        if (!isLatinLetter(plain.at(i))) {
            continue;
        }
        const bool wordStart = i == 0 || !plain.at(i - 1).isLetterOrNumber();
        (wordStart ? firsts : others).push_back(i);
    }
    firsts.insert(firsts.end(), others.begin(), others.end());
    return firsts;
}

// The suffix goes before a closing ellipsis ("開く(&O)...").
QString withSuffix(const QString& plain, QChar letter)
{
    QString body = escaped(plain);
    QString tail;
    for (const QString& ellipsis : {QStringLiteral("..."), QStringLiteral("\u2026")}) {
        if (body.endsWith(ellipsis)) {
            body.chop(ellipsis.size());
            tail = ellipsis;
            break;
        }
    }
    return body + QLatin1String("(&") + letter + QLatin1Char(')') + tail;
}

template <class Object>
QString storedPlain(const Object* object, const QString& text)
{
    if (object->property(kMarkedProperty).toString() == text && !text.isEmpty()) {
        return object->property(kPlainProperty).toString();
    }
    return text;
}

// One control of a set: how to read and write its text.
struct Entry {
    QObject* object = nullptr;
    QString text;
    QString hint;
    bool isAction = false;
};

void setText(const Entry& entry, const QString& text, const QString& plain)
{
    if (entry.isAction) {
        static_cast<QAction*>(entry.object)->setText(text);
        return;
    }
    auto* button = static_cast<QAbstractButton*>(entry.object);
    button->setText(text);
    // A "(&X)" suffix is there for the keyboard alone: a screen reader reads the plain title
    // ("すべてを選択", not "すべてを選択(A)") and says the shortcut on its own.
    const bool suffixed = text.contains(QLatin1String("(&")) && !plain.contains(QLatin1String("(&"));
    // Set only when it changes: each setting tells a screen reader of a new name.
    const QString name = suffixed ? plain : QString();
    if (button->accessibleName() != name)
        button->setAccessibleName(name);
}

void assignSet(const std::vector<Entry>& entries)
{
    QSet<QChar> used;
    std::vector<const Entry*> ours;
    std::vector<const Entry*> fresh;
    // Markers in the texts themselves cannot move; they are taken first.
    for (const Entry& entry : entries) {
        if (entry.object->property(kMarkedProperty).toString() == entry.text) {
            ours.push_back(&entry);
        } else if (const QChar letter = QtMnemonics::letterOf(entry.text); !letter.isNull()) {
            used.insert(letter);
        } else {
            fresh.push_back(&entry);
        }
    }
    // Letters given before stay while they are still free.
    for (const Entry* entry : ours) {
        const QChar letter = QtMnemonics::letterOf(entry->text);
        if (!letter.isNull() && !used.contains(letter)) {
            used.insert(letter);
        } else {
            fresh.push_back(entry);
        }
    }
    // A control whose title changed keeps its letter where the new title allows (a check box
    // that reads "Select All" and then "Deselect All" answers one Alt+letter): those go first.
    std::stable_partition(fresh.begin(), fresh.end(), [](const Entry* entry) {
        return !QtMnemonics::letterOf(entry->object->property(kMarkedProperty).toString()).isNull();
    });
    for (const Entry* entry : fresh) {
        const QString plain = storedPlain(entry->object, entry->text);
        const QChar previous = QtMnemonics::letterOf(entry->object->property(kMarkedProperty).toString());
        QString marked = QtMnemonics::markWith(plain, previous, used);
        if (marked.isEmpty()) {
            marked = QtMnemonics::mark(plain, entry->hint, used);
        }
        entry->object->setProperty(kPlainProperty, plain);
        entry->object->setProperty(kMarkedProperty, marked);
        if (marked != entry->text) {
            setText(*entry, marked, plain);
        }
    }
}

void collectMenu(QMenu* menu)
{
    std::vector<Entry> entries;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator() || action->text().isEmpty()) {
            continue;
        }
        entries.push_back({action, action->text(), action->objectName(), true});
        if (QMenu* submenu = action->menu()) {
            collectMenu(submenu);
        }
    }
    assignSet(entries);
}

}  // namespace

QString QtMnemonics::mark(const QString& plain, const QString& hint, QSet<QChar>& used)
{
    for (qsizetype position : candidatePositions(plain)) {
        const QChar letter = plain.at(position).toUpper();
        if (!used.contains(letter)) {
            used.insert(letter);
            return escaped(plain.left(position)) + QLatin1Char('&') + escaped(plain.mid(position));
        }
    }
    QString letters;
    for (QChar c : hint) {
        if (isLatinLetter(c)) {
            letters += c.toUpper();
        }
    }
    letters += QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
    for (QChar letter : letters) {
        if (!used.contains(letter)) {
            used.insert(letter);
            return withSuffix(plain, letter);
        }
    }
    return escaped(plain);
}

QString QtMnemonics::markWith(const QString& plain, QChar letter, QSet<QChar>& used)
{
    if (letter.isNull() || used.contains(letter)) {
        return QString();
    }
    const std::vector<qsizetype> positions = candidatePositions(plain);
    if (positions.empty()) {
        used.insert(letter);
        return withSuffix(plain, letter);
    }
    for (qsizetype position : positions) {
        if (plain.at(position).toUpper() == letter) {
            used.insert(letter);
            return escaped(plain.left(position)) + QLatin1Char('&') + escaped(plain.mid(position));
        }
    }
    return QString();
}

QChar QtMnemonics::letterOf(const QString& marked)
{
    for (qsizetype i = 0; i + 1 < marked.size(); ++i) {
        if (marked.at(i) != QLatin1Char('&')) {
            continue;
        }
        if (marked.at(i + 1) == QLatin1Char('&')) {
            ++i;
            continue;
        }
        if (marked.at(i + 1).isLetterOrNumber()) {
            return marked.at(i + 1).toUpper();
        }
    }
    return QChar();
}

void QtMnemonics::assign(QWidget* window)
{
    if (!window) {
        return;
    }
    std::vector<Entry> windowSet;
    for (QMenuBar* bar : window->findChildren<QMenuBar*>()) {
        if (bar->window() != window) {
            continue;
        }
        for (QAction* action : bar->actions()) {
            if (action->isSeparator() || action->text().isEmpty()) {
                continue;
            }
            const QString hint = action->menu() ? action->menu()->objectName() : action->objectName();
            windowSet.push_back({action, action->text(), hint, true});
            if (QMenu* menu = action->menu()) {
                collectMenu(menu);
            }
        }
    }
    // The default button first, then the others in the order Tab visits them, then those Tab
    // never reaches.
    std::vector<QAbstractButton*> buttons;
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->isDefault() && button->window() == window) {
            buttons.push_back(button);
        }
    }
    for (QWidget* w = window->nextInFocusChain(); w && w != window; w = w->nextInFocusChain()) {
        auto* button = qobject_cast<QAbstractButton*>(w);
        if (button && button->window() == window && std::find(buttons.begin(), buttons.end(), button) == buttons.end()) {
            buttons.push_back(button);
        }
    }
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (button->window() == window && std::find(buttons.begin(), buttons.end(), button) == buttons.end()) {
            buttons.push_back(button);
        }
    }
    for (QAbstractButton* button : buttons) {
        if (!button->text().isEmpty()) {
            const QVariant hint = button->property(kHintProperty);
            windowSet.push_back({button, button->text(), hint.isValid() ? hint.toString() : button->objectName(), false});
        }
    }
    assignSet(windowSet);
}

QString QtMnemonics::plainText(const QWidget* button)
{
    const auto* b = qobject_cast<const QAbstractButton*>(button);
    return b ? storedPlain(b, b->text()) : QString();
}

QString QtMnemonics::plainText(const QAction* action)
{
    return action ? storedPlain(action, action->text()) : QString();
}

QChar QtMnemonics::letterOf(const QWidget* button)
{
    const auto* b = qobject_cast<const QAbstractButton*>(button);
    return b ? letterOf(b->text()) : QChar();
}

QChar QtMnemonics::letterOf(const QAction* action)
{
    return action ? letterOf(action->text()) : QChar();
}

}  // namespace platform::qt
