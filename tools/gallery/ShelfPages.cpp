// Gallery pages of the shelf card: docked on either side, in every empty state,
// with toasts, with the selection bar, as a strip and as a board, and drawn
// opaque for desktops without a compositor.
#include "Gallery.h"
#include "SampleShots.h"

#include "content/Thumbs.h"
#include "grid/GridView.h"
#include "grid/ThumbView.h"

#include "shelf/EmptyStateView.h"
#include "shelf/FineSlider.h"
#include "shelf/FooterBar.h"
#include "shelf/Motion.h"
#include "shelf/Scheduler.h"
#include "shelf/ShelfView.h"
#include "shelf/Theme.h"
#include "shelf/ToastView.h"

#include <QDir>
#include <QPainter>

namespace {

// A screenshot folder with a few subfolders, one of them nested.
struct Folders {
    QString root = QDir::homePath() + QStringLiteral("/Pictures/Screenshots");
    QHash<QString, QStringList> childMap;
    ChipSource source() {
        childMap = {
            {root, {root + "/Work", root + "/Travel", root + "/Receipts"}},
            {root + "/Travel", {root + "/Travel/Lisbon", root + "/Travel/Oslo"}},
        };
        ChipSource src;
        src.root = root;
        src.childMap = &childMap;
        src.listed = [](const QString&) { return true; };
        src.counts.session = 7;
        src.counts.all = 142;
        src.counts.perFolder = {{root, 142},
                                {root + "/Work", 38},
                                {root + "/Travel", 61},
                                {root + "/Travel/Lisbon", 40},
                                {root + "/Travel/Oslo", 21},
                                {root + "/Receipts", 9}};
        src.name = [](const QString& path) { return path.mid(path.lastIndexOf('/') + 1); };
        return src;
    }
};

struct Scene {
    DockSide side = DockSide::right;
    QSize size{268, 720};
    bool composited = true;
    int shots = 24; // frames on the roll; the empty states show none
    std::function<void(ShelfView&, ManualScheduler&)> setup;
};

// The shelf over a desktop-like backdrop, with its shadow, settled in time.
QImage render(const Scene& scene, double dpr) {
    motion::Animator animator(0.0);
    ManualScheduler scheduler(0, &animator);
    // The cells get their images from the samples, never from files.
    Thumbs thumbs([](const QString&, bool, int) { return Thumbs::Made{}; });
    ShelfView shelf(nullptr, &animator, &scheduler, &thumbs);
    shelf.setAttribute(Qt::WA_DontShowOnScreen);
    shelf.resize(scene.size);
    shelf.setSide(scene.side);
    shelf.setComposited(scene.composited);
    shelf.show();
    Folders folders;
    shelf.updateChips(folders.source(), Scope::session());
    const ShotList shots = gallery::sampleRoll(scene.shots);
    shelf.setCount(shots.size(), 142);
    shelf.footer()->slider()->setValue(224);
    shelf.layoutAll();
    shelf.grid()->setShots(shots, false);
    shelf.layoutGrid(false);
    gallery::showSamples(*shelf.grid(), shots);
    if (scene.setup)
        scene.setup(shelf, scheduler);
    scheduler.advanceTo(scheduler.now() + 0.5); // every fade has settled by then

    const int m = ShelfView::shadowMargin;
    QImage image = gallery::canvas(scene.size + QSize(2 * m, 2 * m), dpr);
    {
        QPainter p(&image);
        if (scene.composited) {
            QLinearGradient sky(0, 0, image.width(), image.height());
            sky.setColorAt(0, QColor(0x3b, 0x4f, 0x7a));
            sky.setColorAt(0.5, QColor(0x8a, 0x5a, 0x6e));
            sky.setColorAt(1, QColor(0x2e, 0x6b, 0x5e));
            p.fillRect(QRectF(QPointF(0, 0), image.deviceIndependentSize()), sky);
            ShelfView::paintShadow(p, QRectF(m, m, scene.size.width(), scene.size.height()));
        } else {
            // Without a compositor nothing shows through: a plain desktop colour.
            p.fillRect(QRectF(QPointF(0, 0), image.deviceIndependentSize()),
                       QColor(0x55, 0x66, 0x77));
        }
    }
    // Rendered on its own first: views with graphics effects land at the wrong
    // place when rendered at an offset.
    // The first paint draws the cells' parts, later ones their composed looks:
    // the picture shown is the one a settled roll shows.
    gallery::renderWidget(shelf, dpr);
    const QImage card = gallery::renderWidget(shelf, dpr);
    QPainter(&image).drawImage(QPointF(m, m), card);
    return image;
}

Scene emptyScene() {
    Scene s;
    s.shots = 0;
    return s;
}

void emptyState(ShelfView& shelf, const EmptyStateView::State& state) {
    shelf.empty()->setState(state);
    shelf.empty()->show();
}

} // namespace

GALLERY_IMAGE_PAGE(shelf_right, [](double dpr) { return render({}, dpr); })

GALLERY_IMAGE_PAGE(shelf_left, [](double dpr) {
    Scene s;
    s.side = DockSide::left;
    s.setup = [](ShelfView& shelf, ManualScheduler&) {
        Folders folders;
        shelf.updateChips(folders.source(), Scope::folder(folders.root + "/Travel/Oslo"));
        shelf.showSearch(false);
    };
    return render(s, dpr);
})

GALLERY_IMAGE_PAGE(shelf_opaque, [](double dpr) {
    Scene s;
    s.composited = false;
    return render(s, dpr);
})

GALLERY_IMAGE_PAGE(shelf_empty_loading, [](double dpr) {
    Scene s = emptyScene();
    s.setup = [](ShelfView& shelf, ManualScheduler&) {
        emptyState(shelf, EmptyStateView::State::loading());
    };
    return render(s, dpr);
})

GALLERY_IMAGE_PAGE(shelf_empty_noshots, [](double dpr) {
    Scene s = emptyScene();
    s.setup = [](ShelfView& shelf, ManualScheduler&) {
        shelf.setCount(0);
        emptyState(shelf, EmptyStateView::State::noShots());
    };
    return render(s, dpr);
})

GALLERY_IMAGE_PAGE(shelf_empty_folder, [](double dpr) {
    Scene s = emptyScene();
    s.setup = [](ShelfView& shelf, ManualScheduler&) {
        Folders folders;
        shelf.updateChips(folders.source(), Scope::folder(folders.root + "/Receipts"));
        emptyState(shelf, EmptyStateView::State::emptyFolder());
    };
    return render(s, dpr);
})

GALLERY_IMAGE_PAGE(shelf_empty_nomatches, [](double dpr) {
    Scene s = emptyScene();
    s.setup = [](ShelfView& shelf, ManualScheduler&) {
        shelf.showSearch(false);
        emptyState(shelf, EmptyStateView::State::noMatches("invoice 2024"));
    };
    return render(s, dpr);
})

GALLERY_IMAGE_PAGE(shelf_empty_unreadable, [](double dpr) {
    Scene s = emptyScene();
    s.setup = [](ShelfView& shelf, ManualScheduler&) {
        emptyState(shelf, EmptyStateView::State::unreadable("Screenshots"));
    };
    return render(s, dpr);
})

GALLERY_IMAGE_PAGE(shelf_toast, [](double dpr) {
    Scene s;
    s.setup = [](ShelfView& shelf, ManualScheduler&) { shelf.showToast("Copied 3 frames", false); };
    return render(s, dpr);
})

// Over light screenshots, where a white pill must still stand out.
GALLERY_IMAGE_PAGE(shelf_toast_light, [](double dpr) {
    Scene s;
    s.setup = [](ShelfView& shelf, ManualScheduler&) {
        QImage light(640, 400, QImage::Format_RGB32);
        light.fill(QColor(250, 250, 251));
        for (const ShotPtr& shot : shelf.grid()->shots()) {
            if (ThumbView* cell = shelf.grid()->cell(shot->path))
                cell->setImage(light, false);
        }
        shelf.showToast("Copied 3 frames", false);
    };
    return render(s, dpr);
})

GALLERY_IMAGE_PAGE(shelf_toast_undo, [](double dpr) {
    Scene s;
    s.setup = [](ShelfView& shelf, ManualScheduler&) { shelf.showToast("Moved to Trash", true); };
    return render(s, dpr);
})

GALLERY_IMAGE_PAGE(shelf_toast_long, [](double dpr) {
    Scene s;
    s.size = QSize(228, 720); // the narrowest card
    s.setup = [](ShelfView& shelf, ManualScheduler&) {
        shelf.showToast("Moved 12 frames to “Receipts 2026”", true);
    };
    return render(s, dpr);
})

GALLERY_IMAGE_PAGE(shelf_selection, [](double dpr) {
    Scene s;
    s.setup = [](ShelfView& shelf, ManualScheduler&) {
        const ShotList& shots = shelf.grid()->shots();
        shelf.grid()->setSelection({shots[0]->path, shots[2]->path, shots[3]->path});
        shelf.updateSelection(3);
    };
    return render(s, dpr);
})

GALLERY_IMAGE_PAGE(shelf_selection_narrow, [](double dpr) {
    Scene s;
    s.size = QSize(220, 720);
    s.setup = [](ShelfView& shelf, ManualScheduler&) { shelf.updateSelection(12); };
    return render(s, dpr);
})

GALLERY_IMAGE_PAGE(shelf_board, [](double dpr) {
    Scene s;
    s.size = QSize(720, 720);
    s.side = DockSide::left;
    return render(s, dpr);
})
