#include "library/ShownName.h"

#include <algorithm>

namespace {

constexpr char16_t kFirstStrongIsolate = 0x2068;
constexpr char16_t kPopIsolate = 0x2069;

bool reordersText(char16_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E ||
           c == 0x200F || c == 0x061C;
}

} // namespace

QString shownName(const QString& name) {
    QString out;
    out.reserve(name.size() + 2);
    for (const QChar ch : name) {
        const char16_t c = ch.unicode();
        // The Control Pictures block is missing from common fonts: a line
        // break shows as a return arrow, every other control as U+FFFD.
        if (c == u'\n' || c == u'\r')
            out += QChar(char16_t(0x21B5));
        else if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || reordersText(c))
            out += QChar(QChar::ReplacementCharacter);
        else
            out += ch;
    }
    // Only letters that run right to left can reorder the text around them.
    const bool rightToLeft = std::any_of(out.cbegin(), out.cend(), [](QChar ch) {
        const QChar::Direction d = ch.direction();
        return d == QChar::DirR || d == QChar::DirAL || d == QChar::DirAN;
    });
    if (rightToLeft)
        return QChar(kFirstStrongIsolate) + out + QChar(kPopIsolate);
    return out;
}
