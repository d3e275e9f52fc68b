// Copies the files given as the copy command does and keeps the clipboard
// until killed, so other X11 clients (xclip, a file manager) can paste.
//   clip-try file...
#include "grid/Clip.h"

#include <QApplication>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ShotList shots;
    for (int i = 1; i < argc; ++i) {
        const QString path = QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath();
        const bool video = path.endsWith(".mp4") || path.endsWith(".webm") || path.endsWith(".mov");
        shots << std::make_shared<Shot>(path, 0, 0, QSizeF(), video, true);
    }
    Clip::copy(shots);
    std::printf("copied %d\n", int(shots.size()));
    std::fflush(stdout);
    return app.exec();
}
