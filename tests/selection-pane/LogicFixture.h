#pragma once

#include "selection-pane/PaneTestSupport.h"

#include "selection-pane/LayoutPluginBundleLookup.h"

namespace oxlade::test {

/// A PaneFixture for the pane's logic linked into the test program: the code belongs to no
/// bundle unless a test says so.
class LogicFixture : public PaneFixture {
protected:
    void SetUp() override
    {
        PaneFixture::SetUp();
        LayoutPluginBundleLookup::setCodeBundleOverride(std::shared_ptr<platform::Bundle>());
    }
    void TearDown() override
    {
        LayoutPluginBundleLookup::setCodeBundleOverride(std::nullopt);
        PaneFixture::TearDown();
    }
};

}  // namespace oxlade::test
