// The X11 tests: an X server, a bus and a window manager of their own start
// before the application connects; then the classes run as elsewhere, the
// screens class alone on a session of two screens (--two-screens).
#include "TestEnv.h"
#include "X11Session.h"

#include <QApplication>
#include <QStandardPaths>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    if (QStandardPaths::findExecutable("Xvfb").isEmpty()) {
        qWarning("Xvfb is not installed (scripts/install-deps installs it): no X11 test ran");
        return 0;
    }
    std::vector<char*> args(argv, argv + argc);
    const bool two = std::erase_if(args, [](char* a) { return !strcmp(a, "--two-screens"); }) > 0;
    X11Session& session = X11Session::instance();
    const QString failure =
        session.start(two ? X11Session::Layout::twoScreens : X11Session::Layout::oneScreen);
    if (!failure.isEmpty())
        qFatal("X session: %s", qPrintable(failure));
    qputenv("QT_QPA_PLATFORM", "xcb");
    int count = int(args.size()), failures = 0;
    {
        QApplication app(count, args.data());
        failures = TestRegistry::run(count, args.data(), [two](const QString& name) {
            return (name == QLatin1String("tst_Screens")) == two;
        });
    }
    session.stop();
    return failures == 0 ? 0 : 1;
}
