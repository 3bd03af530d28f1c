#include "platform/foundation/PlistValue.h"

#include "platform/foundation/KeyHash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

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

TEST(PlistDictionary, LookupsHoldAcrossTheIndexThreshold)
{
    // Sizes on both sides of the point where a dictionary starts keeping a hash index.
    const std::size_t sizes[] = {0, 1, PlistDictionary::kIndexedSize, PlistDictionary::kIndexedSize + 1, 100, 5000};
    for (const std::size_t size : sizes) {
        SCOPED_TRACE(size);
        for (const bool reserved : {false, true}) {
            PlistDictionary dict;
            if (reserved)
                dict.reserve(size);
            for (std::size_t i = 0; i < size; ++i)
                dict.set("key" + std::to_string(i), PlistValue(static_cast<std::int64_t>(i)));
            dict.set("key0", PlistValue("replaced"));
            ASSERT_EQ(dict.size(), std::max<std::size_t>(size, 1));
            for (std::size_t i = 1; i < size; ++i)
                ASSERT_EQ(*dict.find("key" + std::to_string(i))->asInteger(), static_cast<std::int64_t>(i));
            EXPECT_EQ(*dict.stringForKey("key0"), "replaced");
            EXPECT_FALSE(dict.contains("key" + std::to_string(std::max<std::size_t>(size, 1))));
            EXPECT_FALSE(dict.contains("ke"));
            if (size < 3)
                continue;
            EXPECT_TRUE(dict.erase("key1"));
            EXPECT_FALSE(dict.contains("key1"));
            EXPECT_EQ(*dict.find("key2")->asInteger(), 2);
            EXPECT_EQ(dict.keyAt(1), "key2");
            const PlistDictionary copy = dict;
            EXPECT_EQ(copy, dict);
            EXPECT_EQ(*copy.find("key" + std::to_string(size - 1))->asInteger(), static_cast<std::int64_t>(size - 1));

        }
    }
}

TEST(PlistDictionary, KeysErasedTogetherLeaveTheOthersInOrderAndFoundAtEverySize)
{
    struct Case {
        const char* what;
        std::size_t size;
        std::size_t step;  // every step-th key goes, from the first
    };
    const Case cases[] = {
        {"one of a small dictionary", 5, 5},
        {"a small dictionary to none", 5, 1},
        {"down to the size that needs no index", PlistDictionary::kIndexedSize + 3, 6},
        {"a few of many", 5000, 997},
        {"every third of many, so that probe runs are mended at every turn", 5000, 3},
        {"all of many", 300, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PlistDictionary dict;
        std::vector<std::string> order;
        std::vector<std::string> going;
        for (std::size_t i = 0; i < c.size; ++i) {
            const std::string key = "module-" + std::to_string(i * 7919 % 100003);
            dict.set(key, PlistValue(static_cast<std::int64_t>(i)));
            (i % c.step == 0 ? going : order).push_back(key);
        }
        // An absent key, and a key named twice, are passed over.
        std::vector<std::string> asked = going;
        asked.push_back("absent");
        asked.push_back(going.front());
        EXPECT_EQ(dict.eraseKeys(asked), going.size());
        ASSERT_EQ(dict.size(), order.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            ASSERT_EQ(dict.keyAt(i), order[i]);
            ASSERT_NE(dict.find(order[i]), nullptr) << order[i];
            ASSERT_EQ(dict.find(order[i]), &dict.valueAt(i)) << order[i];
        }
        for (const std::string& key : going)
            ASSERT_FALSE(dict.contains(key)) << key;
        // The dictionary goes on as one never erased from.
        dict.set("added", PlistValue("last"));
        EXPECT_EQ(dict.keyAt(dict.size() - 1), "added");
        EXPECT_EQ(dict.size(), order.size() + 1);
        EXPECT_EQ(dict.eraseKeys({}), 0u);
    }
}

TEST(PlistDictionary, TakenEntriesFoldRepeatedKeysAsSetWould)
{
    const std::size_t sizes[] = {1, 3, PlistDictionary::kIndexedSize, PlistDictionary::kIndexedSize + 1, 300};
    std::vector<PlistDictionary::Entry> entries;
    for (const std::size_t size : sizes) {
        SCOPED_TRACE(size);
        PlistDictionary expected;
        for (std::size_t i = 0; i < size; ++i) {
            // Every third key comes back later with a new value.
            const std::string key = "key" + std::to_string(i % 3 == 2 ? i - 2 : i);
            entries.push_back({key, PlistValue(static_cast<std::int64_t>(i))});
            expected.set(key, PlistValue(static_cast<std::int64_t>(i)));
        }
        const PlistDictionary taken = PlistDictionary::takeEntries(entries);
        EXPECT_TRUE(entries.empty());
        ASSERT_EQ(taken.keys(), expected.keys());
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(*taken.find(expected.keyAt(i)), expected.valueAt(i)) << expected.keyAt(i);
        EXPECT_FALSE(taken.contains("key" + std::to_string(size)));
    }
}

TEST(PlistDictionary, TakenEntriesWithDroppedOnesGiveEachKeyItsLastValueAtEverySize)
{
    // Each key keeps the place it first had and its last value, and goes when that was dropped.
    struct Pattern {
        const char* name;
        std::size_t keyEvery;  // entry i has key i / keyEvery, so keys come keyEvery times in a row
        std::size_t dropEvery;
        std::size_t dropAt;
    };
    const Pattern patterns[] = {
        {"distinct keys", 1, 10, 9},
        {"distinct keys, most dropped", 1, 4, 1},
        {"repeated, last dropped", 2, 4, 3},
        {"repeated, first dropped", 2, 4, 0},
    };
    const std::size_t sizes[] = {3, PlistDictionary::kIndexedSize + 1, 40, 300};
    for (const Pattern& p : patterns) {
        for (const std::size_t size : sizes) {
            for (const bool withHashes : {false, true}) {
                SCOPED_TRACE(std::string(p.name) + ", " + std::to_string(size) + (withHashes ? ", hashed" : ""));
                std::vector<PlistDictionary::Entry> entries;
                std::vector<std::size_t> hashes;
                std::vector<std::size_t> dropped;
                std::vector<std::string> order;
                std::map<std::string, std::pair<std::int64_t, bool>> last;
                for (std::size_t i = 0; i < size; ++i) {
                    const std::string key = "key" + std::to_string(i / p.keyEvery);
                    const bool drop = i % p.dropEvery == p.dropAt;
                    entries.push_back({key, PlistValue(static_cast<std::int64_t>(i))});
                    hashes.push_back(platform::keyHash(key));
                    if (drop)
                        dropped.push_back(i);
                    if (last.count(key) == 0)
                        order.push_back(key);
                    last[key] = {static_cast<std::int64_t>(i), drop};
                }
                std::vector<std::string> expected;
                for (const std::string& key : order) {
                    if (!last[key].second)
                        expected.push_back(key);
                }
                const PlistDictionary dict =
                    PlistDictionary::takeEntries(entries, withHashes ? &hashes : nullptr, &dropped);
                EXPECT_TRUE(entries.empty());
                EXPECT_TRUE(!withHashes || hashes.empty());
                ASSERT_EQ(dict.keys(), expected);
                for (const std::string& key : expected)
                    EXPECT_EQ(*dict.find(key)->asInteger(), last[key].first) << key;
            }
        }
    }
}

TEST(PlistValue, IntegersAboveInt64MaxAreHeldUnsigned)
{
    const std::pair<std::uint64_t, bool> cases[] = {
        {0, false}, {9223372036854775807u, false}, {9223372036854775808u, true}, {18446744073709551615u, true}};
    for (const auto& [number, large] : cases) {
        const PlistValue value(number);
        EXPECT_EQ(value.type(), PlistValue::Type::Integer);
        EXPECT_EQ(value.asInteger() == nullptr, large) << number;
        EXPECT_EQ(value.asUnsignedInteger() != nullptr, large) << number;
        if (large) {
            EXPECT_EQ(*value.asUnsignedInteger(), number);
        } else {
            EXPECT_EQ(static_cast<std::uint64_t>(*value.asInteger()), number);
        }
    }
    EXPECT_EQ(PlistValue(std::uint64_t{5}), PlistValue(5));
    EXPECT_FALSE(PlistValue(std::uint64_t{18446744073709551615u}) == PlistValue(-1));
}

TEST(PlistValue, CopiesShareUntilOneIsChanged)
{
    PlistValue original(PlistArray{"a", "b"});
    const PlistValue copy = original;
    EXPECT_TRUE(copy.sharesWith(original));
    original.asArray()->push_back("c");
    EXPECT_FALSE(copy.sharesWith(original));
    EXPECT_EQ(copy.asArray()->size(), 2u);
    EXPECT_EQ(std::as_const(original).asArray()->size(), 3u);
}

TEST(PlistValue, AValueHandedOutForChangesIsNeverSharedAgain)
{
    // A pointer kept from asDictionary() changes only its own value, even after a copy is made.
    PlistValue original{PlistDictionary()};
    PlistDictionary* dict = original.asDictionary();
    const PlistValue copy = original;
    dict->set("k", "v");
    EXPECT_FALSE(copy.sharesWith(original));
    EXPECT_TRUE(copy.asDictionary()->empty());
    EXPECT_EQ(*std::as_const(original).asDictionary()->stringForKey("k"), "v");
}

TEST(PlistValue, MovedFromIsTheEmptyStringAndAssignmentReleasesTheOld)
{
    PlistValue from(std::string(100, 'x'));
    PlistValue to(PlistData{{1, 2, 3}});
    to = std::move(from);
    EXPECT_EQ(*to.asString(), std::string(100, 'x'));
    ASSERT_TRUE(from.asString());
    EXPECT_TRUE(from.asString()->empty());
    PlistValue self(PlistArray{1});
    const PlistValue& alias = self;
    self = alias;
    EXPECT_EQ(self.asArray()->size(), 1u);
}

TEST(PlistValue, EqualityLooksAtValuesNotSharing)
{
    EXPECT_EQ(PlistValue(std::string("s")), PlistValue("s"));
    EXPECT_EQ(PlistValue(""), PlistValue(std::string()));
    EXPECT_NE(PlistValue(""), PlistValue(PlistArray{}));
    EXPECT_NE(PlistValue(1), PlistValue(1.0));
    EXPECT_NE(PlistValue(std::uint64_t{1} << 63), PlistValue(std::int64_t{-1}));
    EXPECT_EQ(PlistValue(PlistDate{1.5}), PlistValue(PlistDate{1.5}));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_NE(PlistValue(nan), PlistValue(nan));
    EXPECT_LE(sizeof(PlistValue), 16u);
}

TEST(PlistDictionary, TakenEntriesLeaveOutKeysWhoseLastValueWasDropped)
{
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, int>> entries;
        std::vector<std::size_t> dropped;
        std::vector<std::pair<std::string, int>> expected;
    };
    const Case cases[] = {
        {"last dropped", {{"a", 1}, {"a", 2}}, {1}, {}},
        {"first dropped", {{"a", 1}, {"a", 2}}, {0}, {{"a", 2}}},
        {"dropped between", {{"a", 1}, {"b", 9}, {"a", 2}, {"a", 3}}, {2}, {{"a", 3}, {"b", 9}}},
        {"other key kept in place", {{"b", 1}, {"a", 2}, {"b", 3}}, {2}, {{"a", 2}}},
    };
    for (const Case& c : cases) {
        std::vector<PlistDictionary::Entry> entries;
        for (const auto& [key, value] : c.entries)
            entries.push_back({PlistValue(key), PlistValue(value)});
        const PlistDictionary dict = PlistDictionary::takeEntries(entries, nullptr, &c.dropped);
        ASSERT_EQ(dict.size(), c.expected.size()) << c.name;
        for (const auto& [key, value] : c.expected) {
            ASSERT_TRUE(dict.find(key)) << c.name << " " << key;
            EXPECT_EQ(*dict.find(key)->asInteger(), value) << c.name << " " << key;
        }
    }
}
