#include "platform/foundation/StringsTable.h"

#include "platform/foundation/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using foundation_test::TempFolder;

namespace {

// Encodes UTF-8 text (BMP and beyond) as UTF-16 with a byte-order mark.
std::string utf16(std::string_view utf8, bool bigEndian)
{
    std::u16string units;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        char32_t cp;
        std::size_t length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        cp = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
        for (std::size_t k = 1; k < length; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += length;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            units += static_cast<char16_t>(0xD800 + (cp >> 10));
            units += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            units += static_cast<char16_t>(cp);
        }
    }
    std::string out = bigEndian ? std::string("\xFE\xFF") : std::string("\xFF\xFE");
    for (const char16_t unit : units) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}

const char kTable[] =
    "/* Window texts */\n"
    "\"STEXT_CAPTION\" = \"Plug-ins entfernen\";\n"
    "// A line comment with \"quotes\" = \"ignored\";\n"
    "\"Title\"=\"Auswahl \xE2\x80\x93 Ger\xC3\xA4t \xF0\x9F\x96\xA8\";\n"
    "  \"Multi\"\n  =\n  \"two\nlines\" ;\n";

}  // namespace

TEST(StringsTable, ReadsUtf8AndBothUtf16Forms)
{
    for (const std::string& bytes : {std::string(kTable), "\xEF\xBB\xBF" + std::string(kTable),
                                     utf16(kTable, false), utf16(kTable, true)}) {
        const auto table = parseStringsTable(bytes);
        ASSERT_TRUE(table);
        EXPECT_EQ(table->size(), 3u);
        EXPECT_EQ(table->at("STEXT_CAPTION"), "Plug-ins entfernen");
        EXPECT_EQ(table->at("Title"), "Auswahl \xE2\x80\x93 Ger\xC3\xA4t \xF0\x9F\x96\xA8");
        EXPECT_EQ(table->at("Multi"), "two\nlines");
    }
}

TEST(StringsTable, DecodesEveryEscape)
{
    struct Case {
        const char* source;
        std::string value;
    };
    const Case cases[] = {
        {R"(\n)", "\n"},       {R"(\t)", "\t"},           {R"(\r)", "\r"},
        {R"(\")", "\""},       {R"(\\)", "\\"},           {R"(\')", "'"},
        {R"(\a)", "\a"},       {R"(\b)", "\b"},           {R"(\f)", "\f"},
        {R"(\v)", "\v"},       {R"(\U00e9)", "\xC3\xA9"}, {R"(\U20AC)", "\xE2\x82\xAC"},
        {R"(\U41)", "A"},      {R"(\U263Ax)", "\xE2\x98\xBAx"},
        {R"(\UD83D\UDE00)", "\xF0\x9F\x98\x80"},
        {R"(\101)", "A"},      {R"(\0101)", "\x08" "1"},  {R"(\351)", "\xC3\xA9"},
        {R"(a\qb)", "aqb"},
    };
    for (const Case& c : cases) {
        const auto table = parseStringsTable(std::string("\"k\" = \"") + c.source + "\";");
        ASSERT_TRUE(table) << c.source;
        EXPECT_EQ(table->at("k"), c.value) << c.source;
    }
}

TEST(StringsTable, AcceptsUnquotedWordsAndKeyOnlyEntries)
{
    const auto table = parseStringsTable("MENU_QUIT = Quit_1.0-b;\n\"Same\";\n\"e\" = \"\";\n");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->at("MENU_QUIT"), "Quit_1.0-b");
    EXPECT_EQ(table->at("Same"), "Same");
    EXPECT_EQ(table->at("e"), "");
    EXPECT_TRUE(parseStringsTable(""));
    EXPECT_TRUE(parseStringsTable("  /* only a comment */ // and another"));
}

TEST(StringsTable, AnyFaultYieldsNoTableAtAll)
{
    const std::string broken[] = {
        "\"a\" = \"1\";\n\"b\" = \"2\"\n",       // missing ;
        "\"a\" = \"1\";\n\"b\" = \"unterminated;\n",
        "\"a\" = \"1\";\n/* unterminated comment\n",
        "\"a\" \"1\";",
        "\"a\" = ;",
        "= \"1\";",
        "\"a\" = \"1\";;",
        "\"a\" = \"1\"; \"b\" = @;",
        "\"a\" = \"\\UDC00\";",                   // lone low surrogate
        "\"a\" = \"\\UD83D\";",                   // lone high surrogate
        "\"a\" = \"\\U\";",                       // no hex digits
        "\"a\" = \"caf\xE9\";",                   // Latin-1, not UTF-8
        "\"a\" = \"\xC0\xAF\";",                  // overlong
        "\"a\" = \"\xED\xA0\x80\";",              // encoded surrogate
        "\"a\" = \"\xF4\x90\x80\x80\";",          // above U+10FFFF
        "\"a\" = \"\xE2\x82\";",                  // truncated sequence
        std::string("\xFF\xFE\"\0a", 5),          // odd UTF-16 length
        std::string("\xFF\xFE\x00\xD8\"\0", 6),   // unpaired surrogate in UTF-16
    };
    for (const std::string& bytes : broken)
        EXPECT_FALSE(parseStringsTable(bytes)) << bytes;
}

TEST(StringsTable, LaterEntriesReplaceEarlierOnes)
{
    const auto table = parseStringsTable("\"a\" = \"1\"; \"a\" = \"2\";");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->at("a"), "2");
}

TEST(StringsTable, FilesThatAreNotTablesAreNone)
{
    TempFolder temp;
    EXPECT_FALSE(readStringsTableFile(temp / "missing.strings"));
    EXPECT_FALSE(readStringsTableFile(temp.makeFolder("Localizable.strings")));
    const std::string good = temp.write("Good.strings", utf16(kTable, false));
    const auto table = readStringsTableFile(good);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->at("STEXT_CAPTION"), "Plug-ins entfernen");
    EXPECT_FALSE(readStringsTableFile(temp.write("Broken.strings", "\"a\" = \"1\"")));
    const std::string big = temp / "Big.strings";
    ASSERT_EQ(::truncate(temp.write("Big.strings", "\"a\" = \"1\";").c_str(), kMaxStringsTableBytes + 1), 0);
    EXPECT_FALSE(readStringsTableFile(big));
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(good.c_str(), 0), 0);
        EXPECT_FALSE(readStringsTableFile(good));
    }
}

TEST(StringsTable, ReadsEntriesWrappedInBracesAsOneDictionary)
{
    const auto plain = parseStringsTable("{test = 42;}");
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, (StringsTable {{"test", "42"}}));

    const auto spaced = parseStringsTable("/* head */ {\n  \"a\" = \"1\";\n  b; // key alone\n}\n// tail\n");
    ASSERT_TRUE(spaced);
    EXPECT_EQ(*spaced, (StringsTable {{"a", "1"}, {"b", "b"}}));

    const auto utf16Braced = parseStringsTable(utf16("{\"k\" = \"\xE6\x97\xA5\";}", true));
    ASSERT_TRUE(utf16Braced);
    EXPECT_EQ(utf16Braced->at("k"), "\xE6\x97\xA5");

    const auto empty = parseStringsTable("{ }");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

TEST(StringsTable, BracesMustWrapTheWholeTable)
{
    const std::string broken[] = {
        "{\"a\" = \"1\";",           // never closed
        "\"a\" = \"1\";}",           // closed, never opened
        "{\"a\" = \"1\";} \"b\" = \"2\";",
        "{\"a\" = \"1\";}}",
        "{{\"a\" = \"1\";}}",
        "{\"a\" = \"1\"}",           // the entry's ; is still needed
        "\"a\" = \"1\"; {\"b\" = \"2\";}",
    };
    for (const std::string& bytes : broken)
        EXPECT_FALSE(parseStringsTable(bytes)) << bytes;
}

TEST(StringsTable, TheCorpusBracedTableReadsAsTheDictionaryItHolds)
{
    const auto table = readStringsTableFile(std::string(SHARED_DIR) +
                                            "/corpus/strings/libs-base__Tests__base__NSBundle__Resources__Localizable.strings");
    ASSERT_TRUE(table);
    EXPECT_EQ(*table, (StringsTable {{"test", "42"}}));
}
