#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>
#include <array>
#include <optional>

// Key combinations as the X server sees them: a keysym and a set of modifiers,
// and the X modifier masks those modifiers and the lock keys map to on the
// current keyboard. Pure functions, so the grab logic is testable without X.

/// One key with its modifiers. `modifiers` uses Qt's flags, with
/// Qt::MetaModifier standing for Super.
struct KeyCombo {
    quint32 keysym = 0;
    Qt::KeyboardModifiers modifiers;

    bool operator==(const KeyCombo&) const = default;
};

/// Parses "Ctrl+Alt+S", "Super+Alt+R", "Shift+Super+6", "Ctrl+Alt+Space"
/// (modifier names Ctrl/Control, Alt, Shift, Super/Meta/Win, any case; one
/// key last). Nothing for an empty text, an unknown name or a missing key.
std::optional<KeyCombo> parseKeyCombo(const QString& text);
/// The first key of a QKeySequence; nothing when it is empty or the key has
/// no keysym.
std::optional<KeyCombo> keyComboFrom(const QKeySequence& sequence);
/// The X keysym of a Qt key code (letters give the lower-case keysym); 0 when
/// there is none.
quint32 keysymForQtKey(int key);

/// Which X modifier bits the modifiers and lock keys occupy.
struct ModifierMasks {
    quint16 shift = 0x01;    // ShiftMask
    quint16 capsLock = 0x02; // LockMask
    quint16 control = 0x04;  // ControlMask
    quint16 alt = 0x08;      // Mod1
    quint16 numLock = 0x10;  // Mod2
    quint16 super = 0x40;    // Mod4
    quint16 scrollLock = 0;  // usually on no modifier at all

    bool operator==(const ModifierMasks&) const = default;
};

/// The masks from the server's modifier mapping: for each of the eight
/// modifiers (Shift, Lock, Control, Mod1…Mod5) the keysyms of its keys. Alt,
/// Super, NumLock and ScrollLock are found by keysym; a keysym on no modifier
/// keeps the usual default, except ScrollLock, which is then 0.
ModifierMasks modifierMasksFrom(const std::array<QList<quint32>, 8>& keysymsPerModifier);

/// The X modifier state of `modifiers`.
quint16 x11Modifiers(Qt::KeyboardModifiers modifiers, const ModifierMasks& masks);
/// `base` combined with every subset of CapsLock, NumLock and ScrollLock (the
/// ones with a mask), `base` first, without duplicates.
QList<quint16> lockVariants(quint16 base, const ModifierMasks& masks);
/// The modifier state with the lock bits cleared, for matching a key press.
quint16 withoutLocks(quint16 state, const ModifierMasks& masks);
