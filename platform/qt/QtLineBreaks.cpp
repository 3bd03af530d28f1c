#include "platform/qt/QtLineBreaks.h"

namespace platform::qt {

namespace {

constexpr char16_t kWordJoiner = 0x2060;
constexpr char16_t kNoBreakSpace = 0x00A0;

bool isHangul(char16_t c)
{
    return (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0x1100 && c <= 0x11FF) || (c >= 0x3130 && c <= 0x318F);
}

bool isIdeograph(char16_t c)
{
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x3000 && c <= 0x30FF) ||
           (c >= 0xFF00 && c <= 0xFFEF);
}

bool isLatinRunChar(char16_t c)
{
    return c >= 0x20 && c < 0x7F;
}

// Places in a Latin run where a break could fall: spaces become no-break spaces, and a joiner
// follows every other character that a line may end with.
QString heldTogether(const QString& run)
{
    QString out;
    for (qsizetype i = 0; i < run.size(); ++i) {
        const QChar c = run.at(i);
        if (c == QLatin1Char(' ')) {
            out += QChar(kNoBreakSpace);
            continue;
        }
        out += c;
        if (i + 1 < run.size() && run.at(i + 1) != QLatin1Char(' ') && !c.isLetterOrNumber()) {
            out += QChar(kWordJoiner);
        }
    }
    return out;
}

bool isOpeningBracket(QChar c)
{
    return c == QLatin1Char('(') || c == QChar(0xFF08);
}

bool isClosingBracket(QChar c)
{
    return c == QLatin1Char(')') || c == QChar(0xFF09);
}

// A command in brackets, "(journalctl -t Plugsweep)", held on one line: Latin text of at most
// kLongestKeptRun characters with an option in it.
QString commandsHeldTogether(const QString& text)
{
    QString out;
    qsizetype i = 0;
    while (i < text.size()) {
        if (isOpeningBracket(text.at(i))) {
            qsizetype end = i + 1;
            while (end < text.size() && isLatinRunChar(text.at(end).unicode()) && !isClosingBracket(text.at(end))) {
                ++end;
            }
            const QString inside = text.mid(i + 1, end - i - 1);
            if (end < text.size() && isClosingBracket(text.at(end)) &&
                inside.size() <= QtLineBreaks::kLongestKeptRun && inside.contains(QStringLiteral(" -"))) {
                out += text.at(i) + heldTogether(inside) + text.at(end);
                i = end + 1;
                continue;
            }
        }
        out += text.at(i);
        ++i;
    }
    return out;
}

}  // namespace

QString QtLineBreaks::keepWordsTogether(const QString& text)
{
    bool asian = false;
    for (QChar c : text) {
        if (isHangul(c.unicode()) || isIdeograph(c.unicode())) {
            asian = true;
            break;
        }
    }
    if (!asian) {
        return commandsHeldTogether(text);
    }
    QString out;
    out.reserve(text.size() * 2);
    qsizetype i = 0;
    while (i < text.size()) {
        const char16_t c = text.at(i).unicode();
        if (isLatinRunChar(c) && c != u' ') {
            // A run of Latin text, without the spaces around it.
            qsizetype end = i;
            while (end < text.size() && isLatinRunChar(text.at(end).unicode())) {
                ++end;
            }
            qsizetype last = end;
            while (last > i && text.at(last - 1) == QLatin1Char(' ')) {
                --last;
            }
            const QString run = text.mid(i, last - i);
            // A Korean particle written onto the run ("Plugsweep을") stays with it.
            if (i > 0 && isHangul(text.at(i - 1).unicode())) {
                out += QChar(kWordJoiner);
            }
            out += run.size() <= kLongestKeptRun ? heldTogether(run) : run;
            if (last < text.size() && isHangul(text.at(last).unicode())) {
                out += QChar(kWordJoiner);
            }
            i = last;
            continue;
        }
        out += text.at(i);
        if (isHangul(c) && i + 1 < text.size() && isHangul(text.at(i + 1).unicode())) {
            out += QChar(kWordJoiner);
        }
        ++i;
    }
    return out;
}

}  // namespace platform::qt
