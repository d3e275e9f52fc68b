// A bare film roll of the pictures and recordings in a folder, in a plain
// window, with a host that prints what the grid asks for and copies through
// the clipboard as the panel does. For trying drags, copies and the preview
// under Xvfb.
//   grid-try folder
#include "grid/Clip.h"
#include "grid/GridHost.h"
#include "grid/GridView.h"

#include <QApplication>
#include <QDir>
#include <QImageReader>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <cstdio>

namespace {

void say(const char* what, const ShotList& shots = {}) {
    QStringList names;
    for (const ShotPtr& shot : shots)
        names << QFileInfo(shot->path).fileName();
    std::printf("%s %s\n", what, qPrintable(names.join(' ')));
    std::fflush(stdout);
}

class PrintingHost final : public GridHost {
public:
    void open(const ShotList& shots) override { say("open", shots); }
    void copy(const ShotList& shots) override {
        say("copy", shots);
        Clip::copy(shots);
    }
    void trash(const ShotList& shots) override { say("trash", shots); }
    void escape() override { say("escape"); }
    void gridHold(bool held) override { say(held ? "hold on" : "hold off"); }
    QMenu* menuFor(GridView*, const ShotList& shots) override {
        say("menu", shots);
        m_menu.clear();
        m_menu.addAction(QStringLiteral("Copy"), [this, shots] { copy(shots); });
        return &m_menu;
    }
    void gridDrag(GridView*, bool active) override { say(active ? "drag start" : "drag end"); }
    void gridDragMoved(GridView*) override { ++moves; }
    void gridSelectionChanged(int count) override {
        std::printf("selected %d (drag moves so far %d)\n", count, moves);
        std::fflush(stdout);
    }
    void gridSearch(const QString& seed) override { say(qPrintable("search " + seed)); }
    void reveal(const QStringList& paths) override { say(qPrintable("reveal " + paths.join(' '))); }

    int moves = 0;

private:
    QMenu m_menu;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());
    ShotList shots;
    const QStringList names = dir.entryList(QDir::Files, QDir::Time);
    for (const QString& name : names) {
        const QString path = dir.absoluteFilePath(name);
        const QString ext = QFileInfo(name).suffix().toLower();
        const bool video = ext == "mp4" || ext == "webm" || ext == "mov" || ext == "mkv";
        if (!video && ext != "png" && ext != "jpg" && ext != "jpeg")
            continue;
        const QSize size = video ? QSize(640, 360) : QImageReader(path).size();
        const double when = QFileInfo(path).lastModified().toSecsSinceEpoch();
        shots << std::make_shared<Shot>(path, when, when, QSizeF(size), video, true);
    }
    PrintingHost host;
    QScrollArea area;
    area.setWindowTitle(QStringLiteral("Grid"));
    area.setFrameShape(QFrame::NoFrame);
    area.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area.setStyleSheet(QStringLiteral("QScrollArea { background: #141417; }"));
    area.resize(480, 760);
    area.move(20, 40);
    auto* grid = new GridView;
    grid->setHost(&host);
    grid->setTarget(200);
    area.setWidget(grid);
    area.show();
    grid->resize(area.viewport()->width(), area.viewport()->height());
    grid->setViewportHeight(area.viewport()->height());
    grid->setShots(shots, false);
    grid->relayout(false);
    QObject::connect(area.verticalScrollBar(), &QScrollBar::valueChanged, grid,
                     [grid] { grid->updateVisible(); });
    grid->updateVisible();
    return app.exec();
}
