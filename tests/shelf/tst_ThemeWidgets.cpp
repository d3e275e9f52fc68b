#include "TestEnv.h"
#include "shelf/BlockItem.h"
#include "shelf/IconButton.h"
#include "shelf/Label.h"
#include "shelf/Theme.h"

#include <QMenu>
#include <QPointer>
#include <QTest>
#include <memory>

namespace {

// A shown window holding one header-style button at (20, 20), on a manual clock.
struct ButtonHost {
    ButtonHost() {
        window.resize(80, 80);
        button = new IconButton(QStringLiteral("gearshape"), 24, 12, QFont::Normal, Theme::ink2(),
                                Theme::ink(), std::nullopt, QColor(255, 0, 0), 6,
                                QStringLiteral("Settings  Ctrl+,"), &window, &animator);
        button->move(20, 20);
        window.show();
    }

    // The colour of the button's background at its corner area, where no glyph is.
    QColor backgroundPixel() const {
        const QImage image = button->grab().toImage();
        return image.pixelColor(3, image.height() / 2);
    }

    motion::Animator animator{100.0}; // outlives the button's layer
    QWidget window;
    IconButton* button = nullptr;
};

} // namespace

class tst_ThemeWidgets : public QObject {
    Q_OBJECT
private slots:
    // A new tint shows once refreshed; hover blends cleanly (no dark fringe) and unlights,
    // also when hidden under the pointer.
    void hoverAndTint() {
        ButtonHost host;
        QVERIFY(QTest::qWaitForWindowExposed(&host.window));
        const QImage resting = host.button->grab().toImage();
        host.button->setBaseTint(Theme::ink());
        host.button->refresh();
        QVERIFY(host.button->grab().toImage() != resting);
        double t = 100.0;
        for (const auto& [point, lit] : {std::pair{QPoint(32, 32), true}, {QPoint(5, 5), false}}) {
            QTest::mouseMove(&host.window, point);
            QTRY_COMPARE(host.button->hovering(), lit);
            host.animator.advanceTo(t += IconButton::kHoverFade / 2);
            const QColor half = host.backgroundPixel();
            QVERIFY(half.alpha() > 10 && half.alpha() < 245 && half.red() >= 250);
            host.animator.advanceTo(t += IconButton::kHoverFade / 2 + 0.01);
            QCOMPARE(host.backgroundPixel().rgba(), lit ? qRgb(255, 0, 0) : 0u);
        }
        QVERIFY(!host.animator.ticking());
        QTest::mouseMove(&host.window, QPoint(32, 32));
        QTRY_VERIFY(host.button->hovering());
        host.animator.advanceTo(t += IconButton::kHoverFade);
        host.button->hide();
        QVERIFY(!host.button->hovering() && host.button->hoverLevel() == 0.0);
        host.button->setBaseTint(Theme::ink());
        host.button->refresh();
    }

    // One click, one run; a press leaving it or a disabled button runs nothing; Tab-only focus.
    void clickRunsOnClick() {
        for (const auto& [release, enabled, runs] : {std::tuple{QPoint(12, 12), true, 1},
                                                     {QPoint(40, 40), true, 0},
                                                     {QPoint(12, 12), false, 0}}) {
            ButtonHost host;
            QVERIFY(QTest::qWaitForWindowExposed(&host.window));
            int clicks = 0;
            host.button->onClick = [&] { ++clicks; };
            host.button->setEnabled(enabled);
            QTest::mousePress(host.button, Qt::LeftButton, {}, QPoint(12, 12));
            QTest::mouseMove(host.button, release);
            QTest::mouseRelease(host.button, Qt::LeftButton, {}, release);
            QCOMPARE(clicks, runs);
            QCOMPARE(host.button->focusPolicy(), Qt::TabFocus);
        }
    }

    // A label over a button lets the click through; the handler may delete its own button.
    void clickThroughALabelMayDeleteTheButton() {
        ButtonHost host;
        auto* label = new Label("TAMBERK", Theme::monoFont(10.5), Theme::ink(), &host.window);
        label->setGeometry(10, 10, 60, 40);
        label->show();
        QVERIFY(QTest::qWaitForWindowExposed(&host.window));
        QPointer<IconButton> guard(host.button);
        host.button->onClick = [&] { host.button->deleteLater(); };
        QTest::mouseClick(host.window.windowHandle(), Qt::LeftButton, {}, QPoint(32, 32));
        QTRY_VERIFY(guard.isNull());
    }

    // A label truncates at the tail unless told not to elide; caps keep their text and spacing.
    void labelText() {
        const QString text = QStringLiteral("Screenshot 2026-12-05 at 15.42.10.png");
        for (const auto& [mode, width] :
             {std::pair{Qt::ElideRight, 400}, {Qt::ElideRight, 60}, {Qt::ElideNone, 60}}) {
            Label label(text, Theme::font(12.5), Theme::ink());
            label.setElideMode(mode);
            label.resize(width, label.sizeHint().height());
            const bool whole = mode == Qt::ElideNone || width == 400;
            QCOMPARE(label.shownText() == text, whole);
            QVERIFY(whole || (label.shownText().endsWith(QChar(0x2026)) &&
                              label.shownText().startsWith("Scr")));
        }
        Label label(QString(), Theme::monoFont(10.5), Theme::ink3());
        const Theme::Caps caps = Theme::caps("Tamberk", 10.5, QFont::DemiBold, Theme::ink(), 2.6);
        label.setCaps(caps);
        QVERIFY(label.text() == caps.text && label.color() == caps.color);
        QVERIFY(qAbs(label.intrinsicSize().width() - caps.size().width()) < 0.01);
    }

    // Each choice runs the handler once, on a later turn; a missing one runs nothing.
    void blockItemRunsItsHandler() {
        int runs = 0;
        QMenu menu;
        auto* item = new BlockItem(
            "Settings", "gearshape", {}, [&] { ++runs; }, &menu);
        auto* plain = new BlockItem("Quit", QString(), {}, {}, &menu);
        QVERIFY(!item->icon().isNull() && plain->icon().isNull());
        for (QAction* action : {item, item, plain})
            action->trigger();
        QCOMPARE(runs, 0);
        QCoreApplication::processEvents();
        QCOMPARE(runs, 2);
    }

    // A dialog's nested loop may delete the closed menu once the menu's code returned.
    void chosenItemMayDeleteItsMenu() {
        QPointer<QMenu> menu = new QMenu;
        bool ran = false;
        menu->addAction(new BlockItem(
            "Rename", QString(), {},
            [&] {
                delete menu.data();
                ran = true;
            },
            menu));
        menu->popup(QPoint(10, 10));
        QVERIFY(QTest::qWaitForWindowExposed(menu.data()));
        QTest::keyClick(menu.data(), Qt::Key_Down);
        QTest::keyClick(menu.data(), Qt::Key_Return);
        QTRY_VERIFY(ran);
        QVERIFY(menu.isNull());
    }
};

TAMBERK_TEST(tst_ThemeWidgets)
#include "tst_ThemeWidgets.moc"
