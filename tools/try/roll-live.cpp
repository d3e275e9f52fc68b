// Shows a roll of the images in a folder in a scroll area and walks through the
// grid's motions on a fixed schedule, for watching under Xvfb:
//   roll-live FOLDER [WIDTH]
// 0.5 s cascade from the right; 3 s a new shot arrives and develops; 6 s scroll
// to the middle; 7 s narrow the window across a column boundary (animated
// relayout while scrolled); 10 s two shots leave (vanish); 13 s quit.
#include "content/Thumbs.h"
#include "grid/GridView.h"
#include "shelf/Theme.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImageReader>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <cstdio>

namespace {

class Roll : public QScrollArea {
public:
    GridView* grid = new GridView;
    bool animateFit = false;

    Roll() {
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, QColor(0x1b, 0x1c, 0x20));
        setPalette(pal);
        viewport()->setPalette(pal);
        viewport()->setAutoFillBackground(true);
        setWidget(grid);
        connect(verticalScrollBar(), &QScrollBar::valueChanged, grid, &GridView::updateVisible);
    }
    // What the shelf's grid fit does after every size change.
    void fit(bool animated) {
        grid->setViewportHeight(viewport()->height());
        const int w = viewport()->width();
        if (std::abs(grid->width() - w) > 0)
            grid->resize(w, std::max(grid->height(), viewport()->height()));
        grid->relayout(animated);
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QScrollArea::resizeEvent(event);
        fit(animateFit);
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Theme::applyApplicationStyle(app);
    if (argc < 2) {
        std::fprintf(stderr, "usage: roll-live FOLDER [WIDTH]\n");
        return 2;
    }
    const int width = argc > 2 ? std::atoi(argv[2]) : 1200;
    ShotList all;
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const QFileInfoList files =
        dir.entryInfoList({"*.png", "*.jpg"}, QDir::Files, QDir::Time); // newest first
    for (const QFileInfo& f : files) {
        const QSize size = QImageReader(f.filePath()).size();
        all << std::make_shared<Shot>(f.filePath(), f.lastModified().toSecsSinceEpoch(),
                                      f.lastModified().toSecsSinceEpoch(), QSizeF(size), false,
                                      true);
    }
    if (all.size() < 4) {
        std::fprintf(stderr, "need at least 4 images in %s\n", argv[1]);
        return 1;
    }

    Roll roll;
    roll.setWindowTitle(QStringLiteral("Tamberk roll"));
    roll.resize(width, 860);
    roll.move(0, 0);
    roll.show();
    roll.fit(false);
    roll.grid->setShots(all.mid(1), false);
    roll.grid->relayout(false);

    QElapsedTimer clock;
    clock.start();
    auto at = [&](int ms, const char* what, std::function<void()> step) {
        QTimer::singleShot(ms, &roll, [&clock, what, step] {
            std::printf("%6.2f s  %s\n", clock.elapsed() / 1000.0, what);
            std::fflush(stdout);
            step();
        });
    };
    at(500, "cascade", [&] { roll.grid->cascadeIn(true); });
    at(3000, "arrival with develop", [&] { roll.grid->setShots(all, true, {all.first()->path}); });
    at(6000, "scroll to the middle",
       [&] { roll.verticalScrollBar()->setValue(roll.verticalScrollBar()->maximum() / 2); });
    at(7000, "narrower: relayout while scrolled", [&] {
        roll.animateFit = true;
        roll.resize(width * 3 / 4, 860);
        roll.animateFit = false;
    });
    at(10000, "two shots leave", [&] {
        ShotList fewer = all;
        fewer.removeAt(2);
        fewer.removeAt(2);
        roll.grid->setShots(fewer, true);
    });
    at(13000, "quit", [&] { app.quit(); });
    return app.exec();
}
