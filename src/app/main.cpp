// The Tamberk application. Until the application shell exists it runs the
// docked panel and its edge tab on the settings' screenshot folder.
#include "library/Library.h"
#include "panel/DockedPanel.h"
#include "platform/X11Connection.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    // Qt cannot place or raise a dock on Wayland; XWayland can.
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && qEnvironmentVariableIsSet("DISPLAY") &&
        !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool x11 = platform.isEmpty() || platform == "xcb";
    if (x11 && (!qEnvironmentVariableIsSet("DISPLAY") || !X11Connection::displayReachable())) {
        QTextStream(stderr) << "Tamberk needs an X11 display: DISPLAY is "
                            << (qEnvironmentVariableIsSet("DISPLAY")
                                    ? "set, but no X server answers there"
                                    : "not set")
                            << ". Start it inside a graphical session.\n";
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tamberk"));
    QApplication::setQuitOnLastWindowClosed(false);

    Library lib;
    DockedPanel panel(lib);
    lib.reload();
    return app.exec();
}
