#include "platform/appkit/Application.h"
#include "platform/appkit/Menu.h"
#include "platform/appkit/NibClassRegistry.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Path.h"
#include "platform/headless/HeadlessControls.h"
#include "platform/headless/HeadlessUi.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace platform {
namespace {

using headless::HeadlessButton;
using headless::HeadlessInterface;
using headless::HeadlessUi;
using headless::HeadlessWindow;

// What the controller of the last run saw, in order; kept outside the controller because
// NSApplicationMain owns and destroys it.
struct Probe {
    std::vector<std::string> calls;
    bool windowVisibleAtLaunch = false;
    bool terminateAtLaunch = false;
};
Probe* g_probe = nullptr;

class FakeController : public NibObject, public ApplicationDelegate {
public:
    HeadlessWindow* window = nullptr;
    Button* closeButton = nullptr;

    bool connectOutlet(const std::string& name, Control* object) override
    {
        g_probe->calls.push_back("outlet " + name);
        if (name == "window") {
            window = dynamic_cast<HeadlessWindow*>(object);
            return true;
        }
        if (name == "closeButton") {
            closeButton = dynamic_cast<Button*>(object);
            return true;
        }
        return false;
    }
    bool performAction(const std::string& selector, Control*) override
    {
        g_probe->calls.push_back("action " + selector);
        if (selector == "close:") {
            Application::sharedApplication().terminate(this);
            return true;
        }
        return false;
    }
    void awakeFromNib() override
    {
        g_probe->calls.push_back(std::string("awake window=") + (window ? "set" : "null"));
    }
    void applicationDidFinishLaunching(Application* application) override
    {
        g_probe->calls.push_back("launched");
        g_probe->windowVisibleAtLaunch = window && window->isVisible();
        if (g_probe->terminateAtLaunch) {
            application->terminate(this);
        }
    }
};

class ApplicationMainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/appkit-main-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_app = m_dir + "/Fake.app";
        mkdir(m_app.c_str(), 0755);
        mkdir((m_app + "/Contents").c_str(), 0755);
        mkdir((m_app + "/Contents/Resources").c_str(), 0755);
        g_probe = &m_probe;
        registerNibClass("FakeController", [] { return std::make_unique<FakeController>(); });
    }
    void TearDown() override
    {
        unregisterNibClass("FakeController");
        Bundle::setMainBundleOverride(nullptr);
        Application::sharedApplication().reset();
        setUiBackend(nullptr);
        g_probe = nullptr;
        std::system(("rm -rf '" + m_dir + "'").c_str());
    }

    void writeInfoPlist(const std::string& mainNib)
    {
        std::ofstream out(m_app + "/Contents/Info.plist");
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<plist version=\"1.0\">\n<dict>\n"
               "\t<key>CFBundleIdentifier</key>\n\t<string>com.example.fake</string>\n";
        if (!mainNib.empty()) {
            out << "\t<key>NSMainNibFile</key>\n\t<string>" << mainNib << "</string>\n";
        }
        out << "</dict>\n</plist>\n";
    }

    // Writes the description file and makes the backend build it in memory when it is loaded.
    void provideInterface(const std::string& name, const std::string& controllerClass,
                          const std::string& mainWindow = std::string())
    {
        std::ofstream(m_app + "/Contents/Resources/" + name + ".ui") << "<ui/>\n";
        auto bundle = Bundle::bundleWithPath(m_app);
        ASSERT_NE(bundle, nullptr);
        Bundle::setMainBundleOverride(bundle);
        auto path = bundle->pathForResource(name, "ui");
        ASSERT_TRUE(path.has_value());
        m_ui.registerInterface(*path, [this, controllerClass, mainWindow] {
            auto interface = std::make_unique<HeadlessInterface>("MainWindow");
            interface->setProperty("MainWindow", "controllerClass", controllerClass);
            if (!mainWindow.empty()) {
                interface->setProperty("MainWindow", "mainWindow", mainWindow);
            }
            m_firstWindow = interface->add(std::make_unique<HeadlessWindow>("window"));
            m_otherWindow = interface->add(std::make_unique<HeadlessWindow>("aboutWindow"));
            m_closeButton = interface->add(std::make_unique<HeadlessButton>("closeButton"));
            interface->setProperty("closeButton", "action", "close:");
            m_menu = std::make_shared<Menu>("Main");
            interface->setMainMenu(m_menu);
            return interface;
        });
    }

    void useBundleWithoutInterface()
    {
        auto bundle = Bundle::bundleWithPath(m_app);
        ASSERT_NE(bundle, nullptr);
        Bundle::setMainBundleOverride(bundle);
    }

    int run()
    {
        setUiBackend(&m_ui);
        const char* argv[] = {"fake", nullptr};
        return NSApplicationMain(1, argv);
    }

    std::string m_dir;
    std::string m_app;
    Probe m_probe;
    HeadlessUi m_ui;
    HeadlessWindow* m_firstWindow = nullptr;
    HeadlessWindow* m_otherWindow = nullptr;
    HeadlessButton* m_closeButton = nullptr;
    std::shared_ptr<Menu> m_menu;
};

TEST_F(ApplicationMainTest, RunsTheControllerOfTheMainDescriptionUntilTerminate)
{
    writeInfoPlist("MainWindow");
    provideInterface("MainWindow", "FakeController");
    bool sessionRan = false;
    m_ui.setSession([this, &sessionRan] {
        sessionRan = true;
        Application& app = Application::sharedApplication();
        EXPECT_NE(dynamic_cast<FakeController*>(app.delegate()), nullptr);
        EXPECT_EQ(app.mainMenu(), m_menu.get());
        EXPECT_TRUE(m_firstWindow->isVisible());
        EXPECT_FALSE(m_otherWindow->isVisible());
        EXPECT_TRUE(m_closeButton->click());
    });

    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(sessionRan);
    EXPECT_EQ(m_probe.calls, (std::vector<std::string>{"outlet window", "outlet aboutWindow", "outlet closeButton",
                                                       "awake window=set", "launched", "action close:"}));
    EXPECT_TRUE(m_probe.windowVisibleAtLaunch);
    EXPECT_TRUE(Application::sharedApplication().isTerminated());
    ASSERT_FALSE(m_ui.events().empty());
    EXPECT_EQ(m_ui.events().back().kind, headless::HeadlessEvent::Kind::Terminate);
    // The controller is gone with the run; the application no longer points at it.
    EXPECT_EQ(Application::sharedApplication().delegate(), nullptr);
}

TEST_F(ApplicationMainTest, MainWindowPropertyChoosesTheWindowShown)
{
    writeInfoPlist("MainWindow");
    provideInterface("MainWindow", "FakeController", "aboutWindow");
    m_ui.setSession([this] {
        EXPECT_FALSE(m_firstWindow->isVisible());
        EXPECT_TRUE(m_otherWindow->isVisible());
    });
    run();
    EXPECT_EQ(m_probe.calls.back(), "launched");
}

TEST_F(ApplicationMainTest, TerminateWhileLaunchingEndsTheRunBeforeTheSession)
{
    writeInfoPlist("MainWindow");
    provideInterface("MainWindow", "FakeController");
    m_probe.terminateAtLaunch = true;
    bool sessionRan = false;
    m_ui.setSession([&sessionRan] { sessionRan = true; });
    EXPECT_EQ(run(), 0);
    EXPECT_FALSE(sessionRan);
    EXPECT_EQ(m_probe.calls.back(), "launched");
}

TEST_F(ApplicationMainTest, EarlierTerminationDoesNotEndANewRun)
{
    Application::sharedApplication().terminate(nullptr);
    writeInfoPlist("MainWindow");
    provideInterface("MainWindow", "FakeController");
    bool sessionRan = false;
    m_ui.setSession([&sessionRan] { sessionRan = true; });
    run();
    EXPECT_TRUE(sessionRan);
}

struct FailureCase {
    const char* label;
    const char* mainNib;       // Info.plist's NSMainNibFile, "" for none
    const char* provided;      // description file and interface provided, "" for none
    const char* className;     // the root's controllerClass
    const char* messagePart;   // expected in the one stderr line
};

class ApplicationMainFailureTest : public ApplicationMainTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ApplicationMainFailureTest, AnswersOneWithOneLineOnStandardError)
{
    const FailureCase& c = GetParam();
    writeInfoPlist(c.mainNib);
    if (*c.provided) {
        provideInterface(c.provided, c.className);
    } else {
        useBundleWithoutInterface();
    }
    ::testing::internal::CaptureStderr();
    const int result = run();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 1) << c.label;
    EXPECT_NE(err.find(c.messagePart), std::string::npos) << c.label << ": " << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << c.label << ": " << err;
    EXPECT_TRUE(m_probe.calls.empty()) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ApplicationMainFailureTest,
    ::testing::Values(FailureCase{"no NSMainNibFile", "", "MainWindow", "FakeController", "NSMainNibFile"},
                      FailureCase{"description missing", "Absent", "", "FakeController", "Absent.ui"},
                      FailureCase{"unregistered class", "MainWindow", "MainWindow", "Unknown", "Unknown"},
                      FailureCase{"no controllerClass", "MainWindow", "MainWindow", "", "controllerClass"}));

TEST_F(ApplicationMainTest, DescriptionTheBackendCannotLoadFails)
{
    writeInfoPlist("MainWindow");
    std::ofstream(m_app + "/Contents/Resources/MainWindow.ui") << "<ui/>\n";
    useBundleWithoutInterface();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(run(), 1);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("cannot be loaded"), std::string::npos);
}

TEST_F(ApplicationMainTest, WithoutBackendTheLinkedDefaultOneIsCreatedAndRemovedAfterwards)
{
    // The default backend of the headless library knows no descriptions, so the run stops at
    // loading, after the backend was created.
    writeInfoPlist("MainWindow");
    std::ofstream(m_app + "/Contents/Resources/MainWindow.ui") << "<ui/>\n";
    useBundleWithoutInterface();
    ASSERT_FALSE(hasUiBackend());
    const char* argv[] = {"fake", nullptr};
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(NSApplicationMain(1, argv), 1);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("cannot be loaded"), std::string::npos);
    EXPECT_FALSE(hasUiBackend());
}

}  // namespace
}  // namespace platform
