#include "GridSupport.h"
#include "TestEnv.h"
#include "grid/GridView.h"
#include "grid/ThumbView.h"
#include "platform/ImageDecoder.h"
#include "shelf/Motion.h"
#include "shelf/Theme.h"

#include <QPainter>
#include <QTest>

using namespace gridtest;
using Button = ThumbView::Button;

namespace {

// A grid off screen with its own clock and cache, for cells that need an owner.
struct Rig {
    motion::Animator animator{0.0};
    CountingThumbs cache;
    FakeHost host;
    GridView grid{nullptr, &animator, &cache.thumbs};
    Rig() { grid.setHost(&host); }

    ThumbPtr cell(const ShotPtr& s, QRectF frame, bool captions = true) {
        auto c = std::make_shared<ThumbView>(s, &grid, &animator);
        c->captions = captions;
        c->setFrame(frame);
        return c;
    }
};

} // namespace

class tst_ThumbView : public QObject {
    Q_OBJECT
private slots:
    // The parts follow the cell's size; the buttons hide on images under 110 x 46.
    // Rectangles are y-down: the caption strip is at the bottom, the trash button
    // 6 points in from the image's top right corner with copy beside it, the check
    // at the top left.
    void geometry_data() {
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<bool>("captions");
        QTest::addColumn<double>("imgHeight");
        QTest::addColumn<bool>("buttons");
        QTest::newRow("100x80 with captions") << QSizeF(100, 80) << true << 60.0 << false;
        QTest::newRow("200x150 without captions") << QSizeF(200, 150) << false << 150.0 << true;
        QTest::newRow("110x66 with captions: just big enough")
            << QSizeF(110, 66) << true << 46.0 << true;
        QTest::newRow("110x65 with captions: one point too low")
            << QSizeF(110, 65) << true << 45.0 << false;
        QTest::newRow("shorter than the caption keeps a 1-point image")
            << QSizeF(100, 10) << true << 1.0 << false;
    }
    void geometry() {
        QFETCH(QSizeF, size);
        QFETCH(bool, captions);
        QFETCH(double, imgHeight);
        QFETCH(bool, buttons);
        Rig rig;
        auto c = rig.cell(shot("a.png", {800, 600}), QRectF(QPointF(30, 40), size), captions);
        const ThumbView::Geometry& g = c->geometry();
        const QRectF img(0, 0, size.width(), imgHeight);
        const QRectF trash(size.width() - 30, 6, 24, 24), copy = trash.translated(-28, 0);
        QCOMPARE(g.img, img);
        QCOMPARE(g.ring, img.adjusted(-3, -3, 3, 3));
        QCOMPARE(g.check, QRectF(7, 7, 18, 18));
        QCOMPARE(g.buttonsShown, buttons);
        QCOMPARE(g.trashB, trash);
        QCOMPARE(g.copyB, copy);
        QCOMPARE(g.badge, QRectF(7, img.bottom() - 23, 46, 16));
        QCOMPARE(g.numL, QRectF(1, size.height() - 16, size.width() / 2, 13));

        // Hit-testing uses grid coordinates and only finds visible buttons of a hovered cell.
        const QPointF trashCentre = c->frame().topLeft() + trash.center();
        QCOMPARE(c->buttonAt(trashCentre), Button::None);
        c->setHover(true);
        QCOMPARE(c->buttonAt(trashCentre), buttons ? Button::Trash : Button::None);
        QCOMPARE(c->buttonAt(c->frame().topLeft() + copy.center()),
                 buttons ? Button::Copy : Button::None);
    }

    // The bucket asked for is the one that fills the image area at the backing scale.
    void bucketForSize_data() {
        QTest::addColumn<QSizeF>("pixels");
        QTest::addColumn<QSizeF>("cell");
        QTest::addColumn<double>("scale");
        QTest::addColumn<int>("bucket");
        // 3000 x 2000 in 240 x 160 at 2: 3000 * 0.08 * 2 = 480 -> 640.
        QTest::newRow("3000x2000 in 240x160 at 2")
            << QSizeF(3000, 2000) << QSizeF(240, 160) << 2.0 << 640;
        QTest::newRow("same at 1") << QSizeF(3000, 2000) << QSizeF(240, 160) << 1.0 << 320;
        // Aspect fill of a tall image in a wide area: the width decides the scale
        // and the long side is what the cache bounds (3000 * 0.24 * 2 = 1440).
        QTest::newRow("tall image fills by width")
            << QSizeF(1000, 3000) << QSizeF(240, 160) << 2.0 << 2560;
        // Unknown size: the longest side times the scale times 1.6 = 768.
        QTest::newRow("unknown size") << QSizeF(0, 0) << QSizeF(240, 160) << 2.0 << 1280;
        QTest::newRow("tiny") << QSizeF(100, 100) << QSizeF(40, 40) << 1.0 << 160;
    }
    void bucketForSize() {
        QFETCH(QSizeF, pixels);
        QFETCH(QSizeF, cell);
        QFETCH(double, scale);
        QFETCH(int, bucket);
        Rig rig;
        auto c = rig.cell(shot("a.png", pixels), QRectF(QPointF(0, 0), cell), false);
        c->load(scale);
        QCOMPARE(c->requested, bucket);
        QCOMPARE(c->loaded, 0);
        QTRY_COMPARE(c->loaded, bucket);
        QCOMPARE(c->requested, 0);
        QCOMPARE(c->image().width(), bucket);
    }

    // A failed load keeps what is shown and clears the request so a later load
    // asks again. A smaller cached image shows at once while the right one
    // loads; a cell that shrinks keeps its larger image and asks for nothing.
    void loadStates() {
        Rig rig;
        const ShotPtr s = shot("a.png", {3000, 2000});
        auto small = rig.cell(s, QRectF(0, 0, 100, 66), false);
        rig.cache.fail->storeRelease(1);
        small->load(1); // 160
        QCOMPARE(small->requested, 160);
        QTRY_COMPARE(small->requested, 0);
        QCOMPARE(small->loaded, 0);
        QVERIFY(small->image().isNull());
        rig.cache.fail->storeRelease(0);
        small->load(1);
        QTRY_COMPARE(small->loaded, 160);

        auto big = rig.cell(s, QRectF(0, 0, 240, 160), false);
        big->load(2);
        QCOMPARE(big->loaded, 160); // shown at once from the cache
        QCOMPARE(big->requested, 640);
        QVERIFY(!big->image().isNull());
        QTRY_COMPARE(big->loaded, 640);
        QCOMPARE(rig.cache.decodes->loadAcquire(), 3);

        big->setFrame(QRectF(0, 0, 100, 66));
        big->load(1);
        QCOMPARE(big->loaded, 640);
        QCOMPARE(big->requested, 0);
        QCOMPARE(rig.cache.decodes->loadAcquire(), 3);
    }

    // A reply for an older version of the file must not replace the newer
    // version's picture, or the old picture would stay for good.
    void replyForOlderVersionIsIgnored() {
        Rig rig;
        rig.cache.held->storeRelease(1280);
        const ShotPtr before = shot("a.png", {3000, 2000}, 1000);
        auto c = rig.cell(before, QRectF(0, 0, 480, 320), false);
        c->load(2); // 1280 of version 1000: waits in the decoder
        QCOMPARE(c->requested, 1280);
        QTRY_COMPARE(rig.cache.decodes->loadAcquire(), 1);

        c->shot = shot("a.png", {3000, 2000}, 2000); // what the grid does for a new date
        c->cancelLoad();
        c->loaded = 0;
        c->setFrame(QRectF(0, 0, 240, 160));
        c->load(2); // 640 of version 2000
        QTRY_COMPARE(c->loaded, 640);
        const qint64 newer = c->image().cacheKey();

        rig.cache.gate->release();
        QTRY_VERIFY(rig.cache.thumbs.cached(*before, 1280).has_value());
        QCOMPARE(c->loaded, 640);
        QCOMPARE(c->image().cacheKey(), newer);
    }

    // Recordings show their whole seconds as m:ss, or a bare triangle when unknown,
    // and their time caption starts with "REC ".
    void badgeAndTime_data() {
        QTest::addColumn<bool>("video");
        QTest::addColumn<double>("duration");
        QTest::addColumn<QString>("badge");
        QTest::newRow("75.9 s") << true << 75.9 << QStringLiteral("▶ 1:15");
        QTest::newRow("9 s") << true << 9.0 << QStringLiteral("▶ 0:09");
        QTest::newRow("an hour") << true << 3600.0 << QStringLiteral("▶ 60:00");
        QTest::newRow("unknown") << true << 0.0 << QStringLiteral("▶");
        QTest::newRow("still") << false << 75.9 << QString();
    }
    void badgeAndTime() {
        QFETCH(bool, video);
        QFETCH(double, duration);
        QFETCH(QString, badge);
        Rig rig;
        const double now = double(QDateTime::currentSecsSinceEpoch());
        const ShotPtr s = shot("a.mp4", {1920, 1080}, now, video, now);
        s->duration = duration;
        auto c = rig.cell(s, QRectF(0, 0, 200, 150));
        QCOMPARE(c->badgeText(), badge);
        const QString time = QDateTime::fromSecsSinceEpoch(qint64(now)).toString("HH:mm");
        QCOMPARE(c->timeText(), video ? QStringLiteral("REC ") + time : time);
        c->number = 42;
        c->updateCaption();
        QVERIFY(c->numberText().endsWith(QStringLiteral("42")));
    }

    // Hover shows the hollow check and the buttons; selection shows the ring and
    // the filled check; a selection elsewhere shows hollow checks everywhere.
    void stateLooks_data() {
        QTest::addColumn<bool>("hover");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<bool>("selectMode");
        QTest::addColumn<double>("ring");
        QTest::addColumn<double>("check");
        QTest::addColumn<double>("fill");
        QTest::addColumn<double>("buttons");
        QTest::newRow("rest") << false << false << false << 0.0 << 0.0 << 0.0 << 0.0;
        QTest::newRow("hover") << true << false << false << 0.0 << 1.0 << 0.0 << 1.0;
        QTest::newRow("select mode") << false << false << true << 0.0 << 1.0 << 0.0 << 0.0;
        QTest::newRow("selected") << false << true << true << 1.0 << 1.0 << 1.0 << 0.0;
        QTest::newRow("selected, hovered") << true << true << true << 1.0 << 1.0 << 1.0 << 1.0;
    }
    void stateLooks() {
        QFETCH(bool, hover);
        QFETCH(bool, selected);
        QFETCH(bool, selectMode);
        QFETCH(double, ring);
        QFETCH(double, check);
        QFETCH(double, fill);
        QFETCH(double, buttons);
        Rig rig;
        auto c = rig.cell(shot("a.png", {800, 600}), QRectF(0, 0, 200, 170));
        c->parts(); // a cell on screen
        c->selected = selected;
        c->selectMode = selectMode;
        c->updateState(true);
        c->setHover(hover);
        // Animated: the transition starts from the resting look.
        QCOMPARE(c->ringOpacity(), 0.0);
        rig.animator.advanceTo(0.08);
        if (ring > 0)
            QVERIFY(c->ringOpacity() > 0.2 && c->ringOpacity() < 0.8);
        rig.animator.advanceTo(1.0);
        QCOMPARE(c->ringOpacity(), ring);
        QCOMPARE(c->checkOpacity(), check);
        QCOMPARE(c->checkFill(), fill);
        QCOMPARE(c->buttonsOpacity(), buttons);
        QVERIFY(!c->animating());
        QCOMPARE(rig.grid.hovered.has_value(), hover);

        // A cell never shown has nothing to fade from: it takes its look at once.
        auto unseen = rig.cell(shot("b.png", {800, 600}), QRectF(0, 0, 200, 170));
        unseen->selected = selected;
        unseen->selectMode = selectMode;
        unseen->updateState(true);
        unseen->setHover(hover);
        QCOMPARE(unseen->ringOpacity(), ring);
        QCOMPARE(unseen->checkFill(), fill);
        QCOMPARE(unseen->buttonsOpacity() > 0, hover); // hover starts the fade-in
    }

    // The copy button copies just its shot; the trash button takes the whole
    // selection when its cell is selected, in listing order.
    void buttonsAskTheHost() {
        Rig rig;
        const ShotList shots = mixed(4);
        rig.grid.setShots(shots, false);
        rig.grid.setSelection({shots[3]->path, shots[1]->path});
        ThumbView* selected = rig.grid.cell(shots[3]->path);
        ThumbView* other = rig.grid.cell(shots[0]->path);
        selected->fire(Button::Trash);
        other->fire(Button::Trash);
        other->fire(Button::Copy);
        rig.grid.setHost(nullptr);
        other->fire(Button::Copy); // without a host nothing happens
        QCOMPARE(rig.host.log, (QStringList{"count 2", "trash s1,s3", "trash s0", "copy s0"}));
    }

    // Develop flashes and pops; vanish fades the cell out and reports the end once.
    void developAndVanish() {
        Rig rig;
        auto c = rig.cell(shot("a.png", {800, 600}), QRectF(0, 0, 200, 170));
        c->develop();
        QCOMPARE(c->parts().flashLayer.value(motion::Prop::Opacity, 0.0), 0.9);
        QCOMPARE(c->parts().imgLayer.value(motion::Prop::Scale, {1, 1})[0], 0.93);
        rig.animator.advanceTo(0.3);
        QVERIFY(std::abs(c->parts().flashLayer.value(motion::Prop::Opacity, 0.0) - 0.55) < 0.1);
        rig.animator.advanceTo(1.3);
        QCOMPARE(c->parts().flashLayer.value(motion::Prop::Opacity, 0.0), 0.0);
        QVERIFY(!c->animating());

        int removed = 0;
        c->vanish([&] { ++removed; });
        rig.animator.advanceTo(1.4);
        QVERIFY(c->parts().layer.value(motion::Prop::Opacity, 1.0) < 0.6);
        QCOMPARE(removed, 0);
        rig.animator.advanceTo(1.6);
        QCOMPARE(removed, 1);
        QCOMPARE(c->parts().imgLayer.value(motion::Prop::Scale, {1, 1})[0], 0.9);
    }

    // A painted selected cell shows its accent ring and filled check over the
    // image; a resting cell shows the image alone, corners rounded. Painting the
    // composed look of a cell at rest gives the same picture as painting its parts.
    void paintsItsLook_data() {
        QTest::addColumn<int>("ratio");
        QTest::newRow("ratio 1") << 1;
        QTest::newRow("ratio 2") << 2;
    }
    void paintsItsLook() {
        QFETCH(int, ratio);
        Rig rig;
        auto c = rig.cell(shot("a.png", {800, 600}), QRectF(10, 10, 200, 170));
        QImage red(400, 300, QImage::Format_RGB32);
        red.fill(Qt::red);
        c->setImage(red, false);
        auto render = [&] {
            QImage out(220 * ratio, 200 * ratio, QImage::Format_ARGB32_Premultiplied);
            out.setDevicePixelRatio(ratio);
            out.fill(Qt::black);
            QPainter p(&out);
            p.setRenderHint(QPainter::Antialiasing);
            c->paint(p);
            return out;
        };
        auto at = [&](const QImage& image, int x, int y) {
            return image.pixelColor(x * ratio, y * ratio);
        };
        const QColor accent = Theme::accentCG(1);
        auto near = [](QColor a, QColor b) {
            return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
                   std::abs(a.blue() - b.blue()) < 40;
        };
        const QImage rest = render();
        QVERIFY(near(at(rest, 110, 80), Qt::red));
        QVERIFY(near(at(rest, 8, 90), Qt::black));     // no ring
        QVERIFY(near(at(rest, 10, 10), Qt::black));    // rounded corner
        QVERIFY(near(at(rest, 26, 26), Qt::red));      // no check
        QVERIFY(worstDifference(render(), rest) <= 2); // composed
        QVERIFY(c->partsIfMade()->composedValid);

        c->selected = c->selectMode = true;
        c->updateState(false);
        const QImage selected = render();
        QVERIFY(near(at(selected, 8, 90), accent));
        QVERIFY(near(at(selected, 21, 21), accent)); // inside the check, off the tick
        QVERIFY(near(at(selected, 110, 80), Qt::red));
        QVERIFY(worstDifference(render(), selected) <= 2);
        QVERIFY(worstDifference(render(), rest) > 100); // the composed look followed the state
    }

    // A bright 16-bit picture with alpha, decoded at a larger rung than the
    // cell needs, keeps its colour up to the image's last column.
    void deepPictureKeepsItsEdge() {
        // Made here rather than decoded: the decoder shrinks to 8 bits by
        // itself, and the cell must hold whatever picture it is given.
        QImage decoded(640, 400, QImage::Format_RGBA64);
        decoded.fill(QColor(240, 255, 244));
        Rig rig;
        for (const double width : {101.0, 129.0, 148.0}) {
            auto c =
                rig.cell(shot("a.png", {1280, 800}), QRectF(0, 0, width, width * 0.625), false);
            c->setImage(decoded, false);
            QImage out(int(width) + 2, int(width), QImage::Format_ARGB32_Premultiplied);
            out.fill(Qt::black);
            QPainter p(&out);
            c->paint(p);
            p.end();
            const int last = int(std::ceil(c->geometry().img.right())) - 1;
            const QColor seen = out.pixelColor(last, int(c->geometry().img.center().y()));
            QVERIFY2(
                seen.green() > 200,
                qPrintable(QStringLiteral("%1 at %2: %3").arg(width).arg(last).arg(seen.name())));
        }
    }

    // The drag picture is the image area without the caption, grey without an image.
    void dragImage() {
        Rig rig;
        auto c = rig.cell(shot("a.png", {800, 600}), QRectF(0, 0, 200, 170));
        const QImage empty = c->dragImage();
        QCOMPARE(empty.size(), QSize(200, 150));
        QCOMPARE(qGray(empty.pixel(100, 75)), 46); // white level 0.18
        QCOMPARE(qAlpha(empty.pixel(0, 0)), 0);    // outside the rounded corner
        QImage red(80, 20, QImage::Format_RGB32);
        red.fill(Qt::red);
        c->setImage(red, false);
        const QImage filled = c->dragImage();
        QCOMPARE(QColor(filled.pixel(100, 75)), QColor(Qt::red));
        QCOMPARE(QColor(filled.pixel(2, 75)), QColor(Qt::red)); // aspect fill covers the width
    }
};

TAMBERK_TEST(tst_ThumbView)
#include "tst_ThumbView.moc"
