#pragma once

#include "content/Thumbs.h"
#include "grid/GridHost.h"
#include "library/Shot.h"

#include <QAtomicInt>
#include <QImage>
#include <QList>
#include <QSemaphore>
#include <QSizeF>
#include <QString>
#include <memory>

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

/// Records what the grid asks of its controller.
class FakeHost : public GridHost {
public:
    QList<int> selectionCounts;
    QList<QStringList> copied, trashed;

    static QStringList paths(const ShotList& shots) {
        QStringList out;
        for (const ShotPtr& s : shots)
            out << s->path;
        return out;
    }
    void open(const ShotList&) override {}
    void copy(const ShotList& shots) override { copied << paths(shots); }
    void trash(const ShotList& shots) override { trashed << paths(shots); }
    void escape() override {}
    void gridHold(bool) override {}
    QMenu* menuFor(GridView*, const ShotList&) override { return nullptr; }
    void gridDrag(GridView*, bool) override {}
    void gridDragMoved(GridView*) override {}
    void gridSelectionChanged(int count) override { selectionCounts << count; }
    void gridSearch(const QString&) override {}
    void reveal(const QStringList&) override {}
};

} // namespace gridtest
