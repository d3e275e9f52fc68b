#include "FakePortal.h"
#include "FakeShortcut.h"
#include "PrivateBus.h"
#include "TestEnv.h"
#include "platform/KeyCombo.h"
#include "platform/PortalShortcut.h"

#include <QSignalSpy>
#include <QTest>

using Mods = Qt::KeyboardModifiers;
using ModifierKeysyms = std::array<QList<quint32>, 8>;

namespace {
constexpr quint32 kAltL = 0xffe9, kMetaL = 0xffe7, kSuperL = 0xffeb, kHyperL = 0xffed;
constexpr quint32 kNumLock = 0xff7f, kScrollLock = 0xff14;
} // namespace

class tst_Shortcuts : public QObject {
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

    // Triggers in the freedesktop shortcuts format: upper-case modifiers in its
    // order, xkbcommon key names (more in bindsThroughThePortal); no key, none.
    void triggers() {
        QCOMPARE(PortalShortcut::trigger(QStringLiteral("Super+Alt+R")), "ALT+LOGO+r");
        QCOMPARE(PortalShortcut::trigger(QStringLiteral("Shift+Super+6")), "SHIFT+LOGO+6");
        QVERIFY(PortalShortcut::trigger(QStringLiteral("Ctrl+Alt")).isEmpty());
    }

    // A session per preset, the desktop's trigger shown, the token's X time; v2 configures.
    void bindsThroughThePortal_data() {
        QTest::addColumn<uint>("version");
        QTest::newRow("version 1") << 1u;
        QTest::newRow("version 2") << 2u;
    }
    void bindsThroughThePortal() {
        QFETCH(uint, version);
        PrivateBus bus;
        QVERIFY(bus.isRunning());
        FakePortal portal(bus.connect(QStringLiteral("desktop")), version);
        QVERIFY(portal.registered());
        FakeShortcut grab;
        PortalShortcut shortcut(&grab, bus.connect(QStringLiteral("app")));
        shortcut.grab(QStringLiteral("Ctrl+Alt+S"));
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::grabbed, 5000);
        QCOMPARE(portal.calls, QStringList({QStringLiteral("CreateSession"),
                                            QStringLiteral("BindShortcuts toggle CTRL+ALT+s "
                                                           "\"Open or close Tamberk\"")}));
        QCOMPARE(shortcut.backend(), PortalShortcut::Backend::portal);
        QCOMPARE(shortcut.triggerDescription(), QStringLiteral("Super+K"));
        QCOMPARE(shortcut.canConfigure(), version >= 2);
        QVERIFY(grab.log.isEmpty());
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        portal.activate(QStringLiteral("/elsewhere"), QStringLiteral("toggle"), {});
        portal.activate(portal.session, QStringLiteral("toggle"),
                        QStringLiteral("launcher_TIME4321"));
        QVERIFY(activated.wait(5000));
        QCOMPARE(activated.size(), 1);
        QCOMPARE(activated.constFirst().constFirst().toUInt(), 4321u);
        // The user picks another trigger in the desktop's settings.
        QSignalSpy described(&shortcut, &PortalShortcut::descriptionChanged);
        portal.reassign(QStringLiteral("Ctrl+F9"));
        QVERIFY(described.wait(5000));
        QCOMPARE(shortcut.triggerDescription(), QStringLiteral("Ctrl+F9"));

        shortcut.configure();
        // Another preset: a new session with the new preferred trigger.
        const QString first = portal.session;
        shortcut.grab(QStringLiteral("Ctrl+Alt+Space"));
        QStringList expected{QStringLiteral("Close ") + first, QStringLiteral("CreateSession"),
                             QStringLiteral("BindShortcuts toggle CTRL+ALT+space \"Open or close "
                                            "Tamberk\"")};
        if (version >= 2)
            expected.prepend(QStringLiteral("ConfigureShortcuts"));
        QTRY_COMPARE_WITH_TIMEOUT(portal.calls.mid(2), expected, 5000);
        QVERIFY(portal.session != first);
    }

    // Without GlobalShortcuts the X11 grab's status and presses pass through.
    void fallsBackToTheGrab_data() {
        QTest::addColumn<bool>("portalRuns");
        QTest::newRow("no portal") << false;
        QTest::newRow("portal without shortcuts") << true;
    }
    void fallsBackToTheGrab() {
        QFETCH(bool, portalRuns);
        PrivateBus bus;
        QVERIFY(bus.isRunning());
        std::unique_ptr<FakePortal> portal;
        if (portalRuns)
            portal = std::make_unique<FakePortal>(bus.connect(QStringLiteral("desktop")), 0);
        FakeShortcut grab;
        PortalShortcut shortcut(&grab, bus.connect(QStringLiteral("app")));
        shortcut.grab(QStringLiteral("Ctrl+Alt+R"));
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::grabbed, 5000);
        QCOMPARE(shortcut.backend(), PortalShortcut::Backend::x11);
        QCOMPARE(grab.log, QStringList{QStringLiteral("grab Ctrl+Alt+R")});
        QVERIFY(!shortcut.canConfigure());
        QVERIFY(shortcut.triggerDescription().isEmpty());
        if (portal)
            QVERIFY(portal->calls.isEmpty());
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        grab.press(77);
        QCOMPARE(activated.size(), 1);
        shortcut.ungrab();
        QCOMPARE(grab.log.constLast(), QStringLiteral("ungrab"));
        QCOMPARE(shortcut.status(), GlobalShortcut::Status::none);
    }
};

TAMBERK_TEST(tst_Shortcuts)
#include "tst_Shortcuts.moc"
