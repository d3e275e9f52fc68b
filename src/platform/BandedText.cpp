#include "platform/BandedText.h"

#include "platform/ImageDecoder.h"
#include "platform/ImageHeader.h"
#include "platform/TextRecognizer.h"

#include <QStringList>
#include <limits>

namespace BandedText {

bool isTall(QSize size) {
    if (size.isEmpty())
        return false;
    const qint64 width = std::min(size.width(), TextRecognizer::kMaxSide);
    return qint64(size.height()) * width / size.width() > TextRecognizer::kMaxSide;
}

QList<QRect> bands(QSize size) {
    QList<QRect> result;
    for (int top = 0; top < size.height(); top += bandHeight - overlap) {
        result.append(QRect(0, top, size.width(), std::min(bandHeight, size.height() - top)));
        if (top + bandHeight >= size.height())
            break;
    }
    return result;
}

QImage load(const QString& path) {
    const auto header = ImageHeader::read(path);
    if (!header)
        return {};
    const bool turned = header->orientation >= 5;
    const QSize size =
        turned ? QSize(header->height, header->width) : QSize(header->width, header->height);
    if (!isTall(size))
        return {};
    return ImageDecoder::decode(path,
                                QSize(TextRecognizer::kMaxSide, std::numeric_limits<int>::max()));
}

QString recognize(TextRecognizer& engine, const QImage& image) {
    QStringList lines;
    QStringList previous; // the last lines of the band before
    for (const QRect& band : bands(image.size())) {
        const QStringList found =
            engine.recognize(image.copy(band)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        // The overlap shows the last lines of one band again at the top of the next.
        for (const QString& line : found) {
            if (!previous.contains(line))
                lines.append(line);
        }
        previous = found.mid(std::max<qsizetype>(0, found.size() - 8));
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace BandedText
