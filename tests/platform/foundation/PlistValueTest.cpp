#include "platform/foundation/PlistValue.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(PlistDictionary, KeepsInsertionOrderAcrossReplaceAndErase)
{
    PlistDictionary dict;
    dict.set("b", "1");
    dict.set("a", "2");
    dict.set("c", "3");
    dict.set("b", "4");
    EXPECT_EQ(dict.keys(), (std::vector<std::string>{"b", "a", "c"}));
    EXPECT_EQ(*dict.stringForKey("b"), "4");
    EXPECT_TRUE(dict.erase("a"));
    EXPECT_FALSE(dict.erase("a"));
    EXPECT_EQ(dict.keys(), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(*dict.stringForKey("c"), "3");
    EXPECT_EQ(*dict.valueAt(1).asString(), "3");

    PlistDictionary more;
    more.set("c", "5");
    more.set("d", "6");
    dict.addEntriesFromDictionary(more);
    EXPECT_EQ(dict.keys(), (std::vector<std::string>{"b", "c", "d"}));
    EXPECT_EQ(*dict.stringForKey("c"), "5");
}

TEST(PlistDictionary, LookupsOfAnotherTypeAnswerNull)
{
    PlistDictionary dict;
    dict.set("s", "text");
    dict.set("n", 3);
    dict.set("a", PlistArray{});
    EXPECT_FALSE(dict.stringForKey("n"));
    EXPECT_FALSE(dict.arrayForKey("s"));
    EXPECT_FALSE(dict.dictionaryForKey("a"));
    EXPECT_FALSE(dict.stringForKey("missing"));
    EXPECT_TRUE(dict.arrayForKey("a"));
    EXPECT_FALSE(dict.contains("missing"));
}

TEST(PlistDictionary, EqualityIgnoresOrderButNotValues)
{
    PlistDictionary one;
    one.set("a", "1");
    one.set("b", PlistArray{PlistValue(1), PlistValue(true)});
    PlistDictionary two;
    two.set("b", PlistArray{PlistValue(1), PlistValue(true)});
    two.set("a", "1");
    EXPECT_EQ(one, two);
    two.set("a", 1);
    EXPECT_NE(one, two);
    PlistDictionary copy = one;
    copy.erase("b");
    EXPECT_EQ(copy.keys(), (std::vector<std::string>{"a"}));
    EXPECT_TRUE(one.contains("b"));
}
