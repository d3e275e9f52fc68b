// The X11 tests: an X server, a bus and a window manager of their own are
// started before the application connects, then every registered test class
// runs, each in its own private home, as in the other test executables.
#include "TestEnv.h"
#include "X11Session.h"

#include <QApplication>
#include <QTest>
#include <cstring>

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
        QString only;
        std::vector<char*> args{argv[0]};
        for (int i = 1; i < argc; ++i) {
            if (std::strcmp(argv[i], "--class") == 0 && i + 1 < argc)
                only = QString::fromLocal8Bit(argv[++i]);
            else if (std::strcmp(argv[i], "--two-screens") != 0)
                args.push_back(argv[i]);
        }
        for (const auto& [name, factory] : TestRegistry::all()) {
            if (!only.isEmpty() && name != only)
                continue;
            // The screens tests need the session of two screens; a skip in
            // one class's initTestCase would leave the next class with none.
            if ((name == QLatin1String("tst_Screens")) != two)
                continue;
            TestEnv env;
            std::unique_ptr<QObject> test = factory();
            failures += QTest::qExec(test.get(), static_cast<int>(args.size()), args.data());
        }
    }
    session.stop();
    return failures == 0 ? 0 : 1;
}
