// The lines between ScriptHelper and its readers.

#include "UnInstaller/resources/ScriptHelper/DeadlineOutput.h"
#include "UnInstaller/resources/ScriptHelper/RemovalProtocol.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>

#include <fcntl.h>
#include <unistd.h>

namespace {

using scripthelper::RemovalEvent;
using Kind = RemovalEvent::Kind;

struct LineCase {
    const char* name;
    RemovalEvent event;
    const char* line;
};

class ProtocolLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(ProtocolLine, IsWrittenAsDocumentedAndReadBack)
{
    const LineCase& c = GetParam();
    EXPECT_EQ(c.event.line(), c.line);
    const auto back = RemovalEvent::parse(std::string(c.line) + "\n");
    ASSERT_TRUE(back.has_value()) << c.line;
    EXPECT_EQ(back->kind, c.event.kind);
    EXPECT_EQ(back->id, c.event.id);
    EXPECT_EQ(back->text, c.event.text.empty() && c.event.kind != Kind::RegistryUpdated && c.event.kind != Kind::Total &&
                                  c.event.kind != Kind::Module && c.event.kind != Kind::End
                              ? "-"
                              : c.event.text);
    EXPECT_EQ(back->first, c.event.first);
    EXPECT_EQ(back->second, c.event.second);
    EXPECT_EQ(back->third, c.event.third);
}

INSTANTIATE_TEST_SUITE_P(
    Events, ProtocolLine,
    ::testing::Values(
        LineCase{"Total", RemovalEvent::total(12), "total 12"},
        LineCase{"Module", RemovalEvent::module(3, 12, "8C1F-00"), "module 3 12 8C1F-00"},
        LineCase{"ModuleWithoutIdentifier", RemovalEvent::module(1, 1, ""), "module 1 1 -"},
        LineCase{"RemovedPathWithBlanks", RemovalEvent::withId(Kind::Removed, "A", "/Library/Printers/Tavix/A b/c"),
                 "removed A /Library/Printers/Tavix/A b/c"},
        LineCase{"AbsentUnlisted", RemovalEvent::withId(Kind::Absent, "A", "-"), "absent A -"},
        LineCase{"KeptIdentifierWithBlankAndPercent", RemovalEvent::withId(Kind::Kept, "a b%c", "is outside"),
                 "kept a%20b%25c is outside"},
        LineCase{"IdentifierThatIsADash", RemovalEvent::withId(Kind::Kept, "-", "x"), "kept %2D x"},
        LineCase{"Recovered", RemovalEvent::withId(Kind::Recovered, "A", "/p"), "recovered A /p"},
        LineCase{"WouldRemove", RemovalEvent::withId(Kind::WouldRemove, "A", "/p"), "would-remove A /p"},
        LineCase{"WouldRemoveFolder", RemovalEvent::withText(Kind::WouldRemoveFolder, "/p"), "would-remove-folder /p"},
        LineCase{"FolderRemoved", RemovalEvent::withText(Kind::FolderRemoved, "/p"), "folder-removed /p"},
        LineCase{"RegistryUpdated", RemovalEvent::withText(Kind::RegistryUpdated, ""), "registry-updated"},
        LineCase{"Refused", RemovalEvent::withText(Kind::Refused, "plan /p is missing"), "refused plan /p is missing"},
        LineCase{"Busy", RemovalEvent::withText(Kind::Busy, "another removal is running"),
                 "busy another removal is running"},
        LineCase{"End", RemovalEvent::end(7, 2, 1), "end 7 2 1"}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST(ProtocolLineText, ControlAndBidirectionalCharactersCannotDisguiseALine)
{
    // U+202E (right-to-left override), U+200F (right-to-left mark), U+2066 (left-to-right isolate).
    const std::string text = "/a\xe2\x80\xae" "gpj.exe\xe2\x80\x8f\xe2\x81\xa6\n" "removed X /etc";
    const std::string line = RemovalEvent::withId(Kind::Kept, "\xe2\x80\xae" "id", text).line();
    EXPECT_EQ(line, "kept %E2%80%AEid /a<U+202E>gpj.exe<U+200F><U+2066>?removed X /etc");
    EXPECT_EQ(line.find('\n'), std::string::npos);
    const auto back = RemovalEvent::parse(line);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->id, "\xe2\x80\xae" "id");
}

TEST(ProtocolLineText, PrintableKeepsOrdinaryTextOfAnyScript)
{
    EXPECT_EQ(scripthelper::printable("Caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xd8\xb9\xd8\xb1\xd8\xa8\xd9\x8a"),
              "Caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xd8\xb9\xd8\xb1\xd8\xa8\xd9\x8a");
    EXPECT_EQ(scripthelper::printable("a\x1b[2Jb\x7f\xc2\x85"), "a?[2Jb??");
}

TEST(ProtocolLineText, AnythingElseIsNoEvent)
{
    for (const char* line : {"", "removed", "removed A", "total", "total x", "total 1 2", "module 1 2", "end 1 2",
                             "end 1 2 x", "kept a%2 reason", "kept a%zz reason", "registry-updated now", "refused",
                             "Removed A /p", "removed  /p"}) {
        EXPECT_FALSE(RemovalEvent::parse(line).has_value()) << '"' << line << '"';
    }
}

}  // namespace

namespace {

// A reader that stops reading must not hold up a run that holds every other run's lock.
TEST(DeadlineOutput, GivesUpOnAReaderThatStopsAndGoesOn)
{
    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    bool abandoned = false;
    {
        scripthelper::DeadlineOutput output(channel[1], std::chrono::milliseconds(200));
        std::ostream out(&output);
        // Far more than a pipe holds, one line at a time, and nobody reads.
        for (int i = 0; i < 5000 && !output.abandoned(); ++i)
            out << "module " << i << " 5000 " << std::string(80, 'x') << '\n' << std::flush;
        abandoned = output.abandoned();
        out << "end 0 0 0\n" << std::flush;
    }
    EXPECT_TRUE(abandoned);
    // What was written before is intact and ends on a whole line.
    std::string read;
    char buffer[4096];
    ::fcntl(channel[0], F_SETFL, O_NONBLOCK);
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        read.append(buffer, static_cast<std::size_t>(n));
    EXPECT_FALSE(read.empty());
    EXPECT_EQ(read.rfind("module 0 5000 ", 0), 0u);
    ::close(channel[0]);
    ::close(channel[1]);
}

}  // namespace

namespace {

// Every byte of the output is kept: a NUL neither cuts a line short nor joins it to the next.
TEST(ProtocolLines, KeepEveryByteAndRefuseLinesHoldingNul)
{
    const std::string output = "total 2\nremoved A /p\n" + std::string("kept B a\0b\n", 11) + "removed C " +
                               std::string(5000, 'x') + "\nend 1 0 1";
    std::FILE* stream = ::fmemopen(const_cast<char*>(output.data()), output.size(), "r");
    ASSERT_NE(stream, nullptr);
    std::vector<std::string> taken;
    std::vector<std::string> refused;
    scripthelper::readProtocolLines(
        stream, [&](const std::string& line) { taken.push_back(line); },
        [&](const std::string& line) { refused.push_back(line); });
    std::fclose(stream);
    ASSERT_EQ(taken.size(), 4u);
    EXPECT_EQ(taken[0], "total 2");
    EXPECT_EQ(taken[1], "removed A /p");
    EXPECT_EQ(taken[2], "removed C " + std::string(5000, 'x'));
    EXPECT_EQ(taken[3], "end 1 0 1");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0], std::string("kept B a\0b", 10));
}

}  // namespace
