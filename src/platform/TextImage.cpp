#include "platform/TextImage.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace TextImage {
namespace {

// A pixel is ink when the grey levels of its 3 × 3 neighbourhood spread
// wider than this; flat areas (backgrounds, the inside of thick strokes)
// do not.
constexpr int kFlatSpread = 12;
// Pieces fainter than this against their background are texture, not text.
constexpr int kMinContrast = 28;
// Taller pieces are pictures or panels, not letters.
constexpr int kMaxTextHeight = 200;

struct Piece {
    int left, top, right, bottom; // inclusive
    int count = 0;
    bool kept = true;
};

class Pieces {
public:
    explicit Pieces(const QImage& gray)
        : m_gray(gray)
        , m_width(gray.width())
        , m_height(gray.height())
        , m_label(size_t(m_width) * size_t(m_height), 0) {}

    // Marks every pixel whose neighbourhood is not flat with -1.
    void markInk() {
        const int w = m_width, h = m_height;
        std::vector<uint8_t> lo(size_t(w) * h), hi(size_t(w) * h);
        for (int y = 0; y < h; ++y) {
            const uchar* row = m_gray.constScanLine(y);
            uint8_t* l = lo.data() + size_t(y) * w;
            uint8_t* u = hi.data() + size_t(y) * w;
            for (int x = 0; x < w; ++x) {
                const int a = row[std::max(x - 1, 0)], b = row[x], c = row[std::min(x + 1, w - 1)];
                l[x] = uint8_t(std::min({a, b, c}));
                u[x] = uint8_t(std::max({a, b, c}));
            }
        }
        for (int y = 0; y < h; ++y) {
            const size_t above = size_t(std::max(y - 1, 0)) * w, here = size_t(y) * w,
                         below = size_t(std::min(y + 1, h - 1)) * w;
            for (int x = 0; x < w; ++x) {
                const int low = std::min({lo[above + x], lo[here + x], lo[below + x]});
                const int high = std::max({hi[above + x], hi[here + x], hi[below + x]});
                if (high - low > kFlatSpread)
                    m_label[here + x] = -1;
            }
        }
    }

    // Gives every 8-connected group of ink pixels its own number from 1 on.
    void label() {
        std::vector<int> stack;
        for (int y = 0; y < m_height; ++y) {
            for (int x = 0; x < m_width; ++x) {
                if (m_label[index(x, y)] != -1)
                    continue;
                const int id = int(m_pieces.size()) + 1;
                Piece piece{x, y, x, y};
                m_label[index(x, y)] = id;
                stack.push_back(int(index(x, y)));
                while (!stack.empty()) {
                    const int at = stack.back();
                    stack.pop_back();
                    const int px = at % m_width, py = at / m_width;
                    ++piece.count;
                    piece.left = std::min(piece.left, px);
                    piece.right = std::max(piece.right, px);
                    piece.top = std::min(piece.top, py);
                    piece.bottom = std::max(piece.bottom, py);
                    for (int dy = -1; dy <= 1; ++dy) {
                        const int ny = py + dy;
                        if (ny < 0 || ny >= m_height)
                            continue;
                        for (int dx = -1; dx <= 1; ++dx) {
                            const int nx = px + dx;
                            if (nx < 0 || nx >= m_width || m_label[index(nx, ny)] != -1)
                                continue;
                            m_label[index(nx, ny)] = id;
                            stack.push_back(int(index(nx, ny)));
                        }
                    }
                }
                m_pieces.push_back(piece);
            }
        }
    }

    // Leaves out lines, panels and frames around other pieces.
    void dropNonText() {
        for (Piece& piece : m_pieces) {
            const int w = piece.right - piece.left + 1, h = piece.bottom - piece.top + 1;
            if (h > kMaxTextHeight || (w > 20 * h && w > 40) || (h > 20 * w && h > 40))
                piece.kept = false;
        }
        // Pieces by the cell of their centre, to find what lies inside a frame.
        constexpr int kCell = 32;
        const int columns = (m_width + kCell - 1) / kCell, rows = (m_height + kCell - 1) / kCell;
        std::vector<std::vector<int>> cells(size_t(columns) * rows);
        for (int i = 0; i < int(m_pieces.size()); ++i) {
            const Piece& p = m_pieces[i];
            cells[size_t((p.top + p.bottom) / 2 / kCell) * columns + (p.left + p.right) / 2 / kCell]
                .push_back(i);
        }
        for (int i = 0; i < int(m_pieces.size()); ++i) {
            Piece& frame = m_pieces[i];
            if (frame.right - frame.left < 8 || frame.bottom - frame.top < 8)
                continue;
            bool encloses = false;
            for (int cy = frame.top / kCell; cy <= frame.bottom / kCell && !encloses; ++cy) {
                for (int cx = frame.left / kCell; cx <= frame.right / kCell && !encloses; ++cx) {
                    for (const int j : cells[size_t(cy) * columns + cx]) {
                        if (j != i && encloses_(i, m_pieces[j])) {
                            encloses = true;
                            break;
                        }
                    }
                }
            }
            if (encloses)
                frame.kept = false;
        }
    }

    Page draw() const {
        Page page;
        page.image = QImage(m_width, m_height, QImage::Format_Grayscale8);
        page.image.fill(255);
        for (int i = 0; i < int(m_pieces.size()); ++i) {
            const Piece& piece = m_pieces[i];
            if (!piece.kept)
                continue;
            const int id = i + 1;
            const int background = ringMedian(piece);
            int contrast = 0;
            for (int y = piece.top; y <= piece.bottom; ++y) {
                const uchar* row = m_gray.constScanLine(y);
                for (int x = piece.left; x <= piece.right; ++x) {
                    if (m_label[index(x, y)] == id)
                        contrast = std::max(contrast, std::abs(row[x] - background));
                }
            }
            if (contrast < kMinContrast)
                continue;
            // The darkest fifth of the stretched range becomes black, so the
            // cores of thin strokes do too.
            const int full = contrast * 4 / 5;
            for (int y = piece.top; y <= piece.bottom; ++y) {
                const uchar* row = m_gray.constScanLine(y);
                uchar* out = page.image.scanLine(y);
                for (int x = piece.left; x <= piece.right; ++x) {
                    const int own = m_label[index(x, y)];
                    const int distance = std::abs(row[x] - background);
                    // Flat pixels inside the box are either holes (near the
                    // background) or the inside of a thick stroke (far from it).
                    if (own != id && !(own == 0 && distance * 2 >= contrast))
                        continue;
                    const int ink = std::min(255, distance * 255 / std::max(full, 1));
                    out[x] = uchar(std::min<int>(out[x], 255 - ink));
                }
            }
            page.blobs.append(
                {QRect(QPoint(piece.left, piece.top), QPoint(piece.right, piece.bottom)),
                 background, contrast});
        }
        return page;
    }

private:
    size_t index(int x, int y) const { return size_t(y) * size_t(m_width) + size_t(x); }

    // Whether `inner` lies inside the frame `i` with frame pixels on all four
    // sides of its centre: a letter's own dot or accent is not enclosed.
    bool encloses_(int i, const Piece& inner) const {
        const Piece& frame = m_pieces[i];
        if (inner.left <= frame.left || inner.right >= frame.right || inner.top <= frame.top ||
            inner.bottom >= frame.bottom)
            return false;
        const int id = i + 1;
        const int cx = (inner.left + inner.right) / 2, cy = (inner.top + inner.bottom) / 2;
        const auto hit = [&](int x, int y) { return m_label[index(x, y)] == id; };
        bool up = false, down = false, left = false, right = false;
        for (int y = inner.top - 1; y >= frame.top && !up; --y)
            up = hit(cx, y);
        for (int y = inner.bottom + 1; y <= frame.bottom && !down; ++y)
            down = hit(cx, y);
        for (int x = inner.left - 1; x >= frame.left && !left; --x)
            left = hit(x, cy);
        for (int x = inner.right + 1; x <= frame.right && !right; ++x)
            right = hit(x, cy);
        return up && down && left && right;
    }

    // The median grey level of the pixels two pixels outside the piece's box.
    int ringMedian(const Piece& piece) const {
        int histogram[256] = {};
        int count = 0;
        const int left = std::max(piece.left - 2, 0),
                  right = std::min(piece.right + 2, m_width - 1);
        const int top = std::max(piece.top - 2, 0),
                  bottom = std::min(piece.bottom + 2, m_height - 1);
        for (int x = left; x <= right; ++x) {
            ++histogram[m_gray.constScanLine(top)[x]];
            ++histogram[m_gray.constScanLine(bottom)[x]];
            count += 2;
        }
        for (int y = top + 1; y < bottom; ++y) {
            const uchar* row = m_gray.constScanLine(y);
            ++histogram[row[left]];
            ++histogram[row[right]];
            count += 2;
        }
        int seen = 0, level = 0;
        while (level < 255 && (seen += histogram[level]) * 2 < count)
            ++level;
        return level;
    }

    const QImage& m_gray;
    int m_width, m_height;
    std::vector<int> m_label; // 0 flat, -1 ink not yet numbered, else piece + 1
    std::vector<Piece> m_pieces;
};

} // namespace

Page normalize(const QImage& source) {
    const QImage gray = source.format() == QImage::Format_Grayscale8
                            ? source
                            : source.convertToFormat(QImage::Format_Grayscale8);
    if (gray.isNull())
        return {};
    Pieces pieces(gray);
    pieces.markInk();
    pieces.label();
    pieces.dropNonText();
    return pieces.draw();
}

int textHeight(const QList<Blob>& blobs) {
    // Weighted by width, so that words count more than dots and dashes.
    std::vector<std::pair<int, int>> heights;
    qint64 total = 0;
    for (const Blob& blob : blobs) {
        if (blob.box.height() < 4 || blob.box.width() < 3)
            continue;
        heights.emplace_back(blob.box.height(), blob.box.width());
        total += blob.box.width();
    }
    if (heights.empty())
        return 0;
    std::sort(heights.begin(), heights.end());
    qint64 seen = 0;
    for (const auto& [height, width] : heights) {
        seen += width;
        if (seen * 4 >= total)
            return height;
    }
    return heights.back().first;
}

} // namespace TextImage
