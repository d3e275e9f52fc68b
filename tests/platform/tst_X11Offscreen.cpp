#include "TestEnv.h"
#include "platform/CompositorWatch.h"
#include "platform/GlobalShortcut.h"
#include "platform/X11Window.h"

#include <QTest>
#include <QWindow>

class tst_X11Offscreen : public QObject {
    Q_OBJECT
private slots:
    // Off X11 every window function declines without touching the window.
    void declinesWithoutX11() {
        QWindow window;
        window.setGeometry(0, 0, 100, 100);
        QVERIFY(!X11Window::available());
        QVERIFY(!X11Window::makeDock(&window));
        QVERIFY(!X11Window::applyDockStates(&window));
        QVERIFY(!X11Window::showDock(&window));
        QVERIFY(!window.isVisible());
        QVERIFY(!X11Window::setInputRegion(&window, QRegion(0, 0, 10, 10)));
        QVERIFY(!X11Window::setBoundingRegion(&window, QRegion(0, 0, 10, 10)));
        QVERIFY(!X11Window::clearShape(&window));
        QVERIFY(!X11Window::setAcceptsFocus(&window, true));
        QVERIFY(window.flags() == Qt::Window);
        QVERIFY(!X11Window::activate(&window, 1));
        QVERIFY(!X11Window::blurBehindAvailable());
        QVERIFY(!X11Window::setBlurBehind(&window, QRegion()));
        QVERIFY(!X11Window::clearBlurBehind(&window));
        QVERIFY(!X11Window::makeDock(nullptr));
        QVERIFY(!CompositorWatch().isComposited());
        // The global shortcut grabs nothing and says so, not that the keys are taken.
        GlobalShortcut shortcut;
        QCOMPARE(shortcut.grab(QStringLiteral("Ctrl+Alt+S")), GlobalShortcut::Status::unsupported);
        QCOMPARE(shortcut.grab(QStringLiteral("Ctrl+Nope")), GlobalShortcut::Status::invalid);
    }
};

TAMBERK_TEST(tst_X11Offscreen)
#include "tst_X11Offscreen.moc"
