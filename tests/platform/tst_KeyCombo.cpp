#include "TestEnv.h"
#include "platform/KeyCombo.h"

#include <QTest>

using Mods = Qt::KeyboardModifiers;
using ModifierKeysyms = std::array<QList<quint32>, 8>;

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
        QTest::newRow("lower case, F key") << "control+alt+f5" << true << 0xffc2u << ctrlAlt;
        QTest::newRow("plus as the key") << "Ctrl++" << true << 0x2bu << Mods(Qt::ControlModifier);
        QTest::newRow("key alone") << "Print" << true << 0xff61u << Mods();
        QTest::newRow("no key") << "Ctrl+Alt" << false << 0u << Mods();
        QTest::newRow("unknown modifier") << "Hyper+S" << false << 0u << Mods();
        QTest::newRow("unknown key") << "Ctrl+Alt+Nope" << false << 0u << Mods();
        QTest::newRow("modifier after key") << "S+Ctrl" << false << 0u << Mods();
    }
    // Anything but a well-formed shortcut is refused rather than grabbed half-right.
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

    // Each mask is the bit of the row holding its key, wherever that is; Super before Meta.
    void masks() {
        const QList<quint32> keys{kAltL, kSuperL, kNumLock, kScrollLock};
        for (int shift = 0; shift < 5; ++shift) {
            const auto row = [shift](int i) { return 3 + (i + shift) % 5; };
            ModifierKeysyms mapping;
            for (int i = 0; i < keys.size(); ++i)
                mapping[row(i)] = {keys[i]};
            mapping[row(0)] << kMetaL;
            mapping[row(1)] << kHyperL;
            const ModifierMasks masks = modifierMasksFrom(mapping);
            const QList<quint16> found{masks.alt, masks.super, masks.numLock, masks.scrollLock};
            for (int i = 0; i < keys.size(); ++i)
                QCOMPARE(found[i], quint16(1 << row(i)));
        }
        ModifierKeysyms metaOnly;
        metaOnly[5] = {kMetaL};
        QCOMPARE(modifierMasksFrom(metaOnly).super, quint16(1 << 5));
        QCOMPARE(modifierMasksFrom({}), ModifierMasks{});
    }

    // A press matches whatever locks are on.
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
