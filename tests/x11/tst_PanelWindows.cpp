#include "../library/LibrarySupport.h"
#include "TestEnv.h"
#include "X11Session.h"
#include "grid/GridInteraction.h"
#include "grid/GridView.h"
#include "grid/PreviewWindow.h"
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
#include <QScopeGuard>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <xcb/xcb.h>

namespace {

// Another application's window, under the panel.
class Below : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

quint32 activeWindow() {
    const X11Session& x = X11Session::instance();
    return x.property32(x.root(), "_NET_ACTIVE_WINDOW").value(0);
}

QRect placeOf(const QWidget& w, bool* viewable = nullptr) {
    return X11Session::instance().geometry(quint32(w.winId()), viewable);
}

bool viewable(const QWidget& w) {
    bool shown = false;
    placeOf(w, &shown);
    return shown;
}

// Moves the pointer to `p`, then runs the xdotool commands `then`.
bool moveTo(const QPoint& p, const QStringList& then = {}) {
    return X11Session::xdotool(
        QStringList{"mousemove", QString::number(p.x()), QString::number(p.y())} + then);
}

} // namespace

class tst_PanelWindows : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_shots;
    std::unique_ptr<Library> m_lib;
    std::unique_ptr<DockedPanel> m_docked;
    std::unique_ptr<Below> m_below;
    QRect m_tab; // where the tab is on the screen

    PanelController& ctl() { return m_docked->controller(); }
    ShelfPanel& panel() { return m_docked->panel(); }
    EdgeTab& tab() { return m_docked->tab(); }
    quint32 panelId() { return quint32(panel().winId()); }

    // Another application's active window at `rect`.
    bool showBelow(const QRect& rect) {
        m_below = std::make_unique<Below>();
        m_below->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        m_below->setGeometry(rect);
        m_below->show();
        if (!QTest::qWaitForWindowExposed(m_below.get()))
            return false;
        m_below->windowHandle()->requestActivate();
        return QTest::qWaitFor([&] { return activeWindow() == quint32(m_below->winId()); });
    }

private slots:
    void initTestCase_data() {
        QTest::addColumn<bool>("composited");
        QTest::newRow("plain") << false;
        QTest::newRow("composited") << true;
    }
    void init() {
        QFETCH_GLOBAL(bool, composited);
        X11Session& x = X11Session::instance();
        QVERIFY(!composited || x.startCompositor());
        // Off the tab: a tab mapped under a pointer at rest is not hovered.
        QVERIFY(moveTo({700, 450}));
        m_shots = std::make_unique<QTemporaryDir>();
        writeFile(m_shots->path() + "/Screenshot 1.png");
        Prefs::shared().set(Key::scope, QStringLiteral("all"));
        Prefs::shared().set(Key::pinned, false);
        Prefs::shared().set(Key::side, QStringLiteral("right"));
        QVERIFY((m_lib = LibrarySupport::loaded(m_shots->path())));
        m_docked = std::make_unique<DockedPanel>(*m_lib);
        QVERIFY(QTest::qWaitForWindowExposed(&tab()));
        QTRY_VERIFY(viewable(tab()));
        m_tab = placeOf(tab());
    }
    void cleanup() {
        m_below.reset();
        m_docked.reset();
        m_lib.reset();
        m_shots.reset();
        X11Session::instance().stopCompositor();
    }

    // Blur behind the card is asked for, over the card, only while composited.
    void blurBehindTheCard() {
        QFETCH_GLOBAL(bool, composited);
        const X11Session& x = X11Session::instance();
        const quint32 blur = x.atom("_KDE_NET_WM_BLUR_BEHIND_REGION");
        const quint32 none = 0;
        xcb_change_property(x.probe(), XCB_PROP_MODE_REPLACE, x.root(), blur, XCB_ATOM_CARDINAL, 32,
                            0, &none);
        const auto unannounce = qScopeGuard([&] {
            xcb_delete_property(x.probe(), x.root(), blur);
            x.sync();
        });
        x.sync();
        ctl().expand(false);
        QVERIFY(QTest::qWaitForWindowExposed(&panel()));
        const QRect card = panel().cardRect().toAlignedRect();
        auto asked = [&] { return x.property32(panelId(), "_KDE_NET_WM_BLUR_BEHIND_REGION"); };
        if (!composited) {
            x.sync();
            QVERIFY(asked().isEmpty());
            return;
        }
        QTRY_VERIFY(!asked().isEmpty());
        QRegion region;
        const QList<quint32> values = asked();
        for (qsizetype i = 0; i + 3 < values.size(); i += 4)
            region +=
                QRect(int(values[i]), int(values[i + 1]), int(values[i + 2]), int(values[i + 3]));
        // The card sits at fractional points; the request may lose a pixel's edge.
        const QRect bounds = region.boundingRect();
        QCOMPARE(card | bounds, card);
        QVERIFY(bounds.width() >= card.width() - 1 && bounds.height() >= card.height() - 1);
        QVERIFY(!region.contains(card.topLeft())); // rounded
    }

    // Resting on the tab beside its pill opens the panel without the focus;
    // pinned, a click outside the card reaches the window below; a press that
    // comes with the pointer (a tap) goes to the card and takes the keyboard,
    // as does a click on the tab above its pill. Both windows stay docks.
    void hoverClickAndFocus() {
        const X11Session& x = X11Session::instance();
        QVERIFY(showBelow(QRect(200, 100, 1220, 600))); // beside the card and under it
        const quint32 belowId = quint32(m_below->winId());
        QVERIFY(moveTo({m_tab.left() + 1, m_tab.center().y()}));
        QTRY_VERIFY(ctl().expanded());
        QTRY_VERIFY(viewable(panel()));
        // The docks stay where the geometry put them, the tab under the panel.
        QTRY_COMPARE(placeOf(panel()), panel().geometry());
        QCOMPARE(placeOf(tab()), m_tab);
        QCOMPARE(m_tab, tab().geometry());
        QVERIFY(placeOf(panel()).contains(QPoint(500, 400)));
        x.sync();
        QCOMPARE(activeWindow(), belowId);

        Prefs::shared().set(Key::pinned, true);
        QVERIFY(moveTo({500, 400}));
        QTRY_VERIFY(panel().ignoresMouse());
        QVERIFY(X11Session::xdotool({"click", "1"}));
        QTRY_COMPARE(m_below->presses, 1);
        QVERIFY(ctl().expanded());

        QVERIFY(moveTo({1200, 450}, {"click", "1"}));
        QTRY_COMPARE(activeWindow(), panelId());
        QCOMPARE(m_below->presses, 1);
        QTRY_COMPARE(QGuiApplication::focusWindow(), panel().windowHandle());

        ctl().collapse(true);
        QTRY_VERIFY(!viewable(panel()));
        QTRY_VERIFY(viewable(tab()));
        m_below->windowHandle()->requestActivate();
        QTRY_COMPARE(activeWindow(), belowId);
        QVERIFY(moveTo(m_tab.topLeft() + QPoint(1, 10), {"click", "1"}));
        QTRY_VERIFY(ctl().expanded());
        QTRY_COMPARE(activeWindow(), panelId());
        QTRY_COMPARE(QGuiApplication::focusWindow(), panel().windowHandle());
        for (QWidget* w : {static_cast<QWidget*>(&tab()), static_cast<QWidget*>(&panel())})
            QCOMPARE(x.property32(quint32(w->winId()), "_NET_WM_WINDOW_TYPE").value(0),
                     x.atom("_NET_WM_WINDOW_TYPE_DOCK"));
    }

    // A tab the manager left unmapped (a map lost in a race) maps itself again.
    void tabLeftOffScreenComesBack() {
        const X11Session& x = X11Session::instance();
        xcb_unmap_window(x.probe(), quint32(tab().winId()));
        x.sync();
        QTRY_VERIFY(!tab().windowHandle()->isExposed());
        QTRY_VERIFY_WITH_TIMEOUT(viewable(tab()), 10000);
        QVERIFY(tab().isVisible());
    }

    // A hover is a pointer that moves onto the tab: the pointer a menu closed
    // by Esc hands back, or a tab that comes back under the resting pointer
    // after the panel closed by itself, opens nothing until the pointer moves.
    void hoverIsAMoveOntoTheTab() {
        m_docked->setTabMenu([] {
            auto* menu = new QMenu;
            menu->addAction(QStringLiteral("One"));
            return menu;
        });
        QVERIFY(moveTo({m_tab.left() + 3, m_tab.center().y()}, {"click", "3"}));
        QTRY_VERIFY(tab().openMenu() && tab().openMenu()->isVisible());
        QTRY_VERIFY(!tab().pointerOver());
        QVERIFY(X11Session::xdotool({"key", "Escape"}));
        QTRY_VERIFY(!tab().openMenu());
        for (int round = 0; round < 2; ++round) {
            QTRY_VERIFY(viewable(tab()));
            QTRY_VERIFY(tab().pointerOver());
            QVERIFY(!tab().hovered());
            QTRY_COMPARE(ctl().holds(), 0); // a menu's, released on the next turn
            QVERIFY(!ctl().expanded());
            // Off the card's column, so that the panel then closes by itself.
            QVERIFY(moveTo({m_tab.right() - 2 - round, m_tab.center().y()}));
            QTRY_VERIFY(tab().hovered());
            QTRY_VERIFY(ctl().expanded());
            if (round == 0) // closes by itself, the tab coming back under the pointer
                QTRY_VERIFY_WITH_TIMEOUT(!ctl().expanded(), 10000);
        }
    }

    // The settings window opens fully on screen, frame included: beside the
    // card, or with no room there stacked above the dock.
    void settingsOpenFullyVisible_data() {
        QTest::addColumn<QString>("side");
        QTest::addColumn<double>("width");
        QTest::newRow("beside") << QStringLiteral("right") << 800.0;
        QTest::newRow("above") << QStringLiteral("left") << 5000.0;
    }
    void settingsOpenFullyVisible() {
        QFETCH(QString, side);
        QFETCH(double, width);
        const X11Session& x = X11Session::instance();
        Prefs::shared().set(Key::side, side);
        Prefs::shared().set(Key::pinned, true);
        ctl().reposition();
        ctl().setWidthLive(width);
        ctl().expand(false);
        QTRY_VERIFY(viewable(panel()));
        const QRect card = ctl().cardScreenFrame().toAlignedRect();
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
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(frame & screen, frame);
        if (frame.intersects(card)) {
            // Bottom to top: the settings window above the panel.
            auto stacked = [&](quint32 id) {
                return x.property32(x.root(), "_NET_CLIENT_LIST_STACKING").indexOf(id);
            };
            QTRY_VERIFY(stacked(quint32(view->winId())) > stacked(panelId()));
            QVERIFY(width > 1000);
        }
    }

    // The preview, opened by Space and closed by Esc or Space, hands the keys
    // back to the panel, not to the window the manager would pick; the
    // commands stay aimed at the frame under the pointer, not the clicked one.
    void previewGivesTheKeysBack() {
        writeFile(m_shots->path() + "/Screenshot 2.png");
        m_lib->reload();
        QTRY_COMPARE(m_lib->all().size(), 2);
        QVERIFY(showBelow(QRect(200, 100, 700, 600)));
        Prefs::shared().set(Key::pinned, true);
        QVERIFY(moveTo(m_tab.center()));
        QTRY_VERIFY(ctl().expanded());
        GridView* grid = m_docked->shelf().grid();
        QTRY_COMPARE(grid->shots().size(), 2);
        auto frame = [&](int i) {
            return grid->mapToGlobal(grid->frameOf(grid->shots()[i]->path)->center().toPoint());
        };
        const QString clicked = grid->shots()[0]->path, pointed = grid->shots()[1]->path;
        // The card may still be sliding in: the pointer is on the frame once it hovers it.
        QTRY_VERIFY(moveTo(frame(0)) && grid->hovered == clicked);
        QTRY_VERIFY(!panel().ignoresMouse());
        QVERIFY(X11Session::xdotool({"click", "1"}));
        QTRY_COMPARE(activeWindow(), panelId());
        QVERIFY(moveTo(frame(1)));
        QTRY_COMPARE(grid->hovered, std::optional(pointed));

        for (const char* close : {"Escape", "space"}) {
            QVERIFY(X11Session::xdotool({"key", "space"}));
            QTRY_VERIFY(grid->interaction().preview() &&
                        grid->interaction().preview()->state() == PreviewWindow::State::Open);
            PreviewWindow* preview = grid->interaction().preview();
            QTRY_COMPARE(activeWindow(), quint32(preview->winId()));
            QVERIFY(X11Session::xdotool({"key", close}));
            QTRY_COMPARE(preview->state(), PreviewWindow::State::Closed);
            QTRY_COMPARE(activeWindow(), panelId());
            QTRY_COMPARE(panel().focusWidget(), static_cast<QWidget*>(grid));
            QTRY_COMPARE(grid->hovered, std::optional(pointed));
            QCOMPARE(grid->interaction().rules().actionTargets(), QStringList{pointed});
        }
    }
};

TAMBERK_TEST(tst_PanelWindows)
#include "tst_PanelWindows.moc"
