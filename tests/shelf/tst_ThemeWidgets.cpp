#include "TestEnv.h"
#include "shelf/BlockItem.h"
#include "shelf/IconButton.h"
#include "shelf/Label.h"
#include "shelf/Theme.h"

#include <QMenu>
#include <QPainter>
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
        return QColor::fromRgba(image.pixel(3, image.height() / 2));
    }

    motion::Animator animator{100.0}; // outlives the button's layer
    QWidget window;
    IconButton* button = nullptr;
};

// The brightest alpha of a widget's picture: how strongly its glyph shows.
int strongestAlpha(const QImage& image) {
    int best = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            best = std::max(best, qAlpha(image.pixel(x, y)));
    }
    return best;
}

} // namespace

class tst_ThemeWidgets : public QObject {
    Q_OBJECT
private slots:
    // Leaving half way dims from where the light was; a button hidden under the
    // pointer comes back unlit.
    void hoverFades() {
        ButtonHost host;
        QVERIFY(QTest::qWaitForWindowExposed(&host.window));
        QCOMPARE(host.button->hoverLevel(), 0.0);
        QTest::mouseMove(&host.window, QPoint(32, 32));
        QTRY_VERIFY(host.button->hovering());
        QCOMPARE(host.button->hoverLevel(), 0.0);
        double t = 100.0 + IconButton::kHoverFade / 4;
        host.animator.advanceTo(t);
        const double shown = host.button->hoverLevel();
        QVERIFY2(shown > 0.05 && shown < 1.0, qPrintable(QString::number(shown)));
        QTest::mouseMove(&host.window, QPoint(5, 5));
        QTRY_VERIFY(!host.button->hovering());
        QVERIFY(qAbs(host.button->hoverLevel() - shown) < 1e-9);
        host.animator.advanceTo(t += 0.001);
        QVERIFY(host.button->hoverLevel() < shown);
        host.animator.advanceTo(t += IconButton::kHoverFade);
        QCOMPARE(host.button->hoverLevel(), 0.0);
        QCOMPARE(host.backgroundPixel().alpha(), 0);
        QVERIFY(!host.animator.ticking());

        QTest::mouseMove(&host.window, QPoint(32, 32));
        QTRY_VERIFY(host.button->hovering());
        host.animator.advanceTo(t += IconButton::kHoverFade);
        QCOMPARE(host.button->hoverLevel(), 1.0);
        QCOMPARE(host.backgroundPixel(), QColor(255, 0, 0));
        host.button->hide();
        QVERIFY(!host.button->hovering());
        QCOMPARE(host.button->hoverLevel(), 0.0);
    }

    // A click runs onClick once; a press that leaves, or a disabled button,
    // runs nothing. A click leaves the focus where it was (Tab gives it).
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

    // A click handler may delete its own button.
    void clickHandlerMayDeleteTheButton() {
        ButtonHost host;
        QVERIFY(QTest::qWaitForWindowExposed(&host.window));
        QPointer<IconButton> guard(host.button);
        host.button->onClick = [&] { host.button->deleteLater(); };
        QTest::mouseClick(host.button, Qt::LeftButton, {}, QPoint(12, 12));
        QTRY_VERIFY(guard.isNull());
    }

    // A replaced resting tint shows once refreshed.
    void baseTintShowsAfterRefresh() {
        ButtonHost host;
        const int before = strongestAlpha(host.button->grab().toImage());
        host.button->setBaseTint(Theme::ink());
        host.button->refresh();
        QCOMPARE(host.button->baseTint(), Theme::ink());
        QVERIFY(strongestAlpha(host.button->grab().toImage()) > before);
    }

    // A painted face blends the resting and hover colours; a clear rest fades
    // in without a dark fringe.
    void paintedFaceBlends() {
        const IconButton::Look look{
            QStringLiteral("xmark"), 11, QFont::Normal, Theme::ink2(), Theme::ink(), std::nullopt,
            QColor(0, 200, 0),       6};
        for (const auto& [hover, alpha] : {std::pair{0.0, 0}, {0.5, 128}, {1.0, 255}}) {
            QImage image(24, 24, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter p(&image);
            IconButton::paintLook(p, QRectF(0, 0, 24, 24), look, hover);
            const QColor corner = image.pixelColor(3, 12);
            QVERIFY2(qAbs(corner.alpha() - alpha) <= 1,
                     qPrintable(QString::number(corner.alpha())));
            // Eight-bit premultiplied storage rounds the colour of a half-clear pixel.
            QVERIFY(alpha == 0 || (qAbs(corner.green() - 200) <= 2 && corner.red() == 0));
        }
    }

    // A label over a button lets the click through to the button.
    void labelNeverTakesClicks() {
        ButtonHost host;
        auto* label =
            new Label(QStringLiteral("TAMBERK"), Theme::monoFont(10.5), Theme::ink(), &host.window);
        label->setGeometry(10, 10, 60, 40);
        label->show();
        QVERIFY(QTest::qWaitForWindowExposed(&host.window));
        int clicks = 0;
        host.button->onClick = [&] { ++clicks; };
        QTest::mouseClick(host.window.windowHandle(), Qt::LeftButton, {}, QPoint(32, 32));
        QCOMPARE(clicks, 1);
    }

    // A label truncates at the tail by default and clips when told not to
    // elide; caps show their upper-cased text in the caps' font and colour.
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
        const Theme::Caps caps =
            Theme::caps(QStringLiteral("Tamberk"), 10.5, QFont::DemiBold, Theme::ink(), 2.6);
        label.setCaps(caps);
        QCOMPARE(label.text(), caps.text);
        QCOMPARE(label.color(), Theme::ink());
        QVERIFY(qAbs(label.font().letterSpacing() - 2.6) < 1.0 / 64); // Qt keeps 1/64 pixel
        QVERIFY(qAbs(label.intrinsicSize().width() - caps.size().width()) < 0.01);
    }

    // Handlers run once per choice on a later turn; a missing or removed one
    // runs nothing.
    void blockItemRunsItsHandler() {
        int runs = 0;
        QMenu menu;
        auto* item = new BlockItem(
            QStringLiteral("Settings\u2026"), QStringLiteral("gearshape"),
            QKeySequence(Qt::CTRL | Qt::Key_Comma), [&] { ++runs; }, &menu);
        QVERIFY(!item->icon().pixmap(16, 16).isNull());
        QCOMPARE(item->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
        item->trigger();
        item->trigger();
        QCOMPARE(runs, 0);
        QCoreApplication::processEvents();
        QCOMPARE(runs, 2);
        auto* plain = new BlockItem(QStringLiteral("Quit"), QString(), {}, {}, &menu);
        QVERIFY(plain->icon().isNull());
        plain->trigger();
        plain->handler = [&] {
            plain->handler = nullptr;
            ++runs;
        };
        plain->trigger();
        QCoreApplication::processEvents();
        plain->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(runs, 3);
    }

    // A dialog's nested loop may delete the closed menu; the menu's own code
    // must have returned by then.
    void chosenItemMayDeleteItsMenu() {
        QPointer<QMenu> menu = new QMenu;
        bool ran = false;
        menu->addAction(new BlockItem(
            QStringLiteral("Rename\u2026"), QString(), {},
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
