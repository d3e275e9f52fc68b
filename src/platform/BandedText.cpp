#include "platform/BandedText.h"

#include "platform/ImageDecoder.h"
#include "platform/ImageHeader.h"
#include "platform/TextRecognizer.h"

#include <QHash>
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
    // Each band owns the rows from the middle of its overlap with the band
    // above to the middle of its overlap with the band below. A line is kept
    // from the band that owns its middle: there it is whole (the overlap is
    // twice the height of any text line), it is read once however many bands
    // show it, and a line that really occurs twice is kept twice.
    QList<TextRecognizer::Word> kept;
    int blocks = 0;
    int lines = 0;
    const QList<QRect> all = bands(image.size());
    for (qsizetype i = 0; i < all.size(); ++i) {
        const QRect band = all[i];
        const int from = i > 0 ? overlap / 2 : 0;
        const int to = i + 1 < all.size() ? band.height() - overlap / 2 : band.height();
        const QList<TextRecognizer::Word> words = engine.words(image.copy(band));
        QHash<int, QRect> lineBoxes;
        int lastBlock = -1;
        int lastLine = -1;
        for (const TextRecognizer::Word& word : words) {
            lineBoxes[word.line] |= word.box;
            lastBlock = std::max(lastBlock, word.block);
            lastLine = std::max(lastLine, word.line);
        }
        for (TextRecognizer::Word word : words) {
            const int middle = lineBoxes.value(word.line).center().y();
            if (middle < from || middle >= to)
                continue;
            // Numbered after the bands above, so no block or line spans two bands.
            word.box.translate(0, band.top());
            word.block += blocks;
            word.line += lines;
            kept.append(word);
        }
        blocks += lastBlock + 1;
        lines += lastLine + 1;
    }
    return TextRecognizer::arrange(kept);
}

} // namespace BandedText
