#pragma once

#include <QByteArray>
#include <array>

/// Substring tests of the text index's search, on lower-cased UTF-8 bytes.
namespace TextSearch {

/// Which byte pairs occur in a text, hashed to 512 bits. A word can only
/// occur in a text that has all of its pairs, which a few instructions tell
/// without reading the text.
using Pairs = std::array<quint64, 8>;

/// The pairs of `bytes`.
Pairs pairsOf(const QByteArray& bytes);
/// Whether `text` has every pair of `word` (false positives possible, no false negatives).
inline bool hasPairs(const Pairs& text, const Pairs& word) {
    quint64 missing = 0;
    for (size_t i = 0; i < text.size(); ++i)
        missing |= word[i] & ~text[i];
    return missing == 0;
}
/// Whether `needle` occurs in `hay`.
bool contains(const char* hay, qsizetype n, const char* needle, qsizetype k);

} // namespace TextSearch
