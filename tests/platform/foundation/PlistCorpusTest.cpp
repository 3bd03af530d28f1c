// Every property list of the shared corpus, read as python3's plistlib reads it, and written
// back as plistlib writes it (reals aside, which take the platform's form).

#include "platform/foundation/PlistEncoding.h"
#include "platform/foundation/PropertyList.h"

#include "platform/foundation/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

using namespace platform;
namespace fs = std::filesystem;

namespace {

const std::string kCorpus = std::string(SHARED_DIR) + "/corpus/plist";

// Where this reader answers otherwise than plistlib, and why.
enum class Differs { ReadsUidAsInteger, RefusesSelfReference, RefusesTextInPlist, ReadsDateBeyondYear9999 };

const std::map<std::string, Differs> kExceptions = {
    // Keyed archives hold UIDs, which the value tree reads as their numbers.
    {"cpython__TESTDATA_KEYED_ARCHIVE.bplist", Differs::ReadsUidAsInteger},
    {"libplist__test__data__uid.bplist", Differs::ReadsUidAsInteger},
    {"libs-base__Tests__base__NSArchiver__eszett1.plist", Differs::ReadsUidAsInteger},
    {"libs-base__Tests__base__NSArchiver__eszett2.plist", Differs::ReadsUidAsInteger},
    {"node-bplist-parser__test__uid.bplist", Differs::ReadsUidAsInteger},
    {"rust-plist__tests__data__binary_NSKeyedArchiver.plist", Differs::ReadsUidAsInteger},
    {"swift-corelibs-foundation__Tests__Foundation__Resources__NSKeyedUnarchiver-ComplexTest.plist",
     Differs::ReadsUidAsInteger},
    // Binary containers that hold themselves: plistlib builds a cycle, the value tree cannot.
    {"libplist__test__data__recursion.bplist", Differs::RefusesSelfReference},
    {"libs-base__Tests__base__PropertyLists__cyclic.plist", Differs::RefusesSelfReference},
    {"rust-plist__tests__data__binary_circular_array.plist", Differs::RefusesSelfReference},
    // Python's datetime ends with the year 9999; the value tree holds any finite date.
    {"cpython__invalid_too_large_datetime_datetime_overflow_.bplist", Differs::ReadsDateBeyondYear9999},
    // Character data directly inside <plist>: plistlib ignores it and answers no value at all.
    {"rust-plist__tests__data__xml_entity_error.plist", Differs::RefusesTextInPlist},
};

std::string hex(std::string_view bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        out += kDigits[static_cast<unsigned char>(c) >> 4];
        out += kDigits[static_cast<unsigned char>(c) & 15];
    }
    return out;
}

// The same pre-order listing that plist_expectations.py writes.
void dump(const PlistValue& value, std::string& out)
{
    switch (value.type()) {
    case PlistValue::Type::String: out += "s " + hex(*value.asString()) + "\n"; break;
    case PlistValue::Type::Integer:
        out += "i " + (value.asInteger() ? std::to_string(*value.asInteger()) : std::to_string(*value.asUnsignedInteger()))
               + "\n";
        break;
    case PlistValue::Type::Real: out += "r " + plist::formatReal(*value.asReal()) + "\n"; break;
    case PlistValue::Type::Boolean: out += std::string("b ") + (*value.asBoolean() ? "1" : "0") + "\n"; break;
    case PlistValue::Type::Date:
        out += "d " + std::to_string(std::llround(value.asDate()->secondsSinceReference * 1e6)) + "\n";
        break;
    case PlistValue::Type::Data: {
        const auto& bytes = value.asData()->bytes;
        out += "x " + hex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())) + "\n";
        break;
    }
    case PlistValue::Type::Array:
        out += "a " + std::to_string(value.asArray()->size()) + "\n";
        for (const PlistValue& item : *value.asArray())
            dump(item, out);
        break;
    case PlistValue::Type::Dictionary: {
        const PlistDictionary& dict = *value.asDictionary();
        out += "D " + std::to_string(dict.size()) + "\n";
        std::vector<std::size_t> order(dict.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return dict.keyAt(a) < dict.keyAt(b); });
        for (const std::size_t i : order) {
            out += "k " + hex(dict.keyAt(i)) + "\n";
            dump(dict.valueAt(i), out);
        }
        break;
    }
    }
}

std::optional<std::string> contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class PlistCorpus : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_expected = new foundation_test::TempFolder();
        const std::string command = std::string("'") + PYTHON3 + "' '" + SOURCE_DIR
                                    + "/tests/platform/foundation/plist_expectations.py' '" + kCorpus + "' '"
                                    + s_expected->path() + "'";
        s_generated = std::system(command.c_str()) == 0;
    }
    static void TearDownTestSuite()
    {
        delete s_expected;
        s_expected = nullptr;
    }

    static std::string expectation(const std::string& name, const char* kind) { return *s_expected / (name + kind); }

    static foundation_test::TempFolder* s_expected;
    static bool s_generated;
};

foundation_test::TempFolder* PlistCorpus::s_expected = nullptr;
bool PlistCorpus::s_generated = false;

}  // namespace

TEST_F(PlistCorpus, EveryFileReadsAsPlistlibReadsItAndWritesAsItWrites)
{
    ASSERT_TRUE(s_generated) << "plist_expectations.py failed";
    std::size_t compared = 0;
    std::size_t written = 0;
    for (const auto& entry : fs::directory_iterator(kCorpus)) {
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        const auto bytes = contents(entry.path().string());
        ASSERT_TRUE(bytes);
        const std::optional<PlistValue> ours = parsePropertyList(*bytes);
        const auto exception = kExceptions.find(name);
        if (exception != kExceptions.end()) {
            const bool reads = exception->second == Differs::ReadsUidAsInteger
                               || exception->second == Differs::ReadsDateBeyondYear9999;
            EXPECT_EQ(ours.has_value(), reads);
            continue;
        }
        if (fs::exists(expectation(name, ".refused"))) {
            EXPECT_FALSE(ours) << "plistlib refuses it: " << contents(expectation(name, ".refused")).value_or("");
            continue;
        }
        EXPECT_FALSE(fs::exists(expectation(name, ".skip"))) << "an exception that the table does not name";
        const auto values = contents(expectation(name, ".values"));
        ASSERT_TRUE(values);
        ASSERT_TRUE(ours) << "plistlib reads it";
        std::string dumped;
        dump(*ours, dumped);
        EXPECT_EQ(dumped, *values);
        ++compared;
        if (const auto xml = contents(expectation(name, ".xml"))) {
            EXPECT_EQ(xmlPropertyList(*ours), *xml);
            ++written;
        }
    }
    // The corpus holds well over a hundred files; most must really have been compared.
    EXPECT_GE(compared, 80u);
    EXPECT_GE(written, 80u);
}
