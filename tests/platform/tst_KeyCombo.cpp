#include "TestEnv.h"
#include "platform/KeyCombo.h"

#include <QTest>

using Mods = Qt::KeyboardModifiers;
using ModifierKeysyms = std::array<QList<quint32>, 8>;
Q_DECLARE_METATYPE(ModifierKeysyms)
Q_DECLARE_METATYPE(ModifierMasks)

namespace {
constexpr quint32 kAltL = 0xffe9, kMetaL = 0xffe7, kSuperL = 0xffeb, kHyperL = 0xffed;
constexpr quint32 kNumLock = 0xff7f, kScrollLock = 0xff14;
} // namespace

class tst_KeyCombo : public QObject {
    Q_OBJECT
private slots:
    void parse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<quint32>("keysym");
        QTest::addColumn<Mods>("modifiers");
        const Mods ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
        QTest::newRow("Ctrl+Alt+S") << "Ctrl+Alt+S" << true << 0x73u << ctrlAlt;
        QTest::newRow("Shift+Super+6")
            << "Shift+Super+6" << true << 0x36u << Mods(Qt::ShiftModifier | Qt::MetaModifier);
        QTest::newRow("Ctrl+Alt+Space") << "Ctrl+Alt+Space" << true << 0x20u << ctrlAlt;
        QTest::newRow("lower case, F key") << "control+alt+f5" << true << 0xffc2u << ctrlAlt;
        QTest::newRow("plus as the key") << "Ctrl++" << true << 0x2bu << Mods(Qt::ControlModifier);
        QTest::newRow("key alone") << "Print" << true << 0xff61u << Mods();
        QTest::newRow("empty") << "" << false << 0u << Mods();
        QTest::newRow("no key") << "Ctrl+Alt" << false << 0u << Mods();
        QTest::newRow("unknown modifier") << "Hyper+S" << false << 0u << Mods();
        QTest::newRow("unknown key") << "Ctrl+Alt+Nope" << false << 0u << Mods();
        QTest::newRow("modifier after key") << "S+Ctrl" << false << 0u << Mods();
    }
    // Shortcut texts in the presets' form become the keysym and modifiers the
    // grab needs; anything else is refused rather than grabbed half-right.
    void parse() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto combo = parseKeyCombo(text);
        QCOMPARE(combo.has_value(), valid);
        if (!valid)
            return;
        QFETCH(quint32, keysym);
        QFETCH(Mods, modifiers);
        QCOMPARE(combo->keysym, keysym);
        QCOMPARE(combo->modifiers, modifiers);
    }

    void masks_data() {
        QTest::addColumn<ModifierKeysyms>("mapping");
        QTest::addColumn<ModifierMasks>("expected");
        ModifierKeysyms usual;
        usual[3] = {kAltL, kMetaL};
        usual[4] = {kNumLock};
        usual[6] = {kSuperL, kHyperL};
        QTest::newRow("usual") << usual << ModifierMasks{};

        ModifierKeysyms moved;
        moved[5] = {kNumLock};
        moved[7] = {kScrollLock};
        moved[3] = {kSuperL};
        moved[6] = {kAltL};
        ModifierMasks movedMasks;
        movedMasks.numLock = 0x20;
        movedMasks.scrollLock = 0x80;
        movedMasks.super = 0x08;
        movedMasks.alt = 0x40;
        QTest::newRow("moved") << moved << movedMasks;

        ModifierKeysyms metaOnly;
        metaOnly[3] = {kAltL};
        metaOnly[5] = {kMetaL};
        ModifierMasks metaMasks;
        metaMasks.super = 0x20;
        QTest::newRow("Meta stands in for Super") << metaOnly << metaMasks;

        QTest::newRow("empty mapping") << ModifierKeysyms{} << ModifierMasks{};
    }
    // Alt, Super and the lock keys are found wherever the keyboard puts them,
    // so the grab matches the state the server really reports.
    void masks() {
        QFETCH(ModifierKeysyms, mapping);
        QFETCH(ModifierMasks, expected);
        QCOMPARE(modifierMasksFrom(mapping), expected);
    }

    // Every combination of the lock keys is grabbed, the plain state first,
    // and a press matches whatever locks are on.
    void lockVariants() {
        ModifierMasks masks;
        const quint16 ctrlAlt = x11Modifiers(Qt::ControlModifier | Qt::AltModifier, masks);
        QCOMPARE(ctrlAlt, quint16(0x0c));
        QCOMPARE(::lockVariants(ctrlAlt, masks), (QList<quint16>{0x0c, 0x0e, 0x1c, 0x1e}));
        masks.scrollLock = 0x80;
        const QList<quint16> all = ::lockVariants(ctrlAlt, masks);
        QCOMPARE(all.size(), 8);
        QCOMPARE(all.first(), ctrlAlt);
        for (quint16 state : all)
            QCOMPARE(withoutLocks(state, masks), ctrlAlt);
        QCOMPARE(x11Modifiers(Qt::ShiftModifier | Qt::MetaModifier, masks), quint16(0x41));
    }
};

TAMBERK_TEST(tst_KeyCombo)
#include "tst_KeyCombo.moc"
