#include "platform/appkit/UiBackend.h"

#include "platform/appkit/Interface.h"
#include "platform/appkit/OpenPanel.h"

#include <cstdio>

namespace platform {

namespace {

// Answers like a user who cancels every panel and dismisses every alert, so that code running
// before a backend is set neither crashes nor blocks.
class NullOpenPanel : public OpenPanel {
public:
    void setCanChooseDirectories(bool) override {}
    void setCanChooseFiles(bool) override {}
    NSInteger runModalForDirectory(const std::optional<std::string>&, const std::optional<std::string>&,
                                   const std::optional<std::vector<std::string>>&) override
    {
        return 0;
    }
    std::string filename() const override { return std::string(); }
};

class NullUiBackend : public UiBackend {
public:
    std::unique_ptr<OpenPanel> makeOpenPanel() override { return std::make_unique<NullOpenPanel>(); }
    NSInteger runAlert(AlertKind, const std::string&, const std::string&, const std::string&) override { return 1; }
    std::unique_ptr<Interface> loadInterface(const std::string&) override { return nullptr; }
    int runEventLoop(const std::function<void()>& onStarted) override
    {
        if (onStarted) {
            onStarted();
        }
        return 0;
    }
    void quitEventLoop() override {}
    void setBusy(bool) override {}
    void processEvents() override {}
};

UiBackend* g_backend = nullptr;

}  // namespace

UiBackend& uiBackend()
{
    if (g_backend) {
        return *g_backend;
    }
    static NullUiBackend fallback;
    static bool warned = false;
    if (!warned) {
        warned = true;
        std::fputs("platform: no UI backend is set; panels cancel and alerts are not shown\n", stderr);
    }
    return fallback;
}

void setUiBackend(UiBackend* backend)
{
    g_backend = backend;
}

bool hasUiBackend()
{
    return g_backend != nullptr;
}

}  // namespace platform
