#include "selection-pane/LayoutPluginBundleLookup.h"

#include "selection-pane/LayoutPluginKeys.h"

#include "platform/foundation/Locale.h"
#include "platform/foundation/Path.h"

#include <array>
#include <new>
#include <utility>

namespace oxlade {

namespace {

// An object inside this code, whose address tells which loaded bundle holds the code.
const char kCodeAnchor = 0;

std::optional<std::shared_ptr<platform::Bundle>>& codeBundleOverride()
{
    static std::optional<std::shared_ptr<platform::Bundle>> bundle;
    return bundle;
}

struct LanguageLocalization {
    const char* language;
    const char* localization;
};

// Tried in this order; the first exact match wins.
constexpr std::array<LanguageLocalization, 7> kLanguageTable{{
    {"de", "German"},
    {"es", "Spanish"},
    {"fr", "French"},
    {"it", "Italian"},
    {"ja", "Japanese"},
    {"ko", "ko"},
    {"zh-Hans", "zh_CN"},
}};

constexpr const char* kDefaultLocalization = "English";

}  // namespace

std::optional<BundleList> LayoutPluginBundleLookup::FindMyBundle(const std::optional<std::string>& name,
                                                                 const std::optional<std::string>& identifier) const
{
    try {
        BundleList result;
        for (const auto& bundle : platform::Bundle::allBundles()) {
            if (!bundle)
                continue;
            if (name && *name != platform::lastPathComponent(bundle->bundlePath()))
                continue;
            if (identifier) {
                const std::optional<std::string> bundleIdentifier = bundle->bundleIdentifier();
                if (!bundleIdentifier || *bundleIdentifier != *identifier)
                    continue;
            }
            result.push_back(bundle);
        }
        return result;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<BundleList> LayoutPluginBundleLookup::getBundleArray() const
{
    return FindMyBundle(std::string(kBundleFileName), std::string(kBundleIdentifier));
}

std::string LayoutPluginBundleLookup::localizedStringForKey(const std::optional<BundleList>& bundles,
                                                            const std::optional<std::string>& key) const
{
    if (!key)
        return std::string();

    if (const std::shared_ptr<platform::Bundle> own = codeBundle()) {
        std::string text = own->localizedStringForKey(*key);
        if (text != *key)
            return text;
    }

    if (!bundles)
        return *key;

    const std::string localization = localizationForLanguages(platform::preferredLanguages());
    for (const auto& bundle : *bundles) {
        if (!bundle)
            continue;
        const std::optional<std::string> tablePath =
            bundle->pathForResource(kStringsTableName, kStringsTableType, std::string(), localization);
        if (!tablePath)
            continue;
        const std::shared_ptr<platform::Bundle> folder =
            platform::Bundle::bundleWithPath(platform::stringByDeletingLastPathComponent(*tablePath));
        if (!folder)
            continue;
        std::string text = folder->localizedStringForKey(*key);
        if (text != *key)
            return text;
    }
    return *key;
}

std::string LayoutPluginBundleLookup::localizationForLanguages(const std::vector<std::string>& preferredLanguages)
{
    if (preferredLanguages.empty())
        return kDefaultLocalization;
    const std::string& first = preferredLanguages.front();
    for (const auto& row : kLanguageTable) {
        if (first == row.language)
            return row.localization;
    }
    return kDefaultLocalization;
}

std::shared_ptr<platform::Bundle> LayoutPluginBundleLookup::codeBundle()
{
    if (const auto& forced = codeBundleOverride())
        return *forced;
    return platform::Bundle::bundleForAddress(&kCodeAnchor);
}

void LayoutPluginBundleLookup::setCodeBundleOverride(std::optional<std::shared_ptr<platform::Bundle>> bundle)
{
    codeBundleOverride() = std::move(bundle);
}

}  // namespace oxlade
