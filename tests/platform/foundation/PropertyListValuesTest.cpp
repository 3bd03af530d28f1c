// Values as the platform has them: the integer and date ranges, the real form, key order, the
// encodings and DTD rules of the XML form, and writes that refuse what would not read back.

#include "platform/foundation/PropertyList.h"

#include "platform/foundation/BinaryPlistBuilder.h"
#include "platform/foundation/TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

using namespace platform;
using foundation_test::appendBigEndian;
using foundation_test::binaryPlistFile;
using foundation_test::readAll;
using foundation_test::TempFolder;

namespace {

std::string document(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body + "\n</plist>\n";
}

// A binary list of one object given as its encoded bytes.
std::string bplistOfOne(const std::string& object)
{
    return binaryPlistFile({object}, 1, 1, 0);
}

std::string integerObject(unsigned log2Width, std::uint64_t high, std::uint64_t low)
{
    std::string object(1, static_cast<char>(0x10 | log2Width));
    if (log2Width == 4)
        appendBigEndian(object, high, 8);
    appendBigEndian(object, low, log2Width == 4 ? 8 : 1u << log2Width);
    return object;
}

std::string dateObject(double seconds)
{
    std::uint64_t bits;
    std::memcpy(&bits, &seconds, sizeof bits);
    std::string object = "\x33";
    appendBigEndian(object, bits, 8);
    return object;
}

// "s123" a signed value, "u123" an unsigned one above INT64_MAX, "-" refused.
std::string describeInteger(const std::optional<PlistValue>& value)
{
    if (!value)
        return "-";
    if (const auto* i = value->asInteger())
        return "s" + std::to_string(*i);
    if (const auto* u = value->asUnsignedInteger())
        return "u" + std::to_string(*u);
    return "not an integer";
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

}  // namespace

TEST(PropertyListValues, XmlIntegersCoverMinusTwoToThe63UpToTwoToThe64MinusOne)
{
    const std::pair<const char*, const char*> cases[] = {
        {"0", "s0"},
        {"-0", "s0"},
        {" +42 ", "s42"},
        {"9223372036854775807", "s9223372036854775807"},
        {"9223372036854775808", "u9223372036854775808"},
        {"18446744073709551615", "u18446744073709551615"},
        {"18446744073709551616", "-"},
        {"-9223372036854775808", "s-9223372036854775808"},
        {"-9223372036854775809", "-"},
        {"0x1F", "s31"},
        {"-0x10", "s-16"},
        {"0xFFFFFFFFFFFFFFFF", "u18446744073709551615"},
        {"", "-"},
        {"0x", "-"},
        {"1.5", "-"},
        {"--1", "-"},
        {"12abc", "-"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(describeInteger(parsePropertyList(document(std::string("<integer>") + text + "</integer>"))), expected)
            << text;
}

TEST(PropertyListValues, BinaryIntegersOfSixteenBytesAreUnsignedOrRefused)
{
    const std::pair<std::string, const char*> cases[] = {
        {integerObject(0, 0, 0xFF), "s255"},
        {integerObject(1, 0, 0xFFFF), "s65535"},
        {integerObject(2, 0, 0xFFFFFFFF), "s4294967295"},
        {integerObject(3, 0, 0xFFFFFFFFFFFFFFFF), "s-1"},
        {integerObject(3, 0, 0x8000000000000000), "s-9223372036854775808"},
        {integerObject(4, 0, 0xFFFFFFFFFFFFFFFF), "u18446744073709551615"},
        {integerObject(4, 0, 7), "s7"},
        {integerObject(4, 0x8000000000000000, 7), "-"},
        {integerObject(4, 0xFFFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFF), "-"},
        {integerObject(4, 1, 0), "-"},
    };
    for (const auto& [object, expected] : cases)
        EXPECT_EQ(describeInteger(parsePropertyList(bplistOfOne(object))), expected) << expected;
}

TEST(PropertyListValues, IntegersAtTheEndsOfTheRangeRoundTripInBothForms)
{
    const PlistValue values[] = {PlistValue(std::numeric_limits<std::uint64_t>::max()),
                                 PlistValue(std::uint64_t{9223372036854775808u}),
                                 PlistValue(std::numeric_limits<std::int64_t>::max()),
                                 PlistValue(std::numeric_limits<std::int64_t>::min()), PlistValue(-1)};
    for (const PlistValue& value : values) {
        const PlistArray array{value};
        EXPECT_EQ(parsePropertyList(xmlPropertyList(array)), PlistValue(array)) << describeInteger(value);
        EXPECT_EQ(parsePropertyList(binaryPropertyList(array)), PlistValue(array)) << describeInteger(value);
    }
    EXPECT_NE(xmlPropertyList(values[0]).find("<integer>18446744073709551615</integer>"), std::string::npos);
}

TEST(PropertyListValues, XmlDatesCoverEveryYearAndRoundTrip)
{
    struct Case {
        const char* text;
        std::optional<double> seconds;  // none: refused; NaN: read, value not checked
    };
    const Case cases[] = {
        {"2001-01-01T00:00:00Z", 0},
        {"1900-01-01T00:00:00Z", -3187296000},
        {"1931-12-31T23:59:59Z", -2177539201},
        {"2070-06-01T00:00:00Z", 2190499200},
        {"0001-01-01T00:00:00Z", -63113904000},
        {"9999-12-31T23:59:59Z", 252423993599},
        {"2020-02-29T12:00:00Z", 604670400},
        {"12345-06-07T08:09:10Z", kNaN},
        {"-0044-03-15T12:00:00Z", kNaN},
        {"2021-02-29T00:00:00Z", std::nullopt},
        {"2020-13-01T00:00:00Z", std::nullopt},
        {"2020-01-01T24:00:00Z", std::nullopt},
        {"2020-01-01T00:00:60Z", std::nullopt},
        {"2020-01-01 00:00:00Z", std::nullopt},
        {"2020-01-01T00:00:00", std::nullopt},
        {"20-01-01T00:00:00Z", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto value = parsePropertyList(document(std::string("<date>") + c.text + "</date>"));
        ASSERT_EQ(value.has_value(), c.seconds.has_value());
        if (!value)
            continue;
        ASSERT_TRUE(value->asDate());
        if (!std::isnan(*c.seconds)) {
            EXPECT_EQ(value->asDate()->secondsSinceReference, *c.seconds);
        }
        EXPECT_NE(xmlPropertyList(*value).find(std::string("<date>") + c.text + "</date>"), std::string::npos);
    }
}

TEST(PropertyListValues, BinaryDatesMustBeFinite)
{
    const std::pair<double, bool> cases[] = {
        {0, true}, {-1e12, true}, {1e15, true}, {0.5, true}, {kNaN, false}, {kInfinity, false}, {-kInfinity, false},
    };
    for (const auto& [seconds, reads] : cases) {
        const auto value = parsePropertyList(bplistOfOne(dateObject(seconds)));
        ASSERT_EQ(value.has_value(), reads) << seconds;
        if (value) {
            EXPECT_EQ(value->asDate()->secondsSinceReference, seconds);
            EXPECT_EQ(parsePropertyList(binaryPropertyList(*value)), value);
        }
    }
}

TEST(PropertyListValues, RealsAreWrittenInThePlatformsForm)
{
    const std::pair<double, const char*> cases[] = {
        {0.0, "0.0"},
        {-0.0, "0.0"},
        {1.0, "1"},
        {-2.5, "-2.5"},
        {0.1, "0.10000000000000001"},
        {1e300, "1.0000000000000001e+300"},
        {5e-324, "4.9406564584124654e-324"},
        {kNaN, "nan"},
        {kInfinity, "+infinity"},
        {-kInfinity, "-infinity"},
    };
    for (const auto& [real, text] : cases) {
        const std::string xml = xmlPropertyList(PlistValue(real));
        EXPECT_NE(xml.find(std::string("<real>") + text + "</real>"), std::string::npos) << xml;
        const auto back = parsePropertyList(xml);
        ASSERT_TRUE(back && back->asReal()) << text;
        EXPECT_TRUE(std::isnan(real) ? std::isnan(*back->asReal()) : *back->asReal() == real) << text;
    }
}

TEST(PropertyListValues, XmlRealsReadInEverySpellingAndNothingElse)
{
    const std::pair<const char*, std::optional<double>> cases[] = {
        {" 2.5 ", 2.5}, {"-1e3", -1000.0}, {".5", 0.5}, {"+infinity", kInfinity}, {"-inf", -kInfinity},
        {"INF", kInfinity}, {"1e400", kInfinity}, {"1e-400", 0.0}, {"nan", kNaN},
        {"", std::nullopt}, {"1,5", std::nullopt}, {"0x10", std::nullopt}, {"infinityx", std::nullopt},
        {"abc", std::nullopt}, {"+-1", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        const auto value = parsePropertyList(document(std::string("<real>") + text + "</real>"));
        ASSERT_EQ(value.has_value(), expected.has_value()) << text;
        if (value) {
            EXPECT_TRUE(std::isnan(*expected) ? std::isnan(*value->asReal()) : *value->asReal() == *expected) << text;
        }
    }
}

struct RealEdge {
    const char* name;
    std::string text;
    double expected;
};

class XmlRealEdges : public ::testing::TestWithParam<RealEdge> {};

TEST_P(XmlRealEdges, ReadAsTheirMagnitudeRounds)
{
    const RealEdge& edge = GetParam();
    const auto value = parsePropertyList(document("<real>" + edge.text + "</real>"));
    ASSERT_TRUE(value && value->asReal()) << edge.text;
    const double read = *value->asReal();
    EXPECT_EQ(read, edge.expected) << edge.text;
    EXPECT_EQ(std::signbit(read), std::signbit(edge.expected)) << edge.text;
}

std::string zeros(std::size_t count)
{
    return std::string(count, '0');
}

INSTANTIATE_TEST_SUITE_P(
    PropertyListValues, XmlRealEdges,
    ::testing::Values(
        RealEdge{"TinyFractionIsZero", "0." + zeros(400) + "1", 0.0},
        RealEdge{"NegativeTinyFractionIsNegativeZero", "-0." + zeros(400) + "1", -0.0},
        RealEdge{"LongMantissaWithNegativeExponentIsInfinity", "1" + zeros(400) + "e-5", kInfinity},
        RealEdge{"NegativeLongMantissaIsNegativeInfinity", "-1" + zeros(400) + "e-5", -kInfinity},
        RealEdge{"LongMantissaBroughtBackIntoRange", "1" + zeros(400) + "e-400", 1.0},
        RealEdge{"TinyFractionWithPositiveExponentIsZero", "0." + zeros(800) + "1e+300", 0.0},
        RealEdge{"TinyFractionBroughtBackIntoRange", "0." + zeros(400) + "15e+401", 1.5},
        RealEdge{"HugeExponentIsInfinity", "1e400", kInfinity},
        RealEdge{"HugeNegativeExponentIsZero", "1e-400", 0.0},
        RealEdge{"NegativeUnderflowIsNegativeZero", "-1e-400", -0.0},
        RealEdge{"SmallestDenormal", "4.9406564584124654e-324", 4.9406564584124654e-324},
        RealEdge{"LargestDenormal", "2.2250738585072009e-308", 2.2250738585072009e-308},
        RealEdge{"HalfTheSmallestDenormalRoundsToZero", "2e-324", 0.0},
        RealEdge{"SmallestNormal", "2.2250738585072014e-308", 2.2250738585072014e-308},
        RealEdge{"LargestFinite", "1.7976931348623157e308", 1.7976931348623157e308},
        RealEdge{"NegativeLargestFinite", "-1.7976931348623157e308", -1.7976931348623157e308},
        RealEdge{"JustPastLargestFiniteIsInfinity", "1.7976931348623159e308", kInfinity},
        RealEdge{"ZeroWithAHugeExponentIsZero", "0e99999", 0.0}),
    [](const ::testing::TestParamInfo<RealEdge>& info) { return std::string(info.param.name); });

TEST(PropertyListValues, KeysThatShareAStartAreOrderedByWhatFollowsIt)
{
    const std::string emoji = "\xF0\x9F\x98\x80";
    const std::string halfwidth = "\xEF\xBD\xA1";
    PlistDictionary dict;
    for (const std::string& key : {"key" + halfwidth, std::string("key"), "key" + emoji, std::string("key-2"),
                                   std::string("ke"), "key\xC3\xA9" + halfwidth, "key\xC3\xA9" + emoji,
                                   std::string("key-10")})
        dict.set(key, true);
    const std::vector<std::string> expected = {"ke",           "key",          "key-10",         "key-2",
                                               "key\xC3\xA9" + emoji, "key\xC3\xA9" + halfwidth, "key" + emoji,
                                               "key" + halfwidth};
    const auto read = parsePropertyList(xmlPropertyList(dict));
    ASSERT_TRUE(read);
    std::vector<std::string> written;
    const std::string xml = xmlPropertyList(dict);
    for (std::size_t at = xml.find("<key>"); at != std::string::npos; at = xml.find("<key>", at + 1))
        written.push_back(xml.substr(at + 5, xml.find("</key>", at) - at - 5));
    EXPECT_EQ(written, expected);
}

TEST(PropertyListValues, KeysAreWrittenInUtf16CodeUnitOrder)
{
    // U+1F600 is D83D DE00 in UTF-16 and so sorts before U+FF61, although its UTF-8 bytes do not.
    const std::string emoji = "\xF0\x9F\x98\x80";
    const std::string halfwidth = "\xEF\xBD\xA1";
    PlistDictionary dict;
    for (const std::string& key : {halfwidth, std::string("b"), emoji, std::string("\xC3\xA9"), std::string("a"),
                                   std::string("B")})
        dict.set(key, true);
    const std::vector<std::string> expected = {"B", "a", "b", "\xC3\xA9", emoji, halfwidth};
    const std::string xml = xmlPropertyList(dict);
    std::size_t at = 0;
    for (const std::string& key : expected) {
        const std::size_t found = xml.find("<key>" + key + "</key>");
        ASSERT_NE(found, std::string::npos) << key;
        EXPECT_GT(found, at) << key;
        at = found;
    }
    const auto binary = parsePropertyList(binaryPropertyList(dict));
    ASSERT_TRUE(binary);
    EXPECT_EQ(binary->asDictionary()->keys(), expected);
}

TEST(PropertyListValues, XmlWritesRefuseWhatXmlCannotHold)
{
    const std::pair<PlistValue, bool> cases[] = {
        {PlistValue("tab\tline\ncr\r"), true},
        {PlistValue("\x7F and \xEF\xBF\xBD"), true},
        {PlistValue(std::string("a\0b", 3)), false},
        {PlistValue("bell \x07"), false},
        {PlistValue("\xEF\xBF\xBE"), false},
        {PlistValue("\xEF\xBF\xBF"), false},
        {PlistValue("caf\xE9"), false},
        {PlistValue(PlistDate{kNaN}), false},
        {PlistValue(PlistDate{kInfinity}), false},
        {PlistValue(PlistDate{1e300}), false},
        {PlistValue(PlistDictionary()), true},
    };
    TempFolder temp;
    for (const auto& [value, writable] : cases) {
        PlistDictionary root;
        root.set("Value", value);
        EXPECT_EQ(xmlPropertyList(root).empty(), !writable);
        const std::string path = temp.write("out.plist", "earlier");
        EXPECT_EQ(writeToFile(root, path, false), writable);
        EXPECT_EQ(writePropertyListAtomically(root, path, PlistFormat::Xml), writable);
        if (!writable) {
            EXPECT_EQ(readAll(path), "earlier");
        } else {
            EXPECT_EQ(parsePropertyList(readAll(path)), PlistValue(root));
        }
    }
    PlistDictionary badKey;
    badKey.set(std::string("k\0", 2), true);
    EXPECT_TRUE(xmlPropertyList(badKey).empty());
}

TEST(PropertyListValues, XmlEncodingsThePlatformReads)
{
    const std::string body = "<plist><string>caf\xC3\xA9</string></plist>";
    const auto utf16 = [](const std::string& ascii, bool bigEndian) {
        std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (const char c : ascii) {
            const std::uint32_t unit = static_cast<unsigned char>(c) == 0xE9 ? 0xE9 : static_cast<unsigned char>(c);
            out += static_cast<char>(bigEndian ? unit >> 8 : unit & 0xFF);
            out += static_cast<char>(bigEndian ? unit & 0xFF : unit >> 8);
        }
        return out;
    };
    const std::string latin = "<plist><string>caf\xE9</string></plist>";
    const std::pair<std::string, bool> cases[] = {
        {body, true},
        {"\xEF\xBB\xBF" + body, true},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + body, true},
        {utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + latin, false), true},
        {utf16(latin, true), true},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + latin, true},
        {"<?xml version=\"1.0\" encoding=\"US-ASCII\"?><plist><string>caf&#xE9;</string></plist>", true},
        {latin, false},
        {"<?xml version=\"1.0\" encoding=\"windows-1252\"?>" + latin, false},
        {"<?xml version=\"1.0\" encoding=\"UTF-32\"?>" + body, false},
    };
    for (const auto& [bytes, reads] : cases) {
        const auto value = parsePropertyList(bytes);
        ASSERT_EQ(value.has_value(), reads) << bytes;
        if (value) {
            EXPECT_EQ(*value->asString(), "caf\xC3\xA9");
        }
    }
}

TEST(PropertyListValues, NoDtdIsProcessed)
{
    const std::string external =
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">";
    const std::pair<std::string, PlistReadFailure> cases[] = {
        {external + "<plist><string>x</string></plist>", PlistReadFailure::None},
        {"<!DOCTYPE plist><plist><string>x</string></plist>", PlistReadFailure::None},
        {"<!DOCTYPE plist []><plist><string>x</string></plist>", PlistReadFailure::Malformed},
        {"<!DOCTYPE plist [<!ENTITY e \"x\">]><plist><string>&e;</string></plist>", PlistReadFailure::Malformed},
        {"<!DOCTYPE plist SYSTEM \"file:///etc/passwd\"><plist><string>&x;</string></plist>", PlistReadFailure::Malformed},
        {"<!DOCTYPE plist [<!ENTITY % p SYSTEM \"file:///etc/passwd\"> %p;]><plist><string>x</string></plist>",
         PlistReadFailure::Malformed},
        {"<!DOCTYPE plist [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
         "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]><plist><string>&c;&c;&c;&c;</string></plist>",
         PlistReadFailure::Malformed},
        {"<plist><string>&undefined;</string></plist>", PlistReadFailure::Malformed},
    };
    for (const auto& [bytes, expected] : cases) {
        PlistReadFailure failure = PlistReadFailure::Malformed;
        const auto value = parsePropertyList(bytes, nullptr, &failure);
        EXPECT_EQ(failure, expected) << bytes;
        EXPECT_EQ(value.has_value(), expected == PlistReadFailure::None) << bytes;
    }
}

TEST(PropertyListValues, GrammarAndBoundsTellWhyTheyRefuse)
{
    std::string deep;
    for (int i = 0; i < 300; ++i)
        deep += "<array>";
    const std::pair<std::string, PlistReadFailure> cases[] = {
        {"<plist><dict><key>a</key><true/></dict></plist>", PlistReadFailure::None},
        {"<dict><key>a</key><true/></dict>", PlistReadFailure::None},
        {"<plist version=\"1.0\" extra=\"x\"><array/></plist>", PlistReadFailure::None},
        {"<plist><!-- a comment --><array><?pi x?></array></plist>", PlistReadFailure::None},
        {"<plist/>", PlistReadFailure::Malformed},
        {"<plist><array/><array/></plist>", PlistReadFailure::Malformed},
        {"<plist><plist><array/></plist></plist>", PlistReadFailure::Malformed},
        {"<plist><dict><key>a</key><key>b</key><true/></dict></plist>", PlistReadFailure::Malformed},
        {"<plist><array><true/>text</array></plist>", PlistReadFailure::Malformed},
        {"<plist><string><![CDATA[ok]]></string></plist>", PlistReadFailure::None},
        {"<plist><array><![CDATA[text]]></array></plist>", PlistReadFailure::Malformed},
        {"<plist><key>a</key></plist>", PlistReadFailure::Malformed},
        {"<key>a</key>", PlistReadFailure::Malformed},
        {"<plist><String>a</String></plist>", PlistReadFailure::Malformed},
        {"<plist><data>QUJD</data></plist>", PlistReadFailure::None},
        {"<plist><data>QUJ</data></plist>", PlistReadFailure::None},
        {"<plist><data>Q</data></plist>", PlistReadFailure::Malformed},
        {"<plist><data>QU=J</data></plist>", PlistReadFailure::Malformed},
        {"<plist>" + deep, PlistReadFailure::TooDeep},
        {"bplist00", PlistReadFailure::Malformed},
        {"", PlistReadFailure::Malformed},
    };
    for (const auto& [bytes, expected] : cases) {
        PlistReadFailure failure = PlistReadFailure::Malformed;
        const auto value = parsePropertyList(bytes, nullptr, &failure);
        EXPECT_EQ(failure, expected) << bytes;
        EXPECT_EQ(value.has_value(), expected == PlistReadFailure::None) << bytes;
    }
    const auto data = parsePropertyList("<plist><data>\n\tQUJ\n\t</data></plist>");
    ASSERT_TRUE(data && data->asData());
    EXPECT_EQ(data->asData()->bytes, (std::vector<std::uint8_t>{'A', 'B'}));
}

TEST(PropertyListValues, FilesTellWhyTheyWereNotRead)
{
    TempFolder temp;
    PlistReadFailure failure = PlistReadFailure::None;
    EXPECT_FALSE(readPropertyListFile(temp / "missing.plist", nullptr, &failure));
    EXPECT_EQ(failure, PlistReadFailure::Unreadable);
    std::string large = document("<string>x</string>");
    large.resize(kMaxPropertyListBytes + 1, ' ');
    EXPECT_FALSE(readPropertyListFile(temp.write("large.plist", large), nullptr, &failure));
    EXPECT_EQ(failure, PlistReadFailure::TooLarge);
    PlistFormat format = PlistFormat::Xml;
    EXPECT_TRUE(readPropertyListFile(temp.write("ok.plist", binaryPropertyList(PlistValue(3))), &format, &failure));
    EXPECT_EQ(failure, PlistReadFailure::None);
    EXPECT_EQ(format, PlistFormat::Binary);
    EXPECT_NE(describePlistReadFailure(PlistReadFailure::TooDeep), describePlistReadFailure(PlistReadFailure::Malformed));
}

TEST(PropertyListValues, SharedStringsAreReadOnceWhateverTheirReferences)
{
    // An array whose entries all refer to one 1,000-byte string, as ordinary writers store a
    // repeated string: the string is read once and every element shares it.
    const auto sharedString = [](std::size_t references) {
        std::string array = "\xAF\x11";
        appendBigEndian(array, references, 2);
        array.append(references, '\x01');
        std::string string = "\x5F\x11";
        appendBigEndian(string, 1000, 2);
        string.append(1000, 's');
        return binaryPlistFile({array, string}, 1, 2, 0);
    };
    const std::pair<std::size_t, PlistReadFailure> cases[] = {
        {1, PlistReadFailure::None},
        {5, PlistReadFailure::None},
        {8, PlistReadFailure::None},
        {12, PlistReadFailure::None},
        {5000, PlistReadFailure::None},
    };
    for (const auto& [references, expected] : cases) {
        PlistReadFailure failure = PlistReadFailure::Malformed;
        const auto value = parsePropertyList(sharedString(references), nullptr, &failure);
        EXPECT_EQ(failure, expected) << references;
        ASSERT_TRUE(value) << references;
        const PlistArray& array = *std::as_const(*value).asArray();
        ASSERT_EQ(array.size(), references);
        EXPECT_EQ(*array.back().asString(), std::string(1000, 's'));
        // The first reference builds its own copy; the second keeps one that the rest share.
        if (references > 2) {
            EXPECT_TRUE(array[1].sharesWith(array.back())) << references;
        }
    }
}
