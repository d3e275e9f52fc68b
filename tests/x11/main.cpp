// The X11 tests: an X server, a bus and a window manager of their own are
// started before the application connects, then the registered classes run
// as in the other test executables.
#include "TestEnv.h"
#include "X11Session.h"

#include <QApplication>

int main(int argc, char** argv) {
    X11Session& session = X11Session::instance();
    const X11Session::State state = session.start();
    // Without a server the tests skip or fail on their own; the application
    // still needs a platform to exist.
    qputenv("QT_QPA_PLATFORM", state == X11Session::State::running ? "xcb" : "offscreen");
    int failures = 0;
    {
        QApplication app(argc, argv);
        failures = TestRegistry::run(argc, argv);
    }
    session.stop();
    return failures == 0 ? 0 : 1;
}
