#include "GridSupport.h"
#include "TestEnv.h"
#include "grid/ThumbView.h"
#include "shelf/Theme.h"

#include <QPainter>
#include <QTest>

using namespace gridtest;
using Button = ThumbView::Button;
using motion::Prop;

namespace {

// A cell of the roll's grid that the grid does not list, at `frame`; the grid is hidden.
ThumbPtr cellOf(Roll& roll, const ShotPtr& s, QRectF frame, bool captions = true) {
    roll.area.hide();
    auto c = std::make_shared<ThumbView>(s, roll.grid, &roll.animator);
    c->captions = captions;
    c->setFrame(frame);
    return c;
}

QImage filled(QSize size, QColor color, QImage::Format format = QImage::Format_RGB32) {
    QImage image(size, format);
    image.fill(color);
    return image;
}

} // namespace

class tst_ThumbView : public QObject {
    Q_OBJECT
private slots:
    // Buttons only on images big enough, taking the pointer only on a hovered cell.
    void geometry_data() {
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<bool>("captions");
        QTest::addColumn<double>("imgHeight");
        QTest::addColumn<bool>("buttons");
        QTest::newRow("too narrow for buttons") << QSizeF(100, 80) << true << 60.0 << false;
        QTest::newRow("without captions") << QSizeF(200, 150) << false << 150.0 << true;
        QTest::newRow("just big enough") << QSizeF(110, 66) << true << 46.0 << true;
        QTest::newRow("one point too low") << QSizeF(110, 65) << true << 45.0 << false;
        QTest::newRow("shorter than the caption") << QSizeF(100, 10) << true << 1.0 << false;
    }
    void geometry() {
        QFETCH(QSizeF, size);
        QFETCH(bool, captions);
        QFETCH(double, imgHeight);
        QFETCH(bool, buttons);
        Roll roll;
        auto c = cellOf(roll, shot("a.png", {800, 600}), QRectF(QPointF(30, 40), size), captions);
        const ThumbView::Geometry& g = c->geometry();
        QCOMPARE(g.img, QRectF(0, 0, size.width(), imgHeight));
        QVERIFY(g.ring.contains(g.img) && g.ring != g.img);
        QCOMPARE(g.buttonsShown, buttons);
        if (captions && imgHeight > 1)
            QVERIFY(g.numL.top() >= g.img.bottom() && g.numL.bottom() <= size.height());
        if (buttons) { // each at its corner of the image
            const QPointF mid = g.img.center();
            for (const QRectF& part : {g.check, g.badge, g.trashB, g.copyB})
                QVERIFY(g.img.contains(part));
            QVERIFY(g.check.center().x() < mid.x() && g.check.center().y() < mid.y());
            QVERIFY(g.badge.center().x() < mid.x() && g.badge.center().y() > mid.y());
            QVERIFY(g.trashB.center().x() > mid.x() && g.trashB.center().y() < mid.y());
            QVERIFY(g.copyB.right() <= g.trashB.left() && g.copyB.top() == g.trashB.top());
        }
        const QPointF trash = c->frame().topLeft() + g.trashB.center();
        QCOMPARE(c->buttonAt(trash), Button::None);
        c->setHover(true);
        QCOMPARE(c->buttonAt(trash), buttons ? Button::Trash : Button::None);
        QCOMPARE(c->buttonAt(c->frame().topLeft() + g.copyB.center()),
                 buttons ? Button::Copy : Button::None);
    }

    // A tall image's bucket fills the area by width; an unknown size takes the longest side.
    void bucketForSize() {
        Roll roll;
        for (const auto& [pixels, bucket] :
             {std::pair(QSizeF(1000, 3000), 2560), {QSizeF(), 1280}}) {
            auto c = cellOf(roll, shot("a.png", pixels), QRectF(0, 0, 240, 160), false);
            c->load(2);
            QCOMPARE(c->requested, bucket);
        }
    }

    // A failed load retries; a smaller cached image shows meanwhile; a shrunk cell keeps its own.
    void loadStates() {
        Roll roll;
        const ShotPtr s = shot("a.png", {3000, 2000});
        auto small = cellOf(roll, s, QRectF(0, 0, 100, 66), false);
        roll.cache.fail->storeRelease(1);
        small->load(1); // 160
        QCOMPARE(small->requested, 160);
        QTRY_COMPARE(small->requested, 0);
        QCOMPARE(small->loaded, 0);
        QVERIFY(small->image().isNull());
        roll.cache.fail->storeRelease(0);
        small->load(1);
        QTRY_COMPARE(small->loaded, 160);
        auto big = cellOf(roll, s, QRectF(0, 0, 240, 160), false);
        big->load(2);
        QCOMPARE(big->loaded, 160); // shown at once from the cache
        QCOMPARE(big->requested, 640);
        QVERIFY(!big->image().isNull());
        QTRY_COMPARE(big->loaded, 640);
        big->setFrame(QRectF(0, 0, 100, 66));
        big->load(1);
        QCOMPARE(big->loaded, 640);
        QCOMPARE(big->requested, 0);
        QCOMPARE(roll.cache.decodes->loadAcquire(), 3);
    }

    // A reply for an older version of the file must not replace the newer one's picture.
    void replyForOlderVersionIsIgnored() {
        Roll roll;
        roll.cache.held->storeRelease(1280);
        const ShotPtr before = shot("a.png", {3000, 2000}, 1000);
        auto c = cellOf(roll, before, QRectF(0, 0, 480, 320), false);
        c->load(2); // 1280 of version 1000: waits in the decoder
        QCOMPARE(c->requested, 1280);
        QTRY_COMPARE(roll.cache.decodes->loadAcquire(), 1);

        c->shot = shot("a.png", {3000, 2000}, 2000); // what the grid does for a new date
        c->cancelLoad();
        c->loaded = 0;
        c->setFrame(QRectF(0, 0, 240, 160));
        c->load(2); // 640 of version 2000
        QTRY_COMPARE(c->loaded, 640);
        const qint64 newer = c->image().cacheKey();
        roll.cache.gate->release();
        QTRY_VERIFY(roll.cache.thumbs.cached(*before, 1280).has_value());
        QCOMPARE(c->loaded, 640);
        QCOMPARE(c->image().cacheKey(), newer);
    }

    // Recordings show whole seconds as m:ss (a bare triangle when unknown) and "REC " times.
    void badgeAndTime_data() {
        QTest::addColumn<bool>("video");
        QTest::addColumn<double>("duration");
        QTest::addColumn<QString>("badge");
        QTest::newRow("75.9 s") << true << 75.9 << QStringLiteral("▶ 1:15");
        QTest::newRow("9 s") << true << 9.0 << QStringLiteral("▶ 0:09");
        QTest::newRow("unknown") << true << 0.0 << QStringLiteral("▶");
        QTest::newRow("still") << false << 75.9 << QString();
    }
    void badgeAndTime() {
        QFETCH(bool, video);
        QFETCH(double, duration);
        QFETCH(QString, badge);
        Roll roll;
        const double now = double(QDateTime::currentSecsSinceEpoch());
        const ShotPtr s = shot("a.mp4", {1920, 1080}, now, video, now);
        s->duration = duration;
        auto c = cellOf(roll, s, QRectF(0, 0, 200, 150));
        QCOMPARE(c->badgeText(), badge);
        const QString time = QDateTime::fromSecsSinceEpoch(qint64(now)).toString("HH:mm");
        QCOMPARE(c->timeText(), video ? QStringLiteral("REC ") + time : time);
        c->number = 42;
        c->updateCaption();
        QVERIFY(c->numberText().endsWith(QStringLiteral("42")));
    }

    // What each state shows; a shown cell fades to its look, one never shown takes it at once.
    void stateLooks_data() {
        QTest::addColumn<bool>("hover");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<bool>("selectMode");
        QTest::addColumn<QList<double>>("look"); // ring, check, fill, buttons
        QTest::newRow("rest") << false << false << false << QList<double>{0, 0, 0, 0};
        QTest::newRow("hover") << true << false << false << QList<double>{0, 1, 0, 1};
        QTest::newRow("select mode") << false << false << true << QList<double>{0, 1, 0, 0};
        QTest::newRow("selected") << false << true << true << QList<double>{1, 1, 1, 0};
        QTest::newRow("selected, hovered") << true << true << true << QList<double>{1, 1, 1, 1};
    }
    void stateLooks() {
        QFETCH(bool, hover);
        QFETCH(bool, selected);
        QFETCH(bool, selectMode);
        QFETCH(QList<double>, look);
        Roll roll;
        auto apply = [&](ThumbView& c) {
            c.selected = selected;
            c.selectMode = selectMode;
            c.updateState(true);
            c.setHover(hover);
        };
        const auto seen = [](ThumbView& c) {
            return QList<double>{c.ringOpacity(), c.checkOpacity(), c.checkFill(),
                                 c.buttonsOpacity()};
        };
        auto c = cellOf(roll, shot("a.png", {800, 600}), QRectF(0, 0, 200, 170));
        c->parts(); // a cell on screen
        apply(*c);
        QCOMPARE(c->ringOpacity(), 0.0);
        roll.animator.advanceTo(0.08);
        if (look[0] > 0)
            QVERIFY(c->ringOpacity() > 0.2 && c->ringOpacity() < 0.8);
        roll.animator.advanceTo(1.0);
        QCOMPARE(seen(*c), look);
        QVERIFY(!c->animating());
        QCOMPARE(roll.grid->hovered.has_value(), hover);

        auto unseen = cellOf(roll, shot("b.png", {800, 600}), QRectF(0, 0, 200, 170));
        apply(*unseen);
        QCOMPARE(unseen->ringOpacity(), look[0]);
        QCOMPARE(unseen->checkFill(), look[2]);
        QCOMPARE(unseen->buttonsOpacity() > 0, hover); // hover starts the fade-in
    }

    // Develop flashes and pops the image; vanish shrinks and fades it and reports the end once.
    void developAndVanish() {
        Roll roll;
        auto c = cellOf(roll, shot("a.png", {800, 600}), QRectF(0, 0, 200, 170));
        const auto flash = [&] { return c->parts().flashLayer.value(Prop::Opacity, 0.0); };
        const auto scale = [&] { return c->parts().imgLayer.value(Prop::Scale, {1, 1})[0]; };
        c->develop();
        const double start = flash();
        QVERIFY(start > 0.5 && scale() < 1);
        roll.animator.advanceTo(0.3);
        QVERIFY(flash() > 0 && flash() < start);
        roll.animator.advanceTo(1.3);
        QCOMPARE(flash(), 0.0);
        QCOMPARE(scale(), 1.0);
        QVERIFY(!c->animating());
        int removed = 0;
        c->vanish([&] { ++removed; });
        roll.animator.advanceTo(1.4);
        QVERIFY(c->parts().layer.value(Prop::Opacity, 1.0) < 0.6);
        QCOMPARE(removed, 0);
        roll.animator.advanceTo(1.6);
        QCOMPARE(removed, 1);
        QVERIFY(scale() < 1);
    }

    // At rest the image alone; selected, ring and check; the composed look equals the parts.
    void paintsItsLook_data() {
        QTest::addColumn<int>("ratio");
        QTest::newRow("ratio 1") << 1;
        QTest::newRow("ratio 2") << 2;
    }
    void paintsItsLook() {
        QFETCH(int, ratio);
        Roll roll;
        auto c = cellOf(roll, shot("a.png", {800, 600}), QRectF(10, 10, 200, 170));
        c->setImage(filled({400, 300}, Qt::red), false);
        auto render = [&] {
            QImage out(220 * ratio, 200 * ratio, QImage::Format_ARGB32_Premultiplied);
            out.setDevicePixelRatio(ratio);
            out.fill(Qt::black);
            QPainter p(&out);
            p.setRenderHint(QPainter::Antialiasing);
            c->paint(p);
            return out;
        };
        auto near = [&](const QImage& image, int x, int y, QColor b) {
            const QColor a = image.pixelColor(x * ratio, y * ratio);
            return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
                   std::abs(a.blue() - b.blue()) < 40;
        };
        const QImage rest = render();
        QVERIFY(near(rest, 110, 80, Qt::red));
        QVERIFY(near(rest, 8, 90, Qt::black));         // no ring
        QVERIFY(near(rest, 10, 10, Qt::black));        // rounded corner
        QVERIFY(near(rest, 26, 26, Qt::red));          // no check
        QVERIFY(worstDifference(render(), rest) <= 2); // composed
        QVERIFY(c->partsIfMade()->composedValid);
        c->selected = c->selectMode = true;
        c->updateState(false);
        const QImage selected = render();
        const QColor accent = Theme::accentCG(1);
        QVERIFY(near(selected, 8, 90, accent));
        QVERIFY(near(selected, 21, 21, accent)); // inside the check, off the tick
        QVERIFY(near(selected, 110, 80, Qt::red));
        QVERIFY(worstDifference(render(), selected) <= 2);
        QVERIFY(worstDifference(render(), rest) > 100); // the composed look followed the state
    }

    // A bright 16-bit picture with alpha keeps its colour up to the image's last column.
    void deepPictureKeepsItsEdge() {
        const QImage decoded = filled({640, 400}, QColor(240, 255, 244), QImage::Format_RGBA64);
        Roll roll;
        for (const double width : {101.0, 129.0, 148.0}) {
            auto c =
                cellOf(roll, shot("a.png", {1280, 800}), QRectF(0, 0, width, width * 0.625), false);
            c->setImage(decoded, false);
            QImage out = filled(QSize(int(width) + 2, int(width)), Qt::black,
                                QImage::Format_ARGB32_Premultiplied);
            QPainter p(&out);
            c->paint(p);
            p.end();
            const int last = int(std::ceil(c->geometry().img.right())) - 1;
            const QColor seen = out.pixelColor(last, int(c->geometry().img.center().y()));
            QVERIFY2(seen.green() > 200, qPrintable(QStringLiteral("%1: %2").arg(width).arg(last)));
        }
    }

    // The drag picture: the image area, corners rounded, filled by the image or dark grey.
    void dragImage() {
        Roll roll;
        auto c = cellOf(roll, shot("a.png", {800, 600}), QRectF(0, 0, 200, 170));
        const QImage empty = c->dragImage();
        QCOMPARE(QSizeF(empty.deviceIndependentSize()), c->geometry().img.size());
        const QColor grey = empty.pixelColor(100, 75);
        QVERIFY(grey.alpha() == 255 && grey.red() == grey.blue() && grey.lightness() < 80);
        QCOMPARE(qAlpha(empty.pixel(0, 0)), 0);
        c->setImage(filled({80, 20}, Qt::red), false);
        const QImage image = c->dragImage();
        QCOMPARE(QColor(image.pixel(100, 75)), QColor(Qt::red));
        QCOMPARE(QColor(image.pixel(2, 75)), QColor(Qt::red)); // aspect fill covers the width
    }
};

TAMBERK_TEST(tst_ThumbView)
#include "tst_ThumbView.moc"
