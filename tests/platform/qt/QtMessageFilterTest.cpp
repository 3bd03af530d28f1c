// The toolkit's notes about a virtual screen stay off the terminal; real warnings and errors do not.
#include "platform/qt/QtMessageFilter.h"

#include <gtest/gtest.h>

namespace platform::qt {
namespace {

TEST(QtMessageFilter, DropsOnlyTheNotesAboutTheEnvironment)
{
    struct Case {
        QtMsgType type;
        const char* message;
        bool noise;
    };
    const Case cases[] = {
        {QtWarningMsg, "QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to '/tmp/runtime-root'", true},
        {QtWarningMsg, "QStandardPaths: runtime directory '/run/user/0' is not owned by UID 1000", true},
        {QtWarningMsg, "This plugin does not support raise()", true},
        {QtWarningMsg, "This plugin does not support propagateSizeHints()", true},
        {QtCriticalMsg, "This plugin does not support raise()", false},
        {QtWarningMsg, "QFile::open: No such file or directory", false},
        {QtWarningMsg, "Plugsweep: This plugin does not support raise()", false},
        {QtFatalMsg, "QStandardPaths: XDG_RUNTIME_DIR not set", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QtMessageFilter::isNoise(c.type, QString::fromUtf8(c.message)), c.noise) << c.message;
    }
}

}  // namespace
}  // namespace platform::qt
