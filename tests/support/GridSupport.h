#pragma once

#include "content/Thumbs.h"
#include "grid/GridHost.h"
#include "grid/GridView.h"

#include <QFileInfo>
#include <QScrollArea>
#include <QScrollBar>
#include <QSemaphore>

namespace gridtest {

inline ShotPtr shot(const QString& name, QSizeF size, double modified = 1000, bool video = false,
                    double created = 1000) {
    return std::make_shared<Shot>(QStringLiteral("/shots/") + name, created, modified, size, video,
                                  true);
}

/// `count` shots named s0, s1, … with aspects cycling through a few screen shapes.
inline ShotList mixed(int count) {
    static const QSizeF sizes[] = {{1920, 1080}, {800, 600},  {600, 900}, {1000, 1000},
                                   {2880, 1800}, {400, 1200}, {1200, 300}};
    ShotList out;
    for (int i = 0; i < count; ++i)
        out << shot(QStringLiteral("s%1.png").arg(i), sizes[i % 7]);
    return out;
}

/// A cache whose decoder makes a plain image of the asked size and counts calls.
struct CountingThumbs {
    std::shared_ptr<QAtomicInt> decodes = std::make_shared<QAtomicInt>(0);
    std::shared_ptr<QAtomicInt> fail = std::make_shared<QAtomicInt>(0);
    /// Decodes of this bucket wait for `gate` (0: none wait).
    std::shared_ptr<QAtomicInt> held = std::make_shared<QAtomicInt>(0);
    std::shared_ptr<QSemaphore> gate = std::make_shared<QSemaphore>(0);
    Thumbs thumbs{[decodes = decodes, fail = fail, held = held, gate = gate](const QString&, bool,
                                                                             int maxPixel) {
        decodes->fetchAndAddOrdered(1);
        if (held->loadAcquire() == maxPixel)
            gate->acquire();
        if (fail->loadAcquire())
            return Thumbs::Made{};
        QImage image(maxPixel, maxPixel * 2 / 3, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        return Thumbs::Made{image, 0, {}};
    }};
};

/// Logs every request of the grid to its controller, shots by base name ("copy s1,s4").
class FakeHost : public GridHost {
public:
    QStringList log;

    static QString names(const ShotList& shots) {
        QStringList out;
        for (const ShotPtr& s : shots)
            out << QFileInfo(s->path).completeBaseName();
        return out.join(',');
    }
    void open(const ShotList& shots) override { log << "open " + names(shots); }
    void copy(const ShotList& shots) override { log << "copy " + names(shots); }
    void trash(const ShotList& shots) override { log << "trash " + names(shots); }
    void escape() override { log << "escape"; }
    void gridHold(bool held) override { log << (held ? "hold" : "release"); }
    QMenu* menuFor(GridView*, const ShotList& shots) override {
        log << "menu " + names(shots);
        return nullptr;
    }
    void gridDrag(GridView*, bool active) override { log << (active ? "drag" : "drag end"); }
    void gridDragMoved(GridView*) override { log << "moved"; }
    void reveal(const QStringList& paths) override {
        log << "reveal " + QString::number(paths.size());
    }
    void gridSelectionChanged(int count) override { log << QStringLiteral("count %1").arg(count); }
    void gridSearch(const QString& seed) override { log << "search " + seed; }
};

/// A shown scroll area around a grid, as the shelf holds it, on a manual clock.
struct Roll {
    motion::Animator animator{0.0};
    CountingThumbs cache;
    FakeHost host;
    QScrollArea area;
    GridView* grid = new GridView(nullptr, &animator, &cache.thumbs);
    double now = 0;

    explicit Roll(int width = 470, int height = 600) {
        area.setFrameShape(QFrame::NoFrame);
        area.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area.resize(width, height);
        area.setWidget(grid);
        grid->setHost(&host);
        area.show();
        fit(width);
    }
    /// What the shelf's grid fit does: viewport height, width, relayout.
    void fit(int width, bool animated = false) {
        grid->setViewportHeight(area.viewport()->height());
        grid->resize(width, std::max(grid->height(), area.viewport()->height()));
        grid->relayout(animated);
    }
    void advance(double seconds) { animator.advanceTo(now += seconds); }
    void scrollTo(int y) {
        area.verticalScrollBar()->setValue(y);
        grid->updateVisible();
    }
    int scroll() const { return area.verticalScrollBar()->value(); }
    /// Lists `count` mixed shots at once.
    ShotList fill(int count) {
        grid->setShots(mixed(count), false);
        return grid->shots();
    }
    QPointF centre(int i) const { return grid->frameOf(grid->shots()[i]->path)->center(); }
};

/// The largest difference of any colour channel between two pictures of one size.
inline int worstDifference(const QImage& a, const QImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return worst;
}

} // namespace gridtest
