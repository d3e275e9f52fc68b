// Runs every test class registered in this executable, each in its own
// private home. `tst_x --class Name [QtTest args]` runs just one class.
#include "TestEnv.h"

#include <QApplication>
#include <QTest>
#include <cstring>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", "offscreen").toUtf8());
    QApplication app(argc, argv); // widgets need it; the core tests do not mind

    QString only;
    std::vector<char*> args{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--class") == 0 && i + 1 < argc)
            only = QString::fromLocal8Bit(argv[++i]);
        else
            args.push_back(argv[i]);
    }

    int failures = 0;
    for (const auto& [name, factory] : TestRegistry::all()) {
        if (!only.isEmpty() && name != only)
            continue;
        TestEnv env;
        std::unique_ptr<QObject> test = factory();
        failures += QTest::qExec(test.get(), static_cast<int>(args.size()), args.data());
    }
    return failures == 0 ? 0 : 1;
}
