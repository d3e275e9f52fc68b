// Opens the preview window on the files given, zooming out of a fixed cell
// frame at the screen's left edge; the arrow keys step through the files and
// Space or Esc close it (the program then quits). For trying under Xvfb.
//   preview-try file...
#include "grid/PreviewWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QImageReader>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ShotList shots;
    for (int i = 1; i < argc; ++i) {
        const QString path = QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath();
        const bool video = !path.endsWith(".png") && !path.endsWith(".jpg");
        const QSize size = video ? QSize() : QImageReader(path).size();
        shots << std::make_shared<Shot>(path, 0, 0, QSizeF(size), video, true);
    }
    if (shots.isEmpty())
        return 2;
    PreviewWindow preview;
    preview.sourceFrame = [](const Shot&) { return QRect(20, 120, 224, 140); };
    preview.transitionImage = [](const Shot& shot) {
        QImageReader reader(shot.path);
        reader.setScaledSize(QSize(224, 140));
        QImage image = reader.read();
        if (image.isNull()) {
            image = QImage(224, 140, QImage::Format_RGB32);
            image.fill(QColor(46, 46, 46));
        }
        return image;
    };
    int index = 0;
    preview.onArrow = [&](Qt::Key key, Qt::KeyboardModifiers) {
        const int step = key == Qt::Key_Left || key == Qt::Key_Up ? -1 : 1;
        index = (index + step + int(shots.size())) % int(shots.size());
        std::printf("arrow %d -> %s\n", int(key), qPrintable(shots[index]->path));
        std::fflush(stdout);
        preview.setItems({shots[index]});
    };
    preview.onClosed = [&](bool) {
        std::printf("closed\n");
        app.quit();
    };
    preview.present({shots.front()});
    return app.exec();
}
