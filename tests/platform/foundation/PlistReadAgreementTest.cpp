// A selecting read gives exactly what the whole read gives, cut down by the selection: the same
// files accepted and refused, the same value for every kept path, one answer for a repeated key.

#include "platform/foundation/PropertyList.h"

#include "platform/foundation/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace platform;
using foundation_test::readAll;
namespace fs = std::filesystem;

namespace {

// What a selection keeps of a value read whole, worked out on the value rather than by a reader.
PlistValue cutDown(const PlistValue& value, const PlistSelection& selection)
{
    if (const PlistDictionary* dict = value.asDictionary()) {
        PlistDictionary kept;
        for (std::size_t i = 0; i < dict->size(); ++i) {
            const PlistSelection* below = selection.below(dict->keyAt(i));
            if (!below)
                continue;
            PlistValue entry = cutDown(dict->valueAt(i), *below);
            if (below->keeps(entry))
                kept.set(dict->keyAt(i), std::move(entry));
        }
        return PlistValue(std::move(kept));
    }
    if (const PlistArray* array = value.asArray()) {
        PlistArray kept;
        if (selection.keepsArrayElements()) {
            for (const PlistValue& item : *array) {
                PlistValue element = cutDown(item, selection);
                if (selection.keeps(element))
                    kept.push_back(std::move(element));
            }
        }
        return PlistValue(std::move(kept));
    }
    return value;
}

bool isListed(const PlistValue& value)
{
    const PlistDictionary* entry = value.asDictionary();
    const std::string* name = entry ? entry->stringForKey("ModuleName") : nullptr;
    return name && name->find("vLX") != std::string::npos && entry->stringForKey("InstallPath");
}

struct NamedSelection {
    const char* name;
    PlistSelection selection;
};

// The shapes of selection the programs use, and a few more.
std::vector<NamedSelection> selections()
{
    using S = PlistSelection;
    return {
        {"everything", S()},
        {"nothing", S::none()},
        {"registry rows",
         S::none().onlyDictionaries().key(
             "KEP2_KEY_MODULES",
             S::none().onlyDictionaries().anyOtherKey(S::none().key("ModuleName").key("InstallPath").keepIf(isListed)))},
        {"plan entries", S::none().onlyDictionaries().key(
                             "Modules", S::none().anyOtherKey(S::none().key("UUID").key("UnInstallPath")))},
        {"strings only", S::none().anyOtherKey(S().keepIf([](const PlistValue& v) { return v.asString() != nullptr; }))},
    };
}

void expectReadsAgree(const std::string& bytes, const std::string& label)
{
    PlistReadFailure wholeFailure = PlistReadFailure::None;
    const std::optional<PlistValue> whole = parsePropertyList(bytes, nullptr, &wholeFailure);
    for (const NamedSelection& named : selections()) {
        SCOPED_TRACE(label + " with " + named.name);
        PlistReadFailure failure = PlistReadFailure::None;
        const std::optional<PlistValue> part = parsePropertyList(bytes, nullptr, &failure, &named.selection);
        ASSERT_EQ(part.has_value(), whole.has_value());
        EXPECT_EQ(failure, wholeFailure);
        if (whole) {
            EXPECT_EQ(*part, cutDown(*whole, named.selection));
        }
    }
}

void expectEveryFileAgrees(const std::string& folder, std::size_t atLeast)
{
    std::size_t seen = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".md" || entry.path().extension() == ".py"
            || entry.path().extension() == ".tsv")
            continue;
        ++seen;
        expectReadsAgree(readAll(entry.path().string()), entry.path().string());
    }
    EXPECT_GE(seen, atLeast);
}

// A binary list of one dictionary whose keys and values are the given strings, in file order
// and repeats kept, as no writer of ours makes them.
std::string binaryDictionaryOf(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::vector<std::string> objects;
    std::string dict;
    dict += static_cast<char>(0xD0 | entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        dict += static_cast<char>(1 + 2 * i);
    for (std::size_t i = 0; i < entries.size(); ++i)
        dict += static_cast<char>(2 + 2 * i);
    objects.push_back(dict);
    for (const auto& [key, value] : entries) {
        objects.push_back(std::string(1, static_cast<char>(0x50 | key.size())) + key);
        objects.push_back(std::string(1, static_cast<char>(0x50 | value.size())) + value);
    }
    std::string out = "bplist00";
    std::vector<std::size_t> offsets;
    for (const std::string& object : objects) {
        offsets.push_back(out.size());
        out += object;
    }
    const std::size_t tableAt = out.size();
    for (const std::size_t offset : offsets)
        out += static_cast<char>(offset);
    out.append(6, '\0');
    out += '\x01';
    out += '\x01';
    const auto append8 = [&out](std::uint64_t value) {
        for (int i = 7; i >= 0; --i)
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    append8(objects.size());
    append8(0);
    append8(tableAt);
    return out;
}

std::string xmlDictionaryOf(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>";
    for (const auto& [key, value] : entries)
        out += "<key>" + key + "</key><string>" + value + "</string>";
    return out + "</dict></plist>";
}

}  // namespace

TEST(PlistReadAgreement, EveryCorpusFileReadsAlikeWholeAndSelected)
{
    expectEveryFileAgrees(std::string(SHARED_DIR) + "/corpus/plist", 100);
}

TEST(PlistReadAgreement, EveryHostileFileReadsAlikeWholeAndSelected)
{
    expectEveryFileAgrees(std::string(SHARED_DIR) + "/hostile-inputs", 20);
}

TEST(PlistReadAgreement, RepeatedKeysTakeTheirLastValueInEveryRead)
{
    // Keys repeated next to each other, apart, three times, and with values that the "strings
    // only" selection would keep or drop alike; in both forms.
    const std::vector<std::vector<std::pair<std::string, std::string>>> documents = {
        {{"a", "1"}, {"a", "2"}},
        {{"a", "1"}, {"b", "x"}, {"a", "2"}},
        {{"a", "1"}, {"a", "2"}, {"a", "3"}, {"b", "4"}},
        {{"k", "v"}, {"j", "w"}, {"k", ""}, {"j", "y"}, {"k", "z"}},
    };
    for (const auto& entries : documents) {
        const std::string label = entries.front().first + " then " + entries.back().first + " x"
                                  + std::to_string(entries.size());
        expectReadsAgree(xmlDictionaryOf(entries), "xml " + label);
        expectReadsAgree(binaryDictionaryOf(entries), "binary " + label);
        for (const std::string& bytes : {xmlDictionaryOf(entries), binaryDictionaryOf(entries)}) {
            const auto value = parsePropertyList(bytes);
            ASSERT_TRUE(value) << label;
            EXPECT_EQ(*value->asDictionary()->stringForKey(entries.front().first),
                      [&] {
                          std::string last;
                          for (const auto& [key, text] : entries)
                              if (key == entries.front().first)
                                  last = text;
                          return last;
                      }())
                << label;
        }
    }
}

TEST(PlistReadAgreement, RegistryNamingAModuleTwiceListsItAsItsLastValueSays)
{
    // Each file names one module twice, first listed, last not: the selecting read of the rows,
    // which tests each value, leaves the module out, as the whole read's last value says.
    const NamedSelection rows = selections()[2];
    for (const char* name : {"I2-registry-repeated-module-key.xml", "I2-registry-repeated-module-key.bplist"}) {
        SCOPED_TRACE(name);
        const std::string path = std::string(SHARED_DIR) + "/hostile-inputs/" + name;
        const auto whole = readPropertyListFile(path);
        ASSERT_TRUE(whole);
        const PlistDictionary* modules = whole->asDictionary()->dictionaryForKey("KEP2_KEY_MODULES");
        ASSERT_TRUE(modules);
        ASSERT_EQ(modules->size(), 1u);
        EXPECT_FALSE(isListed(modules->valueAt(0)));
        const auto part = readPropertyListFile(path, nullptr, nullptr, &rows.selection);
        ASSERT_TRUE(part);
        const PlistDictionary* kept = part->asDictionary()->dictionaryForKey("KEP2_KEY_MODULES");
        ASSERT_TRUE(kept);
        EXPECT_FALSE(kept->contains(modules->keyAt(0)));
    }
}
