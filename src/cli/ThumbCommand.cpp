// tamberk-cli thumb: one thumbnail through the same decoder the grid uses.
#include "cli/Command.h"
#include "content/Thumbs.h"
#include "library/FolderScanner.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

namespace {

int runThumb(const QStringList& args) {
    QString file, output;
    int maxPixel = 0;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--max") && i + 1 < args.size()) {
            bool ok = false;
            maxPixel = args[++i].toInt(&ok);
            if (!ok)
                maxPixel = 0;
        } else if (arg == QLatin1String("-o") && i + 1 < args.size()) {
            output = args[++i];
        } else if (file.isEmpty() && !arg.startsWith(QLatin1Char('-'))) {
            file = arg;
        } else {
            file.clear();
            break;
        }
    }
    if (file.isEmpty() || output.isEmpty() || maxPixel < 1) {
        err() << "usage: tamberk-cli thumb FILE --max N -o OUT.png\n";
        return 2;
    }

    const QFileInfo info(file);
    const bool isVideo = FolderScanner::videoExts.contains(info.suffix().toLower());
    const Thumbs::Made made = Thumbs::make(info.absoluteFilePath(), isVideo, maxPixel);
    if (made.image.isNull()) {
        err() << "tamberk-cli: no image could be made of " << file << "\n";
        return 1;
    }

    QSaveFile save(output);
    QImageWriter writer(&save, "png");
    if (!save.open(QIODevice::WriteOnly) || !writer.write(made.image) || !save.commit()) {
        const QString why = writer.error() != QImageWriter::UnknownError ? writer.errorString()
                                                                         : save.errorString();
        err() << "tamberk-cli: cannot write " << output << ": " << why << "\n";
        return 1;
    }
    out() << made.image.width() << "x" << made.image.height();
    if (isVideo)
        out() << " " << QString::number(made.duration, 'f', 3);
    out() << "\n";
    return 0;
}

} // namespace

static const CliCommand thumb{
    "thumb", "thumb FILE --max N -o OUT.png",
    "Makes the thumbnail the panel shows of a file.\n"
    "At most N pixels on its longer side, written to OUT.png; prints its WxH\n"
    "and, for a recording, its duration in seconds (exit 1 when no image\n"
    "could be made).",
    runThumb};
