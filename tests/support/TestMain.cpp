// Runs every test class registered in this executable, each in its own
// private home. `tst_x --class Name [QtTest args]` runs just one class.
#include "TestEnv.h"

#include <QApplication>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", "offscreen").toUtf8());
    QApplication app(argc, argv); // widgets need it; the core tests do not mind
    return TestRegistry::run(argc, argv) == 0 ? 0 : 1;
}
