// The window's alerts around a removal, apart from the window: names shortened for an alert, the
// reasons of a plan that could not be written, the progress texts.

#include "UnInstaller/common/RemovalReport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

/// One text and what an alert shows of it.
struct ShortenCase {
    const char* name;
    std::string text;
    std::size_t longest;
    std::string shown;
};

class RemovalReportShortened : public ::testing::TestWithParam<ShortenCase> {};

TEST_P(RemovalReportShortened, KeepsTheBeginningAndTheEndOfWholeCharacters)
{
    EXPECT_EQ(RemovalReport::shortened(GetParam().text, GetParam().longest), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RemovalReportShortened,
    ::testing::Values(ShortenCase{"ShortTextIsWhole", "Alpha vLX", 9, "Alpha vLX"},
                      ShortenCase{"LongTextIsCutInTheMiddle", "abcdefghijkl", 7, "abc…jkl"},
                      ShortenCase{"EvenRoomGivesTheEndOneMore", "abcdefghijkl", 6, "ab…jkl"},
                      ShortenCase{"WideCharactersAreNeverSplit", "印刷プラグインモジュール", 5, "印刷…ール"},
                      ShortenCase{"HugeNameIsBounded", std::string(400000, 'n') + " vLX", 9, "nnnn… vLX"}),
    [](const ::testing::TestParamInfo<ShortenCase>& info) { return std::string(info.param.name); });

RemovalReport englishReport()
{
    return RemovalReport([](const std::string& key) { return "<" + key + ">"; }, nullptr, "en");
}

/// An error number a failed write leaves, and the text that says it.
struct FailureCase {
    const char* name;
    int error;
    std::string said;
};

class RemovalReportWriteFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(RemovalReportWriteFailure, SaysWhyInTheWindowsWords)
{
    EXPECT_EQ(englishReport().writeFailure(GetParam().error), GetParam().said);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, RemovalReportWriteFailure,
    ::testing::Values(FailureCase{"FolderInTheWay", EISDIR, "<STEXT_REASON_FOLDER_IN_THE_WAY>"},
                      FailureCase{"NoPermission", EACCES, "<STEXT_REASON_NO_PERMISSION>"},
                      FailureCase{"DiskFull", ENOSPC, "<STEXT_REASON_DISK_FULL>"},
                      FailureCase{"OtherErrorsInTheSystemsWords", EIO, std::strerror(EIO)},
                      FailureCase{"NoErrorNumber", 0, "<STEXT_REASON_UNKNOWN>"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST(RemovalReportTexts, TheProgressLineShowsALongNameShortenedAndTheWaitItsLongest)
{
    const RemovalReport report(
        [](const std::string& key) {
            return key == "STEXT_PROGRESS" ? std::string("%@/%@ %@")
                   : key == "STEXT_PROGRESS_WAITING" ? std::string("wait %@ s")
                                                     : key;
        },
        nullptr, "en");
    const RemovalSession::Texts texts = report.progressTexts();
    EXPECT_EQ(texts.waiting, "wait 30 s");
    const std::string line = texts.progress(1200, 2000, std::string(5000, 'x'));
    EXPECT_EQ(line.rfind("1,200/2,000 xxx", 0), 0u) << line;
    EXPECT_LT(line.size(), 200u);
    EXPECT_NE(line.find("…"), std::string::npos);
}

}  // namespace
