// A selecting read gives exactly what the whole read gives, cut down by the selection: the same
// files accepted and refused, the same value for every kept path, one answer for a repeated key.

#include "platform/foundation/PropertyList.h"

#include "fuzz/FuzzSupport.h"
#include "platform/foundation/BinaryPlistBuilder.h"
#include "platform/foundation/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

using namespace platform;
using foundation_test::readAll;
namespace fs = std::filesystem;

namespace {

bool isListed(const PlistValue& value)
{
    const PlistDictionary* entry = value.asDictionary();
    const std::string* name = entry ? entry->stringForKey("ModuleName") : nullptr;
    return name && name->find("vLX") != std::string::npos && entry->stringForKey("InstallPath");
}

struct NamedSelection {
    std::string name;
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

// Both reads accept or refuse the bytes alike, for one reason, and what the selecting read keeps
// is what the selection keeps of the whole read (worked out on the value, not by a reader).
void expectReadsAgree(const std::string& bytes, const std::string& label,
                      const std::vector<NamedSelection>& named = selections())
{
    PlistReadFailure wholeFailure = PlistReadFailure::None;
    const std::optional<PlistValue> whole = parsePropertyList(bytes, nullptr, &wholeFailure);
    for (const NamedSelection& one : named) {
        SCOPED_TRACE(label + " with " + one.name);
        PlistReadFailure failure = PlistReadFailure::None;
        const std::optional<PlistValue> selected = parsePropertyList(bytes, nullptr, &failure, &one.selection);
        ASSERT_EQ(selected.has_value(), whole.has_value()) << describePlistReadFailure(failure) << " / "
                                                       << describePlistReadFailure(wholeFailure);
        EXPECT_EQ(failure, wholeFailure);
        if (whole) {
            EXPECT_EQ(*selected, fuzz::cutDown(*whole, one.selection));
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
    return foundation_test::binaryPlistFile(objects, 1, 1, 0);
}

std::string xmlDictionaryOf(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>";
    for (const auto& [key, value] : entries)
        out += "<key>" + key + "</key><string>" + value + "</string>";
    return out + "</dict></plist>";
}

// A registry whose modules reach one shared list alternately as their entry and, through a
// small dictionary, as their install path, so that a selecting read meets the list under two
// selections in turn.
struct CrossingShape {
    const char* name;
    std::size_t modules;
    std::size_t listLength;
    // Each module that wraps the list has a dictionary of its own, rather than all one.
    bool ownWrappers;
    // The list's elements are one shared module, whose install path is a second shared list.
    bool sharedModules;
};

void PrintTo(const CrossingShape& shape, std::ostream* out)
{
    *out << shape.name;
}

std::string crossingRegistry(const CrossingShape& shape)
{
    foundation_test::BinaryPlistBuilder b;
    const std::uint32_t root = b.reserve();
    const std::uint32_t modulesKey = b.string("KEP2_KEY_MODULES");
    const std::uint32_t installPath = b.string("InstallPath");
    const std::uint32_t moduleName = b.string("ModuleName");
    const std::uint32_t yes = b.boolean(true);
    std::uint32_t element = yes;
    if (shape.sharedModules) {
        const std::uint32_t paths = b.array({b.string("/Library/Printers/Alpha"), yes});
        element = b.dictionary({{moduleName, b.string("Alpha vLX")}, {installPath, paths}});
    }
    const std::uint32_t list = b.array(std::vector<std::uint32_t>(shape.listLength, element));
    const std::uint32_t wrapper = b.dictionary({{installPath, list}});
    std::vector<std::pair<std::uint32_t, std::uint32_t>> modules;
    for (std::size_t i = 0; i < shape.modules; ++i) {
        const std::uint32_t value = i % 2 == 0 ? list : shape.ownWrappers ? b.dictionary({{installPath, list}}) : wrapper;
        modules.emplace_back(b.string("U" + std::to_string(i)), value);
    }
    b.setDictionary(root, {{modulesKey, b.dictionary(modules)}});
    return b.bytes(root);
}

// Selections that read the modules of a registry each with one of a few selections in turn,
// shifted by one for each selection, so that every shared object is met under all of them.
std::vector<NamedSelection> crossingSelections(std::size_t modules)
{
    using S = PlistSelection;
    const std::vector<std::pair<const char*, S>> parts = {
        {"whole", S()},
        {"install path", S::none().key("InstallPath")},
        {"names below install path", S::none().onlyDictionaries().key("InstallPath", S::none().key("ModuleName"))},
        {"listed only", S::none().key("ModuleName").key("InstallPath").keepIf(isListed)},
        {"arrays kept", S().keepIf([](const PlistValue& value) { return value.asArray() != nullptr; })},
    };
    std::vector<NamedSelection> result = selections();
    for (std::size_t shift = 0; shift < parts.size(); ++shift) {
        S perModule = S::none();
        for (std::size_t i = 0; i < modules; ++i)
            perModule.key("U" + std::to_string(i), parts[(i + shift) % parts.size()].second);
        result.push_back({std::string("modules from ") + parts[shift].first, S::none().key("KEP2_KEY_MODULES", perModule)});
    }
    return result;
}

class CrossingSelections : public ::testing::TestWithParam<CrossingShape> {};

}  // namespace

TEST_P(CrossingSelections, ReadAlikeWholeAndSelected)
{
    const CrossingShape& shape = GetParam();
    const std::string bytes = crossingRegistry(shape);
    PlistReadFailure failure = PlistReadFailure::None;
    ASSERT_TRUE(parsePropertyList(bytes, nullptr, &failure)) << describePlistReadFailure(failure);
    expectReadsAgree(bytes, shape.name, crossingSelections(shape.modules));
}

INSTANTIATE_TEST_SUITE_P(PlistReadAgreement, CrossingSelections,
                         ::testing::Values(CrossingShape{"ThreeModulesEachWay", 6, 1000, false, false},
                                           CrossingShape{"ManyCrossingsOneWrapper", 60, 500, false, false},
                                           CrossingShape{"ManyCrossingsOwnWrappers", 60, 500, true, false},
                                           CrossingShape{"SharedModulesInTheList", 20, 200, true, true},
                                           CrossingShape{"ShortListManyModules", 300, 2, true, true}),
                         [](const ::testing::TestParamInfo<CrossingShape>& info) { return std::string(info.param.name); });

TEST(PlistReadAgreement, EveryCorpusFileReadsAlikeWholeAndSelected)
{
    expectEveryFileAgrees(std::string(SHARED_DIR) + "/corpus/plist", 100);
}

TEST(PlistReadAgreement, EveryHostileFileReadsAlikeWholeAndSelected)
{
    expectEveryFileAgrees(std::string(SHARED_DIR) + "/hostile-inputs", 20);
    expectEveryFileAgrees(std::string(SHARED_DIR) + "/hostile-inputs-4", 2);
}

TEST(PlistReadAgreement, RegistryWhoseListIsAlsoAnInstallPathReadsInBothReads)
{
    // One list is the entry of three modules and, through small dictionaries, the install path
    // of three others: the selecting read of the rows meets it under two selections in turn.
    const std::string path = std::string(SHARED_DIR) + "/hostile-inputs-4/M4-registry-crossing-selection.bplist";
    PlistReadFailure failure = PlistReadFailure::None;
    const auto whole = readPropertyListFile(path, nullptr, &failure);
    ASSERT_TRUE(whole) << describePlistReadFailure(failure);
    const NamedSelection rows = selections()[2];
    const auto selected = readPropertyListFile(path, nullptr, &failure, &rows.selection);
    ASSERT_TRUE(selected) << describePlistReadFailure(failure);
    EXPECT_EQ(*selected, fuzz::cutDown(*whole, rows.selection));
    const PlistDictionary* modules = whole->asDictionary()->dictionaryForKey("KEP2_KEY_MODULES");
    ASSERT_TRUE(modules);
    EXPECT_EQ(modules->size(), 6u);
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
