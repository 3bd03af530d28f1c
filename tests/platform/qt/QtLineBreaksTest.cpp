// Line breaking in Korean and Chinese alerts: Korean words and Latin runs (paths, commands,
// names) are held together by word joiners; other texts are left alone. The wrapped layout is
// checked too, with the toolkit's own line breaking. Runs in the QApplication of QtInterfaceTest.cpp.
#include "platform/qt/QtAlertAccessible.h"
#include "platform/qt/QtLineBreaks.h"
#include "platform/qt/QtMnemonics.h"

#include <QAccessible>
#include <QFont>
#include <QMessageBox>
#include <QPushButton>
#include <QTextLayout>

#include <gtest/gtest.h>

namespace platform::qt {
namespace {

const QChar kJoiner(0x2060);

// The lines of text laid out in the given width, joiners removed.
QStringList wrapped(const QString& text, qreal width)
{
    QTextLayout layout(text, QFont(QStringLiteral("WenQuanYi Micro Hei"), 11));
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList lines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines << text.mid(line.textStart(), line.textLength()).remove(kJoiner).replace(QChar(0x00A0), QLatin1Char(' ')).trimmed();
    }
    layout.endLayout();
    return lines;
}

TEST(QtLineBreaks, LeavesTextsWithoutHangulOrIdeographsAloneButForABracketedCommand)
{
    for (const char* text : {"Some modules could not be removed (see the log).",
                             "Certains modules n’ont pas pu être supprimés.", "(/Library/Printers/Tavix)", ""}) {
        EXPECT_EQ(QtLineBreaks::keepWordsTogether(QString::fromUtf8(text)), QString::fromUtf8(text));
    }
    const QString held = QtLineBreaks::keepWordsTogether(QStringLiteral("See the log (journalctl -t Plugsweep)."));
    EXPECT_EQ(QString(held).remove(kJoiner).replace(QChar(0x00A0), QLatin1Char(' ')),
              QStringLiteral("See the log (journalctl -t Plugsweep)."));
    EXPECT_TRUE(held.startsWith(QStringLiteral("See the log "))) << "the sentence may still wrap";
}

/// The log hint of a language whose words are spaced with blanks.
struct LogHintCase {
    const char* name;
    const char* text;
};

class LogHint : public ::testing::TestWithParam<LogHintCase> {};

TEST_P(LogHint, KeepsTheCommandOnOneLineAtAnyWidth)
{
    for (qreal width : {90.0, 120.0, 160.0, 200.0, 240.0, 300.0}) {
        const QStringList lines = wrapped(QtLineBreaks::keepWordsTogether(QString::fromUtf8(GetParam().text)), width);
        const bool together = std::any_of(lines.begin(), lines.end(), [](const QString& line) {
            return line.contains(QStringLiteral("journalctl -t Plugsweep"));
        });
        EXPECT_TRUE(together) << width << ": " << lines.join(QLatin1Char('|')).toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Languages, LogHint,
    ::testing::Values(
        LogHintCase{"German", "Die Einzelheiten stehen im Systemprotokoll (journalctl -t Plugsweep)."},
        LogHintCase{"French", "Les détails ont été écrits dans le journal système (journalctl -t Plugsweep)."},
        LogHintCase{"Italian", "I dettagli sono stati scritti nel registro di sistema (journalctl -t Plugsweep)."},
        LogHintCase{"Spanish", "Los detalles se han escrito en el registro del sistema (journalctl -t Plugsweep)."},
        LogHintCase{"English", "The details were written to the system log (journalctl -t Plugsweep)."}),
    [](const ::testing::TestParamInfo<LogHintCase>& info) { return std::string(info.param.name); });

TEST(QtLineBreaks, JoinsTheSyllablesOfEachKoreanWordAndKeepsTheSpaces)
{
    const QString held = QtLineBreaks::keepWordsTogether(QString::fromUtf8("시스템 로그에 기록"));
    EXPECT_EQ(held, QString::fromUtf8("시\u2060스\u2060템 로\u2060그\u2060에 기\u2060록"));
    EXPECT_EQ(QString(held).remove(kJoiner), QString::fromUtf8("시스템 로그에 기록"));
}

TEST(QtLineBreaks, KeepsACommandOrPathInAKoreanOrChineseTextOnOneLine)
{
    const QString korean = QString::fromUtf8(
        "선택한 모듈 중 3개를 제거하지 못했습니다. 자세한 내용은 시스템 로그에 기록되었습니다(journalctl -t Plugsweep).");
    const QString chinese =
        QString::fromUtf8("所选模块中有 3 个未能删除。详细信息已写入系统日志（journalctl -t Plugsweep）。/Library/Printers/Tavix");
    for (const QString& text : {korean, chinese}) {
        for (qreal width : {120.0, 160.0, 200.0, 260.0}) {
            const QStringList lines = wrapped(QtLineBreaks::keepWordsTogether(text), width);
            const bool together = std::any_of(lines.begin(), lines.end(), [](const QString& line) {
                return line.contains(QStringLiteral("journalctl -t Plugsweep"));
            });
            EXPECT_TRUE(together) << width << ": " << lines.join(QLatin1Char('|')).toStdString();
        }
    }
    for (qreal width : {120.0, 160.0, 200.0}) {
        for (const QString& line : wrapped(QtLineBreaks::keepWordsTogether(korean), width)) {
            for (const char* word : {"기록되었습니다", "로그에", "제거하지", "못했습니다."}) {
                const QString w = QString::fromUtf8(word);
                // A word is either whole on the line or not on it at all.
                for (qsizetype cut = 1; cut < w.size(); ++cut) {
                    const bool endsWithHead = line.endsWith(w.left(cut)) && !line.endsWith(w);
                    const bool startsWithTail = line.startsWith(w.mid(cut)) && !line.startsWith(w);
                    EXPECT_FALSE(endsWithHead && cut > 1 && !line.contains(w))
                        << width << " splits " << word << " in: " << line.toStdString();
                    (void)startsWithTail;
                }
            }
        }
    }
}

TEST(QtLineBreaks, ALongLatinSentenceMayStillWrap)
{
    const QString sentence(QtLineBreaks::kLongestKeptRun + 10, QLatin1Char('a'));
    const QString text = QString::fromUtf8("설명: ") + QString(sentence).replace(5, 1, QLatin1Char(' '));
    EXPECT_FALSE(QtLineBreaks::keepWordsTogether(text).mid(4).contains(kJoiner));
}

TEST(QtAlertAccessible, AnAlertIsNamedByItsTitleAndItsMessageIsReadOnceFromItsLabel)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Plugsweep"),
                    QtLineBreaks::keepWordsTogether(QString::fromUtf8("모듈을 제거하지 못했습니다")));
    box.setInformativeText(QtLineBreaks::keepWordsTogether(QString::fromUtf8("시스템 로그(journalctl -t Plugsweep).")));
    QtAlertAccessible::markAsAlert(&box);
    QAccessibleInterface* alert = QAccessible::queryAccessibleInterface(&box);
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->role(), QAccessible::AlertMessage);
    EXPECT_EQ(alert->text(QAccessible::Name), QString::fromUtf8("모듈을 제거하지 못했습니다")) << "without joiners";
    EXPECT_TRUE(alert->text(QAccessible::Description).isEmpty()) << "the message label is read; not twice";
    // The message is there once: as the text of its label, without the marks.
    int messages = 0;
    for (int i = 0; i < alert->childCount(); ++i) {
        const QString name = alert->child(i)->text(QAccessible::Name);
        if (name.contains(QStringLiteral("journalctl"))) {
            ++messages;
            EXPECT_EQ(name, QString::fromUtf8("시스템 로그(journalctl -t Plugsweep).")) << name.toStdString();
        }
    }
    EXPECT_EQ(messages, 1);
}

TEST(QtAlertAccessible, OkWithoutLatinLettersTakesTheLetterOOfItsHint)
{
    for (const char* ok : {"확인", "确定", "OK"}) {
        QMessageBox box;
        QPushButton* button = box.addButton(QString::fromUtf8(ok), QMessageBox::AcceptRole);
        button->setProperty(QtMnemonics::kHintProperty, QStringLiteral("ok"));
        QtMnemonics::assign(&box);
        EXPECT_EQ(QtMnemonics::letterOf(button), QChar('O')) << ok << " -> " << button->text().toStdString();
        EXPECT_TRUE(button->objectName().isEmpty());
    }
}

}  // namespace
}  // namespace platform::qt
