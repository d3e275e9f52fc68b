// The X11 tests: an X server, a bus and a window manager of their own are
// started before the application connects, then the registered classes run
// as in the other test executables.
#include "TestEnv.h"
#include "X11Session.h"

#include <QApplication>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    // --two-screens: the screens tests, on a session of two screens.
    bool two = false;
    for (int i = 1; i < argc; ++i)
        two = two || std::strcmp(argv[i], "--two-screens") == 0;
    X11Session& session = X11Session::instance();
    const X11Session::State state =
        session.start(two ? X11Session::Layout::twoScreens : X11Session::Layout::oneScreen);
    // Without a server the tests skip or fail on their own; the application
    // still needs a platform to exist.
    qputenv("QT_QPA_PLATFORM", state == X11Session::State::running ? "xcb" : "offscreen");
    int failures = 0;
    {
        QApplication app(argc, argv);
        // The layout option is the session's, not the test runner's.
        std::vector<char*> args;
        for (int i = 0; i < argc; ++i) {
            if (std::strcmp(argv[i], "--two-screens") != 0)
                args.push_back(argv[i]);
        }
        // The screens tests need the session of two screens and nothing
        // else runs there (a skip in one class's initTestCase would leave the
        // next class running nothing).
        failures = TestRegistry::run(
            static_cast<int>(args.size()), args.data(),
            [two](const QString& name) { return (name == QLatin1String("tst_Screens")) == two; });
    }
    session.stop();
    return failures == 0 ? 0 : 1;
}
