#include "platform/installer/InstallerPane.h"

namespace platform {

InstallerPane* InstallerPane::initWithSection(InstallerSection* section)
{
    m_section = section;
    return this;
}

void InstallerPane::setNextEnabled(bool enabled)
{
    m_nextEnabled = enabled;
    if (m_nextEnabledHandler) {
        m_nextEnabledHandler(enabled);
    }
}

}  // namespace platform
