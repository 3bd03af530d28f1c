// Reads that keep part of a document, and XML files read whole while their parsed pages are
// handed back: neither may change what is read or what is refused.

#include "platform/foundation/PropertyList.h"

#include "platform/foundation/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace platform;
using foundation_test::TempFolder;
namespace fs = std::filesystem;

namespace {

PlistDictionary dict(std::initializer_list<std::pair<const char*, PlistValue>> entries)
{
    PlistDictionary result;
    for (const auto& [key, value] : entries)
        result.set(key, value);
    return result;
}

// A registry-like document: modules with a few fields, a list of mixed values, a scalar.
PlistValue sampleDocument()
{
    return PlistValue(dict({
        {"Modules", PlistValue(dict({
                        {"ID-1", PlistValue(dict({{"Name", "One"}, {"Path", "/p/1"}, {"Size", 1}}))},
                        {"ID-2", PlistValue(dict({{"Name", "Two"}, {"Version", "2.0"}}))},
                        {"ID-3", PlistValue("not a dictionary")},
                    }))},
        {"List", PlistValue(PlistArray{PlistValue(dict({{"x", 1}, {"y", 2}})), PlistValue(true), PlistValue(PlistArray{})})},
        {"Count", 3},
    }));
}

}  // namespace

TEST(PlistSelection, KeepsOnlyWhatItNamesInBothForms)
{
    using S = PlistSelection;
    struct Case {
        const char* name;
        S selection;
        PlistValue expected;
    };
    const std::vector<Case> cases = {
        {"everything", S(), sampleDocument()},
        {"nothing", S::none(), PlistValue(PlistDictionary())},
        {"one key whole", S::none().key("Count"), PlistValue(dict({{"Count", 3}}))},
        {"absent key", S::none().key("Missing"), PlistValue(PlistDictionary())},
        {"fields of every module",
         S::none().key("Modules", S::none().anyOtherKey(S::none().key("Name").key("Path"))),
         PlistValue(dict({{"Modules", PlistValue(dict({
                                          {"ID-1", PlistValue(dict({{"Name", "One"}, {"Path", "/p/1"}}))},
                                          {"ID-2", PlistValue(dict({{"Name", "Two"}}))},
                                          {"ID-3", PlistValue("not a dictionary")},
                                      }))}}))},
        {"named key beside the others",
         S::none().key("Modules", S::none().key("ID-2", S::none()).anyOtherKey(S())),
         PlistValue(dict({{"Modules", PlistValue(dict({
                                          {"ID-1", PlistValue(dict({{"Name", "One"}, {"Path", "/p/1"}, {"Size", 1}}))},
                                          {"ID-2", PlistValue(PlistDictionary())},
                                          {"ID-3", PlistValue("not a dictionary")},
                                      }))}}))},
        {"entries that a test refuses",
         S::none().key("Modules", S::none().anyOtherKey(S::none().key("Name").keepIf([](const PlistValue& value) {
             return value.asDictionary() && value.asDictionary()->contains("Name");
         }))),
         PlistValue(dict({{"Modules", PlistValue(dict({{"ID-1", PlistValue(dict({{"Name", "One"}}))},
                                                      {"ID-2", PlistValue(dict({{"Name", "Two"}}))}}))}}))},
        {"elements that a test refuses", S::none().key("List", S().keepIf([](const PlistValue& value) {
             return !value.asBoolean();
         })),
         PlistValue(dict({{"List", PlistValue(PlistArray{PlistValue(dict({{"x", 1}, {"y", 2}})), PlistValue(PlistArray{})})}}))},
        {"array elements read with the array's selection", S::none().key("List", S::none().key("y")),
         PlistValue(dict({{"List", PlistValue(PlistArray{PlistValue(dict({{"y", 2}})), PlistValue(true),
                                                         PlistValue(PlistArray{})})}}))},
    };
    TempFolder temp;
    for (const PlistFormat format : {PlistFormat::Xml, PlistFormat::Binary}) {
        const std::string bytes = format == PlistFormat::Xml ? xmlPropertyList(sampleDocument())
                                                             : binaryPropertyList(sampleDocument());
        const std::string file = temp.write(format == PlistFormat::Xml ? "doc.plist" : "doc.bplist", bytes);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (format == PlistFormat::Xml ? " (XML)" : " (binary)"));
            PlistReadFailure failure = PlistReadFailure::Malformed;
            const auto parsed = parsePropertyList(bytes, nullptr, &failure, &c.selection);
            ASSERT_TRUE(parsed);
            EXPECT_EQ(failure, PlistReadFailure::None);
            EXPECT_EQ(*parsed, c.expected);
            const auto read = readPropertyListFile(file, nullptr, &failure, &c.selection);
            ASSERT_TRUE(read);
            EXPECT_EQ(*read, c.expected);
        }
    }
}

TEST(PlistSelection, NeverChangesWhatIsRefusedOrWhy)
{
    // Every shared hostile input and corpus file, read whole, with nothing kept and with a
    // registry's selection: the same answer each time.
    const PlistSelection nothing = PlistSelection::none();
    const PlistSelection registry = PlistSelection::none().key(
        "KEP2_KEY_MODULES", PlistSelection::none().anyOtherKey(PlistSelection::none().key("ModuleName")));
    std::size_t files = 0;
    std::size_t refused = 0;
    for (const char* folder : {"/hostile-inputs", "/hostile-inputs-4", "/corpus/plist"}) {
        for (const auto& entry : fs::recursive_directory_iterator(std::string(SHARED_DIR) + folder)) {
            if (!entry.is_regular_file() || entry.path().extension() == ".md")
                continue;
            SCOPED_TRACE(entry.path().string());
            ++files;
            PlistReadFailure whole = PlistReadFailure::None;
            const bool read = readPropertyListFile(entry.path().string(), nullptr, &whole).has_value();
            refused += read ? 0 : 1;
            for (const PlistSelection* selection : {&nothing, &registry}) {
                PlistReadFailure part = PlistReadFailure::None;
                EXPECT_EQ(readPropertyListFile(entry.path().string(), nullptr, &part, selection).has_value(), read);
                EXPECT_EQ(part, whole);
            }
        }
    }
    EXPECT_GT(files, 100u);
    EXPECT_GT(refused, 10u);
}

TEST(PlistXmlFile, LongAttributesAroundTheMappedBlockSizeReadAlike)
{
    // The parser keeps attribute values in pools that grow by reallocation; blocks of 2 MiB or
    // more are mapped rather than allocated, so these values cross that size while growing.
    TempFolder temp;
    const std::size_t mib = std::size_t(1) << 20;
    for (const std::size_t length : {std::size_t(4000), 2 * mib - 100, 2 * mib, 2 * mib + 100, 5 * mib}) {
        SCOPED_TRACE(length);
        const std::string bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\" note=\"" +
                                  std::string(length, 'a') + "\"><dict><key>K</key><string>v</string></dict></plist>\n";
        PlistReadFailure fromBytes = PlistReadFailure::None;
        const auto parsed = parsePropertyList(bytes, nullptr, &fromBytes);
        PlistReadFailure fromFile = PlistReadFailure::None;
        const auto read = readPropertyListFile(temp.write("attribute.plist", bytes), nullptr, &fromFile);
        EXPECT_EQ(fromFile, fromBytes);
        ASSERT_TRUE(read && parsed);
        EXPECT_EQ(*read, *parsed);
        EXPECT_EQ(*read, PlistValue(dict({{"K", PlistValue("v")}})));
    }
}

TEST(PlistXmlFile, LargeFilesReadAsTheirBytesParse)
{
    // Documents of several MiB, so that pages are handed back while the outer elements, opened
    // on the first page, stay open to the very end.
    PlistArray modules;
    for (int i = 0; i < 80000; ++i)
        modules.push_back(PlistValue(dict({{"Name", PlistValue("Module " + std::to_string(i))},
                                           {"Path", PlistValue("/Library/Modules/M" + std::to_string(i))}})));
    const std::string longText(6u << 20, 'x');
    const std::function<std::string(std::string)> sameBytes = [](std::string xml) { return xml; };
    const std::function<std::string(std::string)> lastTagMismatched = [](std::string xml) {
        xml.replace(xml.rfind("</dict>"), 7, "</dixt>");
        return xml;
    };
    // The same ASCII document in UTF-16 (little-endian, with a byte-order mark), whose byte
    // positions are twice its character positions.
    const std::function<std::string(std::string)> inUtf16 = [](std::string xml) {
        xml.replace(xml.find("encoding=\"UTF-8\""), 16, "encoding=\"UTF-16\"");
        std::string wide = "\xFF\xFE";
        for (const char c : xml)
            wide.append({c, '\0'});
        return wide;
    };
    struct Case {
        const char* name;
        PlistValue document;
        std::function<std::string(std::string)> edit;
        bool reads;
    };
    const std::vector<Case> cases = {
        {"many modules", PlistValue(dict({{"Modules", PlistValue(modules)}, {"After", "end"}})), sameBytes, true},
        {"a string longer than a release step", PlistValue(dict({{"Text", PlistValue(longText)}, {"Modules", PlistValue(modules)}})), sameBytes, true},
        {"UTF-16", PlistValue(dict({{"Modules", PlistValue(modules)}})), inUtf16, true},
        {"the outermost end tag mismatched", PlistValue(dict({{"Modules", PlistValue(modules)}})), lastTagMismatched, false},
    };
    TempFolder temp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = c.edit(xmlPropertyList(c.document));
        ASSERT_GT(bytes.size(), 8u << 20);
        const std::string file = temp.write("large.plist", bytes);
        PlistReadFailure failure = PlistReadFailure::None;
        const auto read = readPropertyListFile(file, nullptr, &failure);
        ASSERT_EQ(read.has_value(), c.reads);
        EXPECT_EQ(failure, c.reads ? PlistReadFailure::None : PlistReadFailure::Malformed);
        if (read) {
            EXPECT_EQ(*read, c.document);
            EXPECT_EQ(*read, *parsePropertyList(bytes));
        }
    }
}
