#pragma once

#include "platform/foundation/Bundle.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace oxlade {

/// An ordered list of loaded bundles.
using BundleList = std::vector<std::shared_ptr<platform::Bundle>>;

/// Finds the plug-in's own bundle among the loaded bundles and looks up its user-visible texts.
/// Both the pane and the view controller derive from it, so they answer alike.
class LayoutPluginBundleLookup {
public:
    virtual ~LayoutPluginBundleLookup() = default;

    /// The loaded bundles, in the platform's order, whose folder name equals name and whose
    /// identifier equals identifier; an argument that is none matches every bundle. Empty when
    /// none matches; none only when the list cannot be made.
    std::optional<BundleList> FindMyBundle(const std::optional<std::string>& name,
                                           const std::optional<std::string>& identifier) const;

    /// The loaded bundles that are this plug-in ("Oxlade.bundle", "com.tavix.Oxlade").
    std::optional<BundleList> getBundleArray() const;

    /// The text for key: first the standard lookup in the bundle that holds this code, then the
    /// localization that the language table gives the first preferred language, searched in each
    /// bundle of the list. A text equal to its key counts as missing. "" without a key; the key
    /// itself when no table has a text.
    std::string localizedStringForKey(const std::optional<BundleList>& bundles,
                                      const std::optional<std::string>& key) const;

    /// The localization the explicit stage searches for a first preferred language ("de" is
    /// "German", "zh-Hans" is "zh_CN"); "English" for every other language and for none.
    static std::string localizationForLanguages(const std::vector<std::string>& preferredLanguages);

    /// The bundle whose loaded code holds this class, or null when the code belongs to no
    /// loaded bundle.
    static std::shared_ptr<platform::Bundle> codeBundle();

    /// Makes codeBundle() answer the given bundle (null for none) until reset with none; for
    /// tests, whose code is not inside the plug-in.
    static void setCodeBundleOverride(std::optional<std::shared_ptr<platform::Bundle>> bundle);
};

}  // namespace oxlade
