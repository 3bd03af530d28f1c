// Every file of the shared hostile inputs, answered the way any bad property list is answered.

#include "platform/foundation/PropertyList.h"

#include "platform/foundation/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <vector>

using namespace platform;
using foundation_test::readAll;
using foundation_test::TempFolder;
namespace fs = std::filesystem;

namespace {

const std::string kHostile = std::string(SHARED_DIR) + "/hostile-inputs";
const std::string kHostileFourthRound = std::string(SHARED_DIR) + "/hostile-inputs-4";

// How a file is answered: refused with a reason, or read because it is a property list whose
// harm lay elsewhere.
struct Answer {
    enum Kind { Refused, Reads, ReadsButNotAsXml } kind = Refused;
    PlistReadFailure failure = PlistReadFailure::Malformed;
};

// Files not named here are refused as malformed.
const std::map<std::string, Answer> kAnswers = {
    // 200,000 "&amp;" in one string: a sound document, read in one linear pass.
    {"F4-entities-amp-1MB.xml", {Answer::Reads, PlistReadFailure::None}},
    // Shared objects that copied per reference would decode to hundreds of megabytes. F7a and
    // F7b are refused as malformed, for their "ASCII" strings hold bytes above 0x7F. F7c now
    // reads: each of its objects is read once and shared, so it costs what the file holds. Its
    // XML form, which cannot share, would pass the reader's size limit and is not written.
    {"F7c-registry-bignames-405KB.bplist", {Answer::ReadsButNotAsXml, PlistReadFailure::None}},
    // A NUL inside a binary string reads, but the XML form cannot hold it.
    {"F9-binary-nul-string-xml-unreadable.bplist", {Answer::ReadsButNotAsXml, PlistReadFailure::None}},
    // A registry naming one module twice is a sound property list: it reads, with the last value
    // for the key (PlistSelectionTest checks that every read gives that one answer).
    {"I2-registry-repeated-module-key.xml", {Answer::Reads, PlistReadFailure::None}},
    {"I2-registry-repeated-module-key.bplist", {Answer::Reads, PlistReadFailure::None}},
    // Reals out of range read as their magnitude rounds: zero or infinity.
    {"I3-reals-out-of-range.xml", {Answer::Reads, PlistReadFailure::None}},
    // One string referred to 20 times, as ordinary writers store it: read once and shared, it
    // now reads.
    {"I5-shared-string-20-references.bplist", {Answer::Reads, PlistReadFailure::None}},
    // A registry whose one list is reached under two selections in turn: sound, and read alike
    // whole and selected (PlistReadAgreementTest checks that).
    {"M4-registry-crossing-selection.bplist", {Answer::Reads, PlistReadFailure::None}},
    // 250 levels of arrays that hold the next level twice: 2^250 values as a tree, 251 shared
    // blocks as read. The XML form, which cannot share, would pass the size the reader takes.
    {"M7-deep-sharing-250-levels.bplist", {Answer::ReadsButNotAsXml, PlistReadFailure::None}},
};

}  // namespace

TEST(PlistHostileInputs, EveryFileIsAnsweredAsBadInput)
{
    std::size_t seen = 0;
    std::vector<fs::directory_entry> files;
    for (const std::string& folder : {kHostile, kHostileFourthRound}) {
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            files.push_back(entry);
    }
    for (const auto& entry : files) {
        if (!entry.is_regular_file() || entry.path().extension() == ".md")
            continue;
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(entry.path().string());
        ++seen;
        const auto found = kAnswers.find(name);
        const Answer answer = found == kAnswers.end() ? Answer{} : found->second;
        PlistReadFailure failure = PlistReadFailure::None;
        const std::optional<PlistValue> value = readPropertyListFile(entry.path().string(), nullptr, &failure);
        EXPECT_EQ(failure, answer.failure);
        ASSERT_EQ(value.has_value(), answer.kind != Answer::Refused);
        EXPECT_EQ(parsePropertyList(readAll(entry.path().string())).has_value(), value.has_value());
        if (!value)
            continue;
        // What reads must write back in a form that reads again, or not be written at all.
        TempFolder temp;
        const std::string path = temp.write("copy.plist", "earlier");
        const bool xmlWritten = writeToFile(*value, path, true);
        EXPECT_EQ(xmlWritten, answer.kind == Answer::Reads);
        if (xmlWritten) {
            EXPECT_EQ(readPropertyListFile(path), value);
        } else {
            EXPECT_EQ(readAll(path), "earlier");
        }
        EXPECT_EQ(parsePropertyList(binaryPropertyList(*value)), value);
    }
    EXPECT_GE(seen, 23u);
}

TEST(PlistHostileInputs, F4ReadsAsItsText)
{
    const auto value = readPropertyListFile(kHostile + "/F4-entities-amp-1MB.xml");
    ASSERT_TRUE(value && value->asString());
    EXPECT_EQ(*value->asString(), std::string(200000, '&'));
}
