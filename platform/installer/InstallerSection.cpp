#include "platform/installer/InstallerSection.h"

#include "platform/foundation/Bundle.h"

namespace platform {

InstallerSection::InstallerSection(std::shared_ptr<Bundle> bundle, std::shared_ptr<PlistDictionary> sharedDictionary)
    : m_bundle(std::move(bundle)),
      m_sharedDictionary(sharedDictionary ? std::move(sharedDictionary) : std::make_shared<PlistDictionary>())
{
}

}  // namespace platform
