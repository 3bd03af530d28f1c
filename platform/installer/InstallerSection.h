#pragma once

#include "platform/foundation/PlistValue.h"

#include <memory>

namespace platform {

class Bundle;

/// One section of an installation: a plug-in bundle and the dictionary that every section of
/// the same installation shares.
class InstallerSection {
public:
    InstallerSection(std::shared_ptr<Bundle> bundle, std::shared_ptr<PlistDictionary> sharedDictionary);

    const std::shared_ptr<Bundle>& bundle() const { return m_bundle; }
    /// The one mutable dictionary of the installation.
    PlistDictionary& sharedDictionary() { return *m_sharedDictionary; }

private:
    std::shared_ptr<Bundle> m_bundle;
    std::shared_ptr<PlistDictionary> m_sharedDictionary;
};

}  // namespace platform
