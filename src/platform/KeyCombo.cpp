#include "platform/KeyCombo.h"

#include <QHash>

namespace {

// X keysyms of the keys a shortcut can use besides letters, digits and the
// Latin-1 punctuation, whose keysyms equal their character codes.
const QHash<int, quint32>& specialKeysyms() {
    static const QHash<int, quint32> table = {
        {Qt::Key_Space, 0x0020},     {Qt::Key_Escape, 0xff1b}, {Qt::Key_Tab, 0xff09},
        {Qt::Key_Backspace, 0xff08}, {Qt::Key_Return, 0xff0d}, {Qt::Key_Enter, 0xff8d},
        {Qt::Key_Insert, 0xff63},    {Qt::Key_Delete, 0xffff}, {Qt::Key_Pause, 0xff13},
        {Qt::Key_Print, 0xff61},     {Qt::Key_Home, 0xff50},   {Qt::Key_End, 0xff57},
        {Qt::Key_Left, 0xff51},      {Qt::Key_Up, 0xff52},     {Qt::Key_Right, 0xff53},
        {Qt::Key_Down, 0xff54},      {Qt::Key_PageUp, 0xff55}, {Qt::Key_PageDown, 0xff56},
        {Qt::Key_Menu, 0xff67},
    };
    return table;
}

constexpr quint32 kNumLock = 0xff7f;
constexpr quint32 kScrollLock = 0xff14;
constexpr quint32 kAltL = 0xffe9, kAltR = 0xffea, kMetaL = 0xffe7, kMetaR = 0xffe8;
constexpr quint32 kSuperL = 0xffeb, kSuperR = 0xffec;

std::optional<Qt::KeyboardModifier> modifierNamed(const QString& name) {
    const QString n = name.toLower();
    if (n == QLatin1String("ctrl") || n == QLatin1String("control"))
        return Qt::ControlModifier;
    if (n == QLatin1String("alt"))
        return Qt::AltModifier;
    if (n == QLatin1String("shift"))
        return Qt::ShiftModifier;
    if (n == QLatin1String("super") || n == QLatin1String("meta") || n == QLatin1String("win"))
        return Qt::MetaModifier;
    return std::nullopt;
}

} // namespace

quint32 keysymForQtKey(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return static_cast<quint32>(key - Qt::Key_A + 'a');
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return static_cast<quint32>(0xffbe + (key - Qt::Key_F1));
    if (const auto found = specialKeysyms().constFind(key); found != specialKeysyms().constEnd())
        return *found;
    // Digits and printable Latin-1 punctuation.
    if ((key > 0x20 && key < 0x7f) || (key >= 0xa0 && key <= 0xff))
        return static_cast<quint32>(key);
    return 0;
}

std::optional<KeyCombo> parseKeyCombo(const QString& text) {
    // "+" can itself be the key ("Ctrl++"), so split off the last part by hand.
    QString rest = text.trimmed();
    if (rest.isEmpty())
        return std::nullopt;
    QString keyName;
    if (rest.endsWith(QLatin1String("++")) || rest == QLatin1String("+")) {
        keyName = QStringLiteral("+");
        rest.chop(rest == QLatin1String("+") ? 1 : 2);
    } else {
        const qsizetype plus = rest.lastIndexOf(QLatin1Char('+'));
        keyName = rest.mid(plus + 1).trimmed();
        rest = plus < 0 ? QString() : rest.left(plus);
    }
    KeyCombo combo;
    if (!rest.isEmpty()) {
        for (const QString& part : rest.split(QLatin1Char('+'))) {
            const auto modifier = modifierNamed(part.trimmed());
            if (!modifier)
                return std::nullopt;
            combo.modifiers |= *modifier;
        }
    }
    if (keyName.isEmpty() || modifierNamed(keyName))
        return std::nullopt;
    // QKeySequence knows every key name ("Space", "F5", "PgUp", "S"); it is
    // asked for the key alone so that our modifier names need not be its own.
    const QKeySequence key = QKeySequence::fromString(keyName, QKeySequence::PortableText);
    if (key.count() != 1 || key[0].keyboardModifiers() != Qt::NoModifier)
        return std::nullopt;
    combo.keysym = keysymForQtKey(key[0].key());
    if (!combo.keysym)
        return std::nullopt;
    return combo;
}

std::optional<KeyCombo> keyComboFrom(const QKeySequence& sequence) {
    if (sequence.isEmpty())
        return std::nullopt;
    const QKeyCombination first = sequence[0];
    KeyCombo combo{keysymForQtKey(first.key()),
                   first.keyboardModifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                                Qt::AltModifier | Qt::MetaModifier)};
    if (!combo.keysym)
        return std::nullopt;
    return combo;
}

ModifierMasks modifierMasksFrom(const std::array<QList<quint32>, 8>& keysymsPerModifier) {
    ModifierMasks masks;
    auto find = [&](std::initializer_list<quint32> keysyms) -> quint16 {
        // Shift, Lock and Control are fixed; only Mod1…Mod5 are looked up.
        for (int mod = 3; mod < 8; ++mod) {
            for (quint32 keysym : keysyms) {
                if (keysymsPerModifier[static_cast<size_t>(mod)].contains(keysym))
                    return static_cast<quint16>(1u << mod);
            }
        }
        return 0;
    };
    if (const quint16 alt = find({kAltL, kAltR}))
        masks.alt = alt;
    if (const quint16 super = find({kSuperL, kSuperR}))
        masks.super = super;
    else if (const quint16 meta = find({kMetaL, kMetaR}))
        masks.super = meta;
    if (const quint16 numLock = find({kNumLock}))
        masks.numLock = numLock;
    masks.scrollLock = find({kScrollLock});
    return masks;
}

quint16 x11Modifiers(Qt::KeyboardModifiers modifiers, const ModifierMasks& masks) {
    quint16 state = 0;
    if (modifiers & Qt::ShiftModifier)
        state |= masks.shift;
    if (modifiers & Qt::ControlModifier)
        state |= masks.control;
    if (modifiers & Qt::AltModifier)
        state |= masks.alt;
    if (modifiers & Qt::MetaModifier)
        state |= masks.super;
    return state;
}

QList<quint16> lockVariants(quint16 base, const ModifierMasks& masks) {
    const quint16 locks[] = {masks.capsLock, masks.numLock, masks.scrollLock};
    QList<quint16> variants{base};
    for (int subset = 1; subset < 8; ++subset) {
        quint16 state = base;
        for (int i = 0; i < 3; ++i) {
            if (subset & (1 << i))
                state |= locks[i];
        }
        if (!variants.contains(state))
            variants.append(state);
    }
    return variants;
}

quint16 withoutLocks(quint16 state, const ModifierMasks& masks) {
    return state & static_cast<quint16>(~(masks.capsLock | masks.numLock | masks.scrollLock));
}
