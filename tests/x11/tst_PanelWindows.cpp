#include "TestEnv.h"
#include "X11Session.h"
#include "grid/GridInteraction.h"
#include "grid/GridView.h"
#include "grid/PreviewWindow.h"
#include "library/Library.h"
#include "panel/DockedPanel.h"
#include "panel/EdgeTab.h"
#include "panel/PanelController.h"
#include "panel/ShelfPanel.h"
#include "settings/Prefs.h"
#include "settings/ui/SettingsView.h"
#include "settings/ui/SettingsWindow.h"
#include "shelf/ShelfView.h"

#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <xcb/xcb.h>

namespace {

// A plain window standing for another application's, under the panel.
class Below : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

// Counts the presses a window receives, whoever has the focus.
class PressCounter : public QObject {
public:
    int presses = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        presses += event->type() == QEvent::MouseButtonPress;
        return false;
    }
};

// What the X server says about a window: its place on the root and whether it is mapped.
struct XInfo {
    QRect geometry;
    bool viewable = false;
};

XInfo xinfo(const QWidget& widget) {
    QByteArray out;
    X11Session::run(QStringLiteral("xwininfo"),
                    {QStringLiteral("-id"), QString::number(widget.winId())}, &out);
    const QString text = QString::fromLocal8Bit(out);
    auto number = [&](const char* label) {
        const QRegularExpression re(QString::fromLatin1(label) + QStringLiteral(":\\s+(-?\\d+)"));
        return re.match(text).captured(1).toInt();
    };
    return {QRect(number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"),
                  number("Height")),
            text.contains(QStringLiteral("IsViewable"))};
}

quint32 activeWindow() {
    const X11Session& x = X11Session::instance();
    return x.property32(x.root(), "_NET_ACTIVE_WINDOW").value(0);
}

} // namespace

class tst_PanelWindows : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_shots;
    std::unique_ptr<Library> m_lib;
    std::unique_ptr<DockedPanel> m_docked;

private slots:
    void initTestCase() { X11_SESSION_REQUIRED(); }

    void initTestCase_data() {
        QTest::addColumn<bool>("composited");
        QTest::newRow("plain") << false;
        QTest::newRow("composited") << true;
    }
    void init() {
        QFETCH_GLOBAL(bool, composited);
        X11Session& x = X11Session::instance();
        if (composited)
            QVERIFY(x.startCompositor());
        else
            x.stopCompositor();
        // Off the tab: a tab mapped under a pointer at rest is not hovered.
        QVERIFY(X11Session::xdotool({"mousemove", "700", "450"}));
        m_shots = std::make_unique<QTemporaryDir>();
        writeFile(m_shots->path() + QStringLiteral("/Screenshot 1.png"));
        Prefs::shared().set(Key::scope, QStringLiteral("all"));
        Prefs::shared().set(Key::pinned, false);
        Prefs::shared().set(Key::side, QStringLiteral("right"));
        m_lib = std::make_unique<Library>(m_shots->path());
        m_lib->setFeedText(false);
        m_lib->reload();
        QTRY_VERIFY(m_lib->scanned());
        m_docked = std::make_unique<DockedPanel>(*m_lib);
        QVERIFY(QTest::qWaitForWindowExposed(&m_docked->tab()));
    }
    void cleanup() {
        m_docked.reset();
        m_lib.reset();
        m_shots.reset();
        X11Session::instance().stopCompositor();
    }

    // Both windows are docks on every desktop, above others, out of the
    // task bar and pager, with our class and titles; the tab sits centred on
    // the right edge.
    void typesStatesAndPlace() {
        const X11Session& x = X11Session::instance();
        EdgeTab& tab = m_docked->tab();
        ShelfPanel& panel = m_docked->panel();
        m_docked->controller().expand(false);
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        for (QWidget* w : {static_cast<QWidget*>(&tab), static_cast<QWidget*>(&panel)}) {
            const quint32 id = quint32(w->winId());
            QCOMPARE(x.property32(id, "_NET_WM_WINDOW_TYPE").value(0),
                     x.atom("_NET_WM_WINDOW_TYPE_DOCK"));
            for (const char* state :
                 {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"})
                QTRY_VERIFY2(x.property32(id, "_NET_WM_STATE").contains(x.atom(state)), state);
            QCOMPARE(x.property8(id, "WM_CLASS"), QByteArray("tamberk\0Tamberk", 16));
        }
        QCOMPARE(x.property8(quint32(panel.winId()), "_NET_WM_NAME"), QByteArray("Tamberk Panel"));
        QCOMPARE(x.property8(quint32(tab.winId()), "_NET_WM_NAME"), QByteArray("Tamberk Tab"));
        // The tab was shown before the expand hid it; its place stays.
        QCOMPARE(xinfo(tab).geometry, QRect(1422, 380, 18, 140));
        QCOMPARE(xinfo(panel).geometry, QRect(1440 - 1373, 0, 1373, 900));
    }

    // The card asks for blur behind it only while composited and only where
    // the compositor announces the effect; the request covers the card.
    void blurBehindTheCard() {
        QFETCH_GLOBAL(bool, composited);
        const X11Session& x = X11Session::instance();
        ShelfPanel& panel = m_docked->panel();
        const quint32 blur = x.atom("_KDE_NET_WM_BLUR_BEHIND_REGION");
        const quint32 none = 0;
        xcb_change_property(x.probe(), XCB_PROP_MODE_REPLACE, x.root(), blur, XCB_ATOM_CARDINAL, 32,
                            0, &none);
        x.sync();
        m_docked->controller().expand(false);
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        const quint32 id = quint32(panel.winId());
        const QRect card = panel.cardRect().toAlignedRect();
        if (composited) {
            QTRY_VERIFY(!x.property32(id, "_KDE_NET_WM_BLUR_BEHIND_REGION").isEmpty());
            QRegion asked;
            const QList<quint32> values = x.property32(id, "_KDE_NET_WM_BLUR_BEHIND_REGION");
            for (qsizetype i = 0; i + 3 < values.size(); i += 4)
                asked += QRect(int(values[i]), int(values[i + 1]), int(values[i + 2]),
                               int(values[i + 3]));
            // The card sits at fractional points; the request may lose a pixel's edge.
            const QRect bounds = asked.boundingRect();
            QVERIFY2(card.contains(bounds), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                           .arg(bounds.x())
                                                           .arg(bounds.y())
                                                           .arg(bounds.width())
                                                           .arg(bounds.height())));
            QVERIFY(bounds.width() >= card.width() - 1 && bounds.height() >= card.height() - 1);
            // Rounded: the corner pixel stays out.
            QVERIFY(!asked.contains(card.topLeft()));
        } else {
            x.sync();
            QVERIFY(x.property32(id, "_KDE_NET_WM_BLUR_BEHIND_REGION").isEmpty());
        }
        xcb_delete_property(x.probe(), x.root(), blur);
        x.sync();
    }

    // Resting on the tab opens the panel without taking focus from the
    // window that has it; a click outside the card reaches that window; a
    // collapse unmaps the panel; a click on the tab opens it with focus.
    void hoverClickAndFocus() {
        PanelController& ctl = m_docked->controller();
        ShelfPanel& panel = m_docked->panel();
        Below below;
        below.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        below.setGeometry(200, 100, 700, 600); // under the panel window, beside the card
        below.show();
        QVERIFY(QTest::qWaitForWindowExposed(&below));
        below.windowHandle()->requestActivate();
        QTRY_COMPARE(QGuiApplication::focusWindow(), below.windowHandle());
        const quint32 belowId = quint32(below.winId());
        QTRY_COMPARE(activeWindow(), belowId);

        QVERIFY(X11Session::xdotool({"mousemove", "1436", "450"}));
        QTRY_VERIFY(ctl.expanded());
        QTRY_VERIFY(xinfo(panel).viewable);
        QVERIFY(xinfo(panel).geometry.contains(QPoint(500, 400)));
        X11Session::instance().sync();
        QCOMPARE(activeWindow(), belowId);

        // A click on the card takes the keyboard, so a frame clicked can be
        // trashed or searched from the keys.
        QVERIFY(X11Session::xdotool({"mousemove", "1200", "450"}));
        QTRY_VERIFY(!panel.ignoresMouse());
        QVERIFY(X11Session::xdotool({"click", "1"}));
        QTRY_COMPARE(activeWindow(), quint32(panel.winId()));
        QTRY_COMPARE(QGuiApplication::focusWindow(), panel.windowHandle());
        below.windowHandle()->requestActivate();
        QTRY_COMPARE(activeWindow(), belowId);

        // Pinned, the panel stays open while the pointer is outside the card.
        Prefs::shared().set(Key::pinned, true);
        QVERIFY(X11Session::xdotool({"mousemove", "500", "400"}));
        QTRY_VERIFY(panel.ignoresMouse());
        QVERIFY(X11Session::xdotool({"click", "1"}));
        QTRY_COMPARE(below.presses, 1);
        QVERIFY(ctl.expanded());

        ctl.collapse(true);
        QTRY_VERIFY(!xinfo(panel).viewable);
        QTRY_VERIFY(xinfo(m_docked->tab()).viewable);

        below.windowHandle()->requestActivate();
        QTRY_COMPARE(activeWindow(), belowId);
        QVERIFY(X11Session::xdotool({"mousemove", "1436", "450", "click", "1"}));
        QTRY_VERIFY(ctl.expanded());
        QTRY_COMPARE(activeWindow(), quint32(panel.winId()));
        QTRY_COMPARE(QGuiApplication::focusWindow(), panel.windowHandle());
        // Taking the keyboard changed its flags; it is a dock all the same.
        const X11Session& x = X11Session::instance();
        QCOMPARE(x.property32(quint32(panel.winId()), "_NET_WM_WINDOW_TYPE").value(0),
                 x.atom("_NET_WM_WINDOW_TYPE_DOCK"));
        ctl.collapse(true);
    }

    // A hover is a pointer that moves onto the tab: the panel a hover opened
    // and that closed by itself does not open again while the pointer rests
    // where it was, although the tab came back under it; the smallest move
    // then opens it.
    void hoverIsAMoveOntoTheTab() {
        PanelController& ctl = m_docked->controller();
        EdgeTab& tab = m_docked->tab();
        QVERIFY(X11Session::xdotool({"mousemove", "1437", "450"}));
        QTRY_VERIFY(ctl.expanded());
        QTRY_VERIFY_WITH_TIMEOUT(!ctl.expanded(), 10000);
        QTRY_VERIFY(xinfo(tab).viewable);
        QTRY_VERIFY(tab.pointerOver());
        QVERIFY(!tab.hovered());
        QVERIFY(!ctl.expanded());
        QVERIFY(X11Session::xdotool({"mousemove_relative", "0", "2"}));
        QTRY_VERIFY(tab.hovered());
        QTRY_VERIFY(ctl.expanded());
        ctl.collapse(true);
    }

    // The whole 18 × 140 tab takes the pointer, not only its pill: a hover
    // opens the panel, a click opens it with the keyboard.
    void wholeTabTakesThePointer() {
        PanelController& ctl = m_docked->controller();
        // 17 pixels from the screen's edge, 10 beside the pill.
        QVERIFY(X11Session::xdotool({"mousemove", "1423", "450"}));
        QTRY_VERIFY(ctl.expanded());
        ctl.collapse(true);
        QVERIFY(X11Session::xdotool({"mousemove", "700", "450"}));
        QTRY_VERIFY(xinfo(m_docked->tab()).viewable);
        // Above the pill's top.
        QVERIFY(X11Session::xdotool({"mousemove", "1423", "390", "click", "1"}));
        QTRY_VERIFY(ctl.expanded());
        QTRY_COMPARE(activeWindow(), quint32(m_docked->panel().winId()));
        ctl.collapse(true);
    }

    // A tab that the window manager leaves off screen while Qt takes it for
    // shown (a map lost in a race with the manager) maps itself again.
    void tabLeftOffScreenComesBack() {
        const X11Session& x = X11Session::instance();
        EdgeTab& tab = m_docked->tab();
        QTRY_VERIFY(xinfo(tab).viewable);
        xcb_unmap_window(x.probe(), quint32(tab.winId()));
        x.sync();
        QTRY_VERIFY(!tab.windowHandle()->isExposed());
        QTRY_VERIFY_WITH_TIMEOUT(xinfo(tab).viewable, 10000);
        QVERIFY(tab.isVisible());
    }

    // The tab's menu closed with Esc over the tab opens nothing: the pointer
    // it hands back has not moved.
    void escOnTheTabMenuOpensNothing() {
        PanelController& ctl = m_docked->controller();
        EdgeTab& tab = m_docked->tab();
        m_docked->setTabMenu([] {
            auto* menu = new QMenu;
            menu->addAction(QStringLiteral("One"));
            return menu;
        });
        QVERIFY(X11Session::xdotool({"mousemove", "1425", "450", "click", "3"}));
        QTRY_VERIFY(tab.openMenu() && tab.openMenu()->isVisible());
        QTRY_VERIFY(!tab.pointerOver());
        QVERIFY(X11Session::xdotool({"key", "Escape"}));
        QTRY_VERIFY(!tab.openMenu());
        QTRY_VERIFY(tab.pointerOver());
        QVERIFY(!tab.hovered());
        QCOMPARE(ctl.holds(), 0);
        QVERIFY(!ctl.expanded());
        QVERIFY(X11Session::xdotool({"mousemove", "700", "450"}));
    }

    // While the card is shown it takes a press that arrives together with the
    // pointer (a tap, a warped pointer), before any pointer check saw it come.
    void pressArrivingWithThePointer() {
        PanelController& ctl = m_docked->controller();
        ShelfPanel& panel = m_docked->panel();
        Below below;
        below.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        below.setGeometry(1000, 100, 420, 600); // under the card
        below.show();
        QVERIFY(QTest::qWaitForWindowExposed(&below));
        Prefs::shared().set(Key::pinned, true);
        ctl.expand(false);
        QTRY_VERIFY(xinfo(panel).viewable);
        PressCounter card;
        panel.windowHandle()->installEventFilter(&card);
        QVERIFY(X11Session::xdotool({"mousemove", "700", "450"}));
        QTRY_VERIFY(panel.ignoresMouse());
        QVERIFY(X11Session::xdotool({"mousemove", "1200", "450", "click", "1"}));
        QTRY_COMPARE(card.presses, 1);
        QCOMPARE(below.presses, 0);
        ctl.collapse(true);
    }

    // The settings window opens fully on screen: beside the card, which as a
    // dock stays above ordinary windows, or, with no room there, above it.
    void settingsOpenFullyVisible_data() {
        QTest::addColumn<QString>("side");
        QTest::addColumn<double>("width");
        QTest::newRow("right") << QStringLiteral("right") << 800.0;
        QTest::newRow("left") << QStringLiteral("left") << 800.0;
        QTest::newRow("widest") << QStringLiteral("left") << 5000.0;
    }
    void settingsOpenFullyVisible() {
        QFETCH(QString, side);
        QFETCH(double, width);
        const X11Session& x = X11Session::instance();
        PanelController& ctl = m_docked->controller();
        Prefs::shared().set(Key::side, side);
        Prefs::shared().set(Key::pinned, true);
        ctl.reposition();
        ctl.setWidthLive(width);
        ctl.expand(false);
        QTRY_VERIFY(xinfo(m_docked->panel()).viewable);
        const QRect card = ctl.cardScreenFrame().toAlignedRect();
        SettingsWindow::configure({nullptr, nullptr, {}, [card] { return card; }});
        const auto closeWindow = qScopeGuard([] {
            SettingsWindow::destroyForTesting();
            SettingsWindow::configure({});
        });
        SettingsView* view = SettingsWindow::show();
        QVERIFY(QTest::qWaitForWindowExposed(view));
        // The frame is known once the window manager has told its extents.
        QTRY_VERIFY(view->frameGeometry() != view->geometry());
        const QRect frame = view->frameGeometry();
        QVERIFY2(QRect(0, 0, 1440, 900).contains(frame), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                        .arg(frame.x())
                                                                        .arg(frame.y())
                                                                        .arg(frame.width())
                                                                        .arg(frame.height())));
        if (frame.intersects(card)) {
            // Bottom to top: the settings window above the panel.
            QTRY_VERIFY(x.property32(x.root(), "_NET_CLIENT_LIST_STACKING")
                            .indexOf(quint32(view->winId())) >
                        x.property32(x.root(), "_NET_CLIENT_LIST_STACKING")
                            .indexOf(quint32(m_docked->panel().winId())));
            QVERIFY(width > 1000);
        }
        ctl.collapse(true);
    }

    // Space on a frame opens the preview with the keyboard; Esc closes it
    // and the keyboard comes back to the open panel, not to the window the
    // window manager would pick.
    void previewGivesTheKeysBack() {
        PanelController& ctl = m_docked->controller();
        ShelfPanel& panel = m_docked->panel();
        Below below;
        below.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        below.setGeometry(200, 100, 700, 600);
        below.show();
        QVERIFY(QTest::qWaitForWindowExposed(&below));
        Prefs::shared().set(Key::pinned, true);
        QVERIFY(X11Session::xdotool({"mousemove", "1436", "450"}));
        QTRY_VERIFY(ctl.expanded());
        QVERIFY(X11Session::xdotool({"mousemove", "1200", "450"}));
        QTRY_VERIFY(!panel.ignoresMouse());
        QVERIFY(X11Session::xdotool({"click", "1"}));
        QTRY_COMPARE(activeWindow(), quint32(panel.winId()));

        GridView* grid = m_docked->shelf().grid();
        grid->setSelection({grid->shots().first()->path});
        grid->setFocus();
        QVERIFY(X11Session::xdotool({"key", "space"}));
        QTRY_VERIFY(grid->interaction().preview() && grid->interaction().preview()->isShowing());
        PreviewWindow* preview = grid->interaction().preview();
        QTRY_COMPARE(activeWindow(), quint32(preview->winId()));
        QVERIFY(X11Session::xdotool({"key", "Escape"}));
        QTRY_COMPARE(preview->state(), PreviewWindow::State::Closed);
        QTRY_COMPARE(activeWindow(), quint32(panel.winId()));
        QTRY_COMPARE(panel.focusWidget(), static_cast<QWidget*>(grid));
        ctl.collapse(true);
    }

    // With the pointer resting on one frame and the last click on another,
    // a preview opened and closed from the keys leaves the commands aimed at
    // the frame under the pointer.
    void previewRoundTripKeepsTheHoveredFrame() {
        PanelController& ctl = m_docked->controller();
        ShelfPanel& panel = m_docked->panel();
        writeFile(m_shots->path() + QStringLiteral("/Screenshot 2.png"));
        m_lib->reload();
        QTRY_COMPARE(m_lib->all().size(), 2);
        Prefs::shared().set(Key::pinned, true);
        QVERIFY(X11Session::xdotool({"mousemove", "1436", "450"}));
        QTRY_VERIFY(ctl.expanded());
        GridView* grid = m_docked->shelf().grid();
        QTRY_COMPARE(grid->shots().size(), 2);
        auto onScreen = [&](int i) {
            const QPointF centre = grid->frameOf(grid->shots()[i]->path)->center();
            const QPoint global = grid->mapToGlobal(centre.toPoint());
            return QStringList{QString::number(global.x()), QString::number(global.y())};
        };
        const QString clicked = grid->shots()[0]->path, pointed = grid->shots()[1]->path;
        // The card may still be sliding in: the pointer is on the frame once it hovers it.
        QTRY_VERIFY(X11Session::xdotool(QStringList{"mousemove"} + onScreen(0)) &&
                    grid->hovered == clicked);
        QTRY_VERIFY(!panel.ignoresMouse());
        QVERIFY(X11Session::xdotool({"click", "1"}));
        QTRY_COMPARE(activeWindow(), quint32(panel.winId()));
        QVERIFY(X11Session::xdotool(QStringList{"mousemove"} + onScreen(1)));
        QTRY_COMPARE(grid->hovered, std::optional(pointed));

        QVERIFY(X11Session::xdotool({"key", "space"}));
        QTRY_VERIFY(grid->interaction().preview() && grid->interaction().preview()->isShowing());
        PreviewWindow* preview = grid->interaction().preview();
        QTRY_COMPARE(preview->state(), PreviewWindow::State::Open);
        QVERIFY(X11Session::xdotool({"key", "space"}));
        QTRY_COMPARE(preview->state(), PreviewWindow::State::Closed);
        QTRY_COMPARE(grid->hovered, std::optional(pointed));
        QCOMPARE(grid->interaction().rules().actionTargets(), QStringList{pointed});
        ctl.collapse(true);
    }
};

TAMBERK_TEST(tst_PanelWindows)
#include "tst_PanelWindows.moc"
