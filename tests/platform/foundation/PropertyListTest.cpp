#include "platform/foundation/PropertyList.h"

#include "platform/foundation/BinaryPlistBuilder.h"
#include "platform/foundation/TempFolder.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <ostream>
#include <utility>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using foundation_test::appendBigEndian;
using foundation_test::binaryPlistFile;
using foundation_test::readAll;
using foundation_test::TempFolder;

namespace {

const std::string kDataDir = std::string(TEST_DATA_DIR) + "/foundation";

const std::string kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";

std::string xmlDocument(const std::string& body)
{
    return kHeader + body + "</plist>\n";
}

// A binary list whose objects are arrays given as lists of object references; an empty list is
// an empty array. References and offsets are four bytes wide.
std::string bplistOfArrays(const std::vector<std::vector<std::uint32_t>>& arrays, std::uint32_t top = 0)
{
    std::vector<std::string> objects;
    for (const auto& refs : arrays) {
        std::string object;
        if (refs.size() < 15) {
            object += static_cast<char>(0xA0 | refs.size());
        } else {
            object += '\xAF';
            object += '\x12';
            appendBigEndian(object, refs.size(), 4);
        }
        for (const std::uint32_t ref : refs)
            appendBigEndian(object, ref, 4);
        objects.push_back(std::move(object));
    }
    return binaryPlistFile(objects, 4, 4, top);
}

std::vector<std::vector<std::uint32_t>> nestedArrays(std::uint32_t depth)
{
    std::vector<std::vector<std::uint32_t>> arrays(depth);
    for (std::uint32_t i = 0; i + 1 < depth; ++i)
        arrays[i] = {i + 1};
    return arrays;
}

std::string nestedXml(std::size_t depth)
{
    std::string body;
    body.reserve(depth * 16);
    for (std::size_t i = 0; i < depth; ++i)
        body += "<array>";
    for (std::size_t i = 0; i < depth; ++i)
        body += "</array>";
    return xmlDocument(body + "\n");
}

PlistValue everyKind()
{
    PlistDictionary inner;
    inner.set("Nested", PlistArray{PlistValue("x"), PlistValue(std::int64_t{-1})});
    PlistDictionary root;
    root.set("String", "caf\xC3\xA9 & <b> \xE6\x97\xA5\xF0\x9F\x98\x80");
    root.set("Empty", "");
    root.set("Integer", std::int64_t{1234567890123});
    root.set("Small", 7);
    root.set("Negative", std::int64_t{-42});
    root.set("Real", 2.5);
    root.set("True", true);
    root.set("False", false);
    root.set("Date", PlistDate{599627045});
    root.set("Data", PlistData{{0, 1, 2, 253, 254, 255}});
    root.set("EmptyArray", PlistArray{});
    root.set("EmptyDict", PlistDictionary{});
    root.set("Inner", inner);
    return root;
}

}  // namespace

TEST(PropertyListRead, XmlAndBinaryFixturesReadAlike)
{
    PlistFormat xmlFormat = PlistFormat::Binary;
    PlistFormat binaryFormat = PlistFormat::Xml;
    const auto xml = readPropertyListFile(kDataDir + "/sample.plist", &xmlFormat);
    const auto binary = readPropertyListFile(kDataDir + "/sample.bplist", &binaryFormat);
    ASSERT_TRUE(xml);
    ASSERT_TRUE(binary);
    EXPECT_EQ(xmlFormat, PlistFormat::Xml);
    EXPECT_EQ(binaryFormat, PlistFormat::Binary);
    EXPECT_EQ(*xml, *binary);

    for (const auto* value : {&*xml, &*binary}) {
        const PlistDictionary* root = value->asDictionary();
        ASSERT_TRUE(root);
        const std::vector<std::string> order = {"Zebra", "APPs", "Count", "Negative", "Ratio", "Enabled",
                                                "Disabled", "Stamp", "Blob", "Empty", "Alpha"};
        EXPECT_EQ(root->keys(), order);
        EXPECT_EQ(*root->find("Count")->asInteger(), 42);
        EXPECT_EQ(*root->find("Negative")->asInteger(), -7);
        EXPECT_DOUBLE_EQ(*root->find("Ratio")->asReal(), 0.5);
        EXPECT_TRUE(*root->find("Enabled")->asBoolean());
        EXPECT_FALSE(*root->find("Disabled")->asBoolean());
        // 2020-01-02T03:04:05Z
        EXPECT_DOUBLE_EQ(root->find("Stamp")->asDate()->secondsSinceReference, 599627045.0);
        EXPECT_EQ(root->find("Blob")->asData()->bytes, (std::vector<std::uint8_t>{0, 1, 2, 255}));
        ASSERT_TRUE(root->dictionaryForKey("Empty"));
        const PlistArray* apps = root->arrayForKey("APPs");
        ASSERT_TRUE(apps);
        ASSERT_EQ(apps->size(), 2u);
        const PlistDictionary* second = (*apps)[1].asDictionary();
        ASSERT_TRUE(second);
        EXPECT_EQ(*second->stringForKey("APPNameKey"), "Caf\xC3\xA9 & <Co> \xE6\x97\xA5\xE6\x9C\xAC");
        EXPECT_EQ((*apps)[0].asDictionary()->keys(),
                  (std::vector<std::string>{"PluginType", "APPNameKey", "PathsFiles"}));
    }
}

TEST(PropertyListRead, DictionaryWithContentsOfFileNeedsADictionaryRoot)
{
    TempFolder temp;
    const std::string array = temp.write("array.plist", xmlDocument("<array>\n\t<string>a</string>\n</array>\n"));
    EXPECT_TRUE(readPropertyListFile(array));
    EXPECT_FALSE(dictionaryWithContentsOfFile(array));
    const auto dict = dictionaryWithContentsOfFile(kDataDir + "/sample.plist");
    ASSERT_TRUE(dict);
    EXPECT_EQ(*dict->stringForKey("Alpha"), "first key last");
}

TEST(PropertyListRead, CommentsAndCdataDoNotCountAsStructure)
{
    const auto value = parsePropertyList(xmlDocument(
        "<!-- <array><array> -->\n<dict>\n\t<key>K</key>\n\t<string><![CDATA[</dict><array>]]> &amp;</string>\n</dict>\n"));
    ASSERT_TRUE(value);
    EXPECT_EQ(*value->asDictionary()->stringForKey("K"), "</dict><array> &");
}

TEST(PropertyListRead, RealsIgnoreTheProcessLocale)
{
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    const auto value = parsePropertyList(xmlDocument("<real>3.25</real>\n"));
    const std::string written = xmlPropertyList(PlistValue(3.25));
    std::setlocale(LC_NUMERIC, saved.c_str());
    ASSERT_TRUE(value);
    EXPECT_DOUBLE_EQ(*value->asReal(), 3.25);
    EXPECT_NE(written.find("<real>3.25</real>"), std::string::npos);
}

// Inputs that must read as none, quickly and without a crash.
struct BadInput {
    const char* name;
    std::string bytes;
};

class PropertyListRejects : public ::testing::TestWithParam<BadInput> {};

TEST_P(PropertyListRejects, AsNone)
{
    PlistReadFailure fromBytes = PlistReadFailure::None;
    EXPECT_FALSE(parsePropertyList(GetParam().bytes, nullptr, &fromBytes));
    EXPECT_NE(fromBytes, PlistReadFailure::None);
    TempFolder temp;
    const std::string path = temp.write("input.plist", GetParam().bytes);
    // A file is read by a path of its own; it must give the same reason.
    PlistReadFailure fromFile = PlistReadFailure::None;
    EXPECT_FALSE(readPropertyListFile(path, nullptr, &fromFile));
    EXPECT_EQ(fromFile, fromBytes);
    EXPECT_FALSE(dictionaryWithContentsOfFile(path));
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, PropertyListRejects,
    ::testing::Values(
        BadInput{"Empty", ""},
        BadInput{"PlainText", "hello, this is not a property list\n"},
        BadInput{"UnclosedDict", xmlDocument("<dict>\n\t<key>A</key>\n\t<string>x</string>\n")},
        BadInput{"MismatchedTags", xmlDocument("<dict>\n\t<key>A</key>\n\t<string>x</array>\n</dict>\n")},
        BadInput{"UnterminatedComment", xmlDocument("<!-- <dict>\n")},
        BadInput{"UnterminatedCdata", xmlDocument("<string><![CDATA[abc</string>\n")},
        BadInput{"UnterminatedTag", kHeader + "<dict"},
        BadInput{"TwoRoots", "<plist><dict/></plist><plist><dict/></plist>"},
        BadInput{"TruncatedXml", xmlDocument("<dict><key>A</key><string>x</string></dict>").substr(0, 150)},
        BadInput{"KeyWithoutValue", xmlDocument("<dict>\n\t<key>A</key>\n</dict>\n")},
        BadInput{"ValueWithoutKey", xmlDocument("<dict>\n\t<string>x</string>\n</dict>\n")},
        BadInput{"KeyOutsideDict", xmlDocument("<array>\n\t<key>A</key>\n</array>\n")},
        BadInput{"UnknownElement", xmlDocument("<dict>\n\t<key>A</key>\n\t<blob>x</blob>\n</dict>\n")},
        BadInput{"ElementInsideString", xmlDocument("<string>a<string>b</string></string>\n")},
        BadInput{"TextInsideArray", xmlDocument("<array>loose text<string>x</string></array>\n")},
        BadInput{"TwoValuesInPlist", xmlDocument("<string>a</string>\n<string>b</string>\n")},
        BadInput{"UnknownEntity", xmlDocument("<string>AT&T</string>\n")},
        BadInput{"CustomEntity", "<!DOCTYPE plist [<!ENTITY big \"xxxxxxxx\">]><plist><string>&big;</string></plist>"},
        BadInput{"NulReference", xmlDocument("<string>a&#0;b</string>\n")},
        BadInput{"SurrogateReference", xmlDocument("<string>&#xD800;</string>\n")},
        BadInput{"RawNul", xmlDocument(std::string("<string>a\0b</string>\n", 20))},
        BadInput{"InvalidUtf8", xmlDocument("<string>caf\xE9</string>\n")},
        BadInput{"BadInteger", xmlDocument("<integer>12abc</integer>\n")},
        BadInput{"BadDate", xmlDocument("<date>2020-13-45T99:00:00Z</date>\n")},
        BadInput{"EmptyDate", xmlDocument("<date/>\n")},
        BadInput{"BadBase64", xmlDocument("<data>!!!!</data>\n")},
        BadInput{"TextInTrue", xmlDocument("<true>yes</true>\n")},
        BadInput{"BinaryMagicOnly", "bplist00"},
        BadInput{"BinaryTruncated", readAll(kDataDir + "/truncated.bplist")},
        BadInput{"BinaryCycle", bplistOfArrays({{0}})},
        BadInput{"BinaryReferenceOutOfRange", bplistOfArrays({{5}})},
        BadInput{"BinaryTopOutOfRange", bplistOfArrays({{}}, 3)},
        BadInput{"XmlTooDeep", nestedXml(kMaxPropertyListDepth + 1)},
        BadInput{"XmlMillionLevels", nestedXml(1000000)},
        BadInput{"BinaryTooDeep", bplistOfArrays(nestedArrays(kMaxPropertyListDepth + 1))},
        BadInput{"BinaryHundredThousandLevels", bplistOfArrays(nestedArrays(100000))}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

TEST(PropertyListRead, PlainVariantsOfTheXmlFormAreAccepted)
{
    const std::string documents[] = {
        "<plist><dict><key>A</key><string>x</string></dict></plist>",
        "\xEF\xBB\xBF" + xmlDocument("<dict>\n<key>A</key>\n<string>x</string>\n</dict>\n"),
        xmlDocument("<dict>\n\t<key>A</key>\n\t<string/>\n\t<key></key>\n\t<integer> -3 </integer>\n</dict>\n"),
        xmlDocument("<dict><key>A</key><string>&#65;&#x42;&quot;&apos;</string></dict>\n"),
    };
    for (const std::string& document : documents) {
        const auto value = parsePropertyList(document);
        ASSERT_TRUE(value) << document;
        ASSERT_TRUE(value->asDictionary()) << document;
        EXPECT_TRUE(value->asDictionary()->contains("A")) << document;
    }
    const auto references = parsePropertyList(documents[3]);
    EXPECT_EQ(*references->asDictionary()->stringForKey("A"), "AB\"'");
}

TEST(PropertyListRead, LargeXmlDictionariesReadWhole)
{
    auto dictionaryOf = [](std::size_t keys) {
        std::string body = "<dict>\n";
        for (std::size_t i = 0; i < keys; ++i)
            body += "<key>k" + std::to_string(i) + "</key><true/>\n";
        return xmlDocument(body + "</dict>\n");
    };
    const auto largest = parsePropertyList(dictionaryOf(250001));
    ASSERT_TRUE(largest);
    const PlistDictionary& dict = *largest->asDictionary();
    EXPECT_EQ(dict.size(), 250001u);
    EXPECT_TRUE(dict.contains("k0"));
    EXPECT_TRUE(dict.contains("k250000"));
    EXPECT_FALSE(dict.contains("k250001"));
}

TEST(PropertyListRead, SharedArraysThatMultiplyAreReadOnce)
{
    // Each array holds the next one twice: copied per reference, 40 levels would be 2^40
    // arrays. An object is built for its first reference and kept at its second, so below the
    // top both elements of each level are one shared value.
    std::vector<std::vector<std::uint32_t>> arrays(41);
    for (std::uint32_t i = 0; i < 40; ++i)
        arrays[i] = {i + 1, i + 1};
    const auto value = parsePropertyList(bplistOfArrays(arrays));
    ASSERT_TRUE(value);
    const PlistValue* level = &*value;
    for (int i = 0; i < 40; ++i) {
        const PlistArray& array = *std::as_const(*level).asArray();
        ASSERT_EQ(array.size(), 2u);
        if (i > 0) {
            EXPECT_TRUE(array[0].sharesWith(array[1])) << i;
        }
        level = &array[1];
    }
    EXPECT_TRUE(std::as_const(*level).asArray()->empty());
}

TEST(PropertyListRead, KeysThatRecurInTheTextAreHeldOnceAndChangedApart)
{
    // A short key that many dictionaries hold is one shared block; a long one and keys of their
    // own (more than the reader keeps at once) are read as they stand.
    const std::string longKey(40, 'k');
    std::string xml = "<plist><array>";
    for (int i = 0; i < 100; ++i) {
        xml += "<dict><key>Name</key><string>n" + std::to_string(i) + "</string><key>" + longKey +
               "</key><true/><key>Own" + std::to_string(i) + "</key><false/></dict>";
    }
    xml += "</array></plist>";
    auto value = parsePropertyList(xml);
    ASSERT_TRUE(value);
    const PlistArray& read = *std::as_const(*value).asArray();
    ASSERT_EQ(read.size(), 100u);
    const PlistDictionary& first = *read[0].asDictionary();
    for (std::size_t i = 1; i < read.size(); ++i) {
        const PlistDictionary& dict = *read[i].asDictionary();
        ASSERT_EQ(dict.size(), 3u);
        EXPECT_EQ(&dict.keyAt(0), &first.keyAt(0)) << i;
        EXPECT_EQ(dict.keyAt(1), longKey);
        EXPECT_EQ(dict.keyAt(2), "Own" + std::to_string(i));
        EXPECT_EQ(*dict.stringForKey("Name"), "n" + std::to_string(i));
    }
    // One dictionary changed leaves the others, and their shared keys, as they were read.
    PlistValue copy = *value;
    PlistDictionary& changed = *copy.asArray()->at(1).asDictionary();
    changed.erase("Name");
    changed.set("Name", PlistValue("renamed"));
    EXPECT_EQ(first.keyAt(0), "Name");
    EXPECT_EQ(*read[1].asDictionary()->stringForKey("Name"), "n1");
    EXPECT_EQ(changed.keyAt(2), "Name");
    // Written and read again in either form, the tree is the same.
    EXPECT_EQ(parsePropertyList(binaryPropertyList(*value)), value);
    EXPECT_EQ(parsePropertyList(xmlPropertyList(*value)), value);
}

TEST(PropertyListRead, BinaryOffsetsPointingIntoTheTrailerAreRefused)
{
    std::string bytes = bplistOfArrays({{}});
    // The offset table entry of object 0 sits right after the one-byte object at offset 8.
    bytes[9] = bytes[10] = bytes[11] = 0;
    bytes[12] = static_cast<char>(bytes.size() - 4);
    EXPECT_FALSE(parsePropertyList(bytes));
}

TEST(PropertyListRead, NestingUpToTheLimitIsAccepted)
{
    EXPECT_TRUE(parsePropertyList(nestedXml(kMaxPropertyListDepth)));
    EXPECT_TRUE(parsePropertyList(bplistOfArrays(nestedArrays(kMaxPropertyListDepth))));
}

namespace {

// One chain of shared levels, reached twice from the root at once and once more below a chain
// of wrapping levels: the tree holds the shared levels wherever they are reached.
struct SharedDepth {
    const char* name;
    std::uint32_t sharedLevels;
    std::uint32_t wrappingLevels;
    bool reads;
};

void PrintTo(const SharedDepth& shape, std::ostream* out)
{
    *out << shape.name;
}

std::string sharedDepthFile(const SharedDepth& shape)
{
    // 0: the root; 1..shared: the shared chain; then the wrapping chain, ending in the shared one.
    std::vector<std::vector<std::uint32_t>> arrays(1 + shape.sharedLevels + shape.wrappingLevels);
    const std::uint32_t shared = 1;
    const std::uint32_t wrapping = 1 + shape.sharedLevels;
    for (std::uint32_t i = 0; i + 1 < shape.sharedLevels; ++i)
        arrays[shared + i] = {shared + i + 1};
    for (std::uint32_t i = 0; i < shape.wrappingLevels; ++i)
        arrays[wrapping + i] = {i + 1 < shape.wrappingLevels ? wrapping + i + 1 : shared};
    arrays[0] = {shared, shared};
    if (shape.wrappingLevels > 0)
        arrays[0].push_back(wrapping);
    return bplistOfArrays(arrays);
}

class SharedLevels : public ::testing::TestWithParam<SharedDepth> {};

}  // namespace

TEST_P(SharedLevels, CountWhereverTheyAreReached)
{
    const SharedDepth& shape = GetParam();
    const std::string bytes = sharedDepthFile(shape);
    // Read whole, and with a selection that tests every element and keeps it.
    const PlistSelection tested = PlistSelection().keepIf([](const PlistValue&) { return true; });
    for (const PlistSelection* selection : {static_cast<const PlistSelection*>(nullptr), &tested}) {
        PlistReadFailure failure = PlistReadFailure::None;
        const auto value = parsePropertyList(bytes, nullptr, &failure, selection);
        EXPECT_EQ(value.has_value(), shape.reads);
        EXPECT_EQ(failure, shape.reads ? PlistReadFailure::None : PlistReadFailure::TooDeep);
        if (value) {
            // What reads writes in both forms again: it nests no deeper than the readers take.
            PlistWriteFailure written = PlistWriteFailure::NotReadable;
            EXPECT_EQ(parsePropertyList(binaryPropertyList(*value, &written)), value);
            EXPECT_EQ(written, PlistWriteFailure::None);
            EXPECT_EQ(parsePropertyList(xmlPropertyList(*value, &written)), value);
            EXPECT_EQ(written, PlistWriteFailure::None);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PropertyListRead, SharedLevels,
                         ::testing::Values(SharedDepth{"WithinTheLimitBelowTheWrapping", 200, 20, true},
                                           SharedDepth{"AtTheLimitBelowTheWrapping", 200, 55, true},
                                           SharedDepth{"PastTheLimitOnlyBelowTheWrapping", 200, 56, false},
                                           SharedDepth{"FarPastTheLimitBelowTheWrapping", 200, 100, false},
                                           SharedDepth{"PastTheLimitOnItsOwn", 256, 0, false}),
                         [](const ::testing::TestParamInfo<SharedDepth>& info) { return std::string(info.param.name); });

TEST(PropertyListRead, MissingFolderAndSpecialFilesAreNone)
{
    TempFolder temp;
    EXPECT_FALSE(readPropertyListFile(temp / "missing.plist"));
    EXPECT_FALSE(readPropertyListFile(""));
    const std::string folder = temp.makeFolder("folder.plist");
    EXPECT_FALSE(readPropertyListFile(folder));
    EXPECT_FALSE(dictionaryWithContentsOfFile(folder));
    const std::string fifo = temp / "fifo.plist";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(readPropertyListFile(fifo));  // would block forever if opened for a plain read
}

TEST(PropertyListRead, UnreadableFileIsNone)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads files whatever their mode";
    TempFolder temp;
    const std::string path = temp.write("secret.plist", readAll(kDataDir + "/sample.plist"));
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    EXPECT_FALSE(readPropertyListFile(path));
}

TEST(PropertyListRead, FileAboveTheSizeLimitIsNotRead)
{
    TempFolder temp;
    const std::string path = temp / "huge.plist";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const std::string start = kHeader + "<array>\n";
    ASSERT_EQ(::write(fd, start.data(), start.size()), static_cast<ssize_t>(start.size()));
    ASSERT_EQ(::ftruncate(fd, 100 * 1024 * 1024), 0);
    ::close(fd);
    EXPECT_FALSE(readPropertyListFile(path));

    std::string binary = bplistOfArrays({{}});
    binary.resize(kMaxPropertyListBytes + 1, '\0');
    EXPECT_FALSE(parsePropertyList(binary));
}

TEST(PropertyListWrite, XmlFormIsThePlatformsByteForByte)
{
    PlistDictionary child;
    child.set("b", "2");
    child.set("a", PlistArray{});
    PlistDictionary root;
    root.set("Zeta", PlistArray{PlistValue("one"), PlistValue(PlistDictionary{})});
    root.set("Amp", "fish & chips <tag>");
    root.set("Child", child);
    root.set("Number", 3);
    root.set("Flag", true);
    root.set("Off", false);
    root.set("When", PlistDate{0});
    root.set("Blob", PlistData{{'a', 'b', 'c', 'd'}});
    root.set("Pi", 3.5);
    const std::string expected =
        kHeader +
        "<dict>\n"
        "\t<key>Amp</key>\n"
        "\t<string>fish &amp; chips &lt;tag&gt;</string>\n"
        "\t<key>Blob</key>\n"
        "\t<data>\n"
        "\tYWJjZA==\n"
        "\t</data>\n"
        "\t<key>Child</key>\n"
        "\t<dict>\n"
        "\t\t<key>a</key>\n"
        "\t\t<array/>\n"
        "\t\t<key>b</key>\n"
        "\t\t<string>2</string>\n"
        "\t</dict>\n"
        "\t<key>Flag</key>\n"
        "\t<true/>\n"
        "\t<key>Number</key>\n"
        "\t<integer>3</integer>\n"
        "\t<key>Off</key>\n"
        "\t<false/>\n"
        "\t<key>Pi</key>\n"
        "\t<real>3.5</real>\n"
        "\t<key>When</key>\n"
        "\t<date>2001-01-01T00:00:00Z</date>\n"
        "\t<key>Zeta</key>\n"
        "\t<array>\n"
        "\t\t<string>one</string>\n"
        "\t\t<dict/>\n"
        "\t</array>\n"
        "</dict>\n"
        "</plist>\n";
    EXPECT_EQ(xmlPropertyList(root), expected);

    TempFolder temp;
    const std::string path = temp / "out.plist";
    ASSERT_TRUE(writeToFile(root, path, false));
    EXPECT_EQ(readAll(path), expected);
    const auto back = readPropertyListFile(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, PlistValue(root));
}

TEST(PropertyListWrite, KeysSortBytewise)
{
    PlistDictionary root;
    root.set("b", 1);
    root.set("B", 2);
    root.set("\xC3\xA9", 3);
    root.set("a", 4);
    const std::string xml = xmlPropertyList(root);
    const auto upperB = xml.find("<key>B</key>");
    const auto lowerA = xml.find("<key>a</key>");
    const auto lowerB = xml.find("<key>b</key>");
    const auto accent = xml.find("<key>\xC3\xA9</key>");
    EXPECT_LT(upperB, lowerA);
    EXPECT_LT(lowerA, lowerB);
    EXPECT_LT(lowerB, accent);
}

TEST(PropertyListWrite, EveryKindRoundTripsInBothForms)
{
    const PlistValue root = everyKind();
    const auto fromXml = parsePropertyList(xmlPropertyList(root));
    ASSERT_TRUE(fromXml);
    EXPECT_EQ(*fromXml, root);

    const std::string binary = binaryPropertyList(root);
    EXPECT_EQ(binary.substr(0, 8), "bplist00");
    PlistFormat format = PlistFormat::Xml;
    const auto fromBinary = parsePropertyList(binary, &format);
    ASSERT_TRUE(fromBinary);
    EXPECT_EQ(format, PlistFormat::Binary);
    EXPECT_EQ(*fromBinary, root);
}

TEST(PropertyListWrite, BinaryHandlesManyObjectsAndLongValues)
{
    // Over 65,535 objects needs wide references; long strings and data need length integers.
    PlistArray big;
    for (int i = 0; i < 70000; ++i)
        big.emplace_back(std::int64_t{i} * 100003);
    PlistDictionary root;
    root.set("Big", big);
    root.set("Long", std::string(100000, 'x'));
    root.set("LongUnicode", std::string(3000, 'y') + "\xE2\x82\xAC");
    PlistData bytes;
    bytes.bytes.assign(70000, 7);
    root.set("Bytes", bytes);
    root.set("Huge", std::int64_t{0x7FFFFFFFFFFFFFFF});
    root.set("Min", std::int64_t{-0x7FFFFFFFFFFFFFFF - 1});
    const auto back = parsePropertyList(binaryPropertyList(root));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, PlistValue(root));
}

TEST(PropertyListWrite, InPlaceWriteReplacesALongerFile)
{
    TempFolder temp;
    const std::string path = temp.write("plan.plist", std::string(10000, 'z'));
    PlistDictionary root;
    root.set("A", "x");
    ASSERT_TRUE(writeToFile(root, path, false));
    EXPECT_EQ(readAll(path), kHeader + "<dict>\n\t<key>A</key>\n\t<string>x</string>\n</dict>\n</plist>\n");
}

TEST(PropertyListWrite, FailuresAnswerFalse)
{
    TempFolder temp;
    PlistDictionary root;
    root.set("A", "x");
    EXPECT_FALSE(writeToFile(root, temp / "no/such/folder/plan.plist", false));
    EXPECT_FALSE(writeToFile(root, temp / "no/such/folder/plan.plist", true));
    EXPECT_FALSE(writeToFile(root, "", false));
    const std::string folder = temp.makeFolder("taken.plist");
    EXPECT_FALSE(writeToFile(root, folder, false));
    EXPECT_FALSE(writePropertyListAtomically(root, folder, PlistFormat::Binary));
    // The failed atomic write leaves no temporary file behind.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(temp.path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_FALSE(writeToFile(root, "/dev/full", false));
    }
}

TEST(PropertyListWrite, AtomicWriteKeepsModeAndFormat)
{
    TempFolder temp;
    const std::string path = temp.write("registry.plist", xmlPropertyList(everyKind()));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    PlistDictionary root;
    root.set("KEP2_KEY_MODULES", PlistDictionary{});
    ASSERT_TRUE(writePropertyListAtomically(root, path, PlistFormat::Binary));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    PlistFormat format = PlistFormat::Xml;
    const auto back = readPropertyListFile(path, &format);
    ASSERT_TRUE(back);
    EXPECT_EQ(format, PlistFormat::Binary);
    EXPECT_EQ(*back, PlistValue(root));

    ASSERT_TRUE(writePropertyListAtomically(root, path, PlistFormat::Xml));
    EXPECT_EQ(readAll(path), xmlPropertyList(root));
    ASSERT_TRUE(writeToFile(everyKind(), path, true));
    EXPECT_EQ(*readPropertyListFile(path), everyKind());
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(temp.path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(PropertyListWrite, AtomicWriteReplacesASymbolicLinkInsteadOfFollowingIt)
{
    TempFolder temp;
    const std::string target = temp.write("target.plist", "untouched");
    const std::string link = temp / "link.plist";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    ASSERT_TRUE(writePropertyListAtomically(PlistValue(PlistDictionary{}), link, PlistFormat::Xml));
    EXPECT_EQ(readAll(target), "untouched");
    struct stat info {};
    ASSERT_EQ(::lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
}

TEST(PropertyListWrite, NothingIsWrittenThatTheReaderRefuses)
{
    // One level past the depth the reader takes: neither form replaces the earlier file.
    PlistValue deep = PlistValue(PlistArray{});
    for (std::size_t i = 0; i < kMaxPropertyListDepth; ++i)
        deep = PlistValue(PlistArray{deep});
    TempFolder temp;
    for (const PlistFormat format : {PlistFormat::Binary, PlistFormat::Xml}) {
        const std::string path = temp.write(format == PlistFormat::Binary ? "deep.bplist" : "deep.plist", "earlier");
        PlistWriteFailure failure = PlistWriteFailure::None;
        EXPECT_FALSE(writePropertyListAtomically(deep, path, format, &failure));
        EXPECT_NE(failure, PlistWriteFailure::None);
        EXPECT_EQ(foundation_test::readAll(path), "earlier");
    }
    // At the depth the reader takes, both forms write and read back.
    const PlistValue& within = std::as_const(deep).asArray()->front();
    for (const PlistFormat format : {PlistFormat::Binary, PlistFormat::Xml}) {
        const std::string path = temp / (format == PlistFormat::Binary ? "within.bplist" : "within.plist");
        EXPECT_TRUE(writePropertyListAtomically(within, path, format));
        EXPECT_EQ(readPropertyListFile(path), within);
    }
}
