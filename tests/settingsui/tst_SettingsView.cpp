#include "FakePortal.h"
#include "PrivateBus.h"
#include "SettingsFakes.h"
#include "TestEnv.h"
#include "platform/GlobalShortcut.h"
#include "platform/PortalShortcut.h"
#include "settings/CaptureTool.h"
#include "settings/Hotkey.h"
#include "settings/LoginItem.h"
#include "settings/Prefs.h"
#include "settings/ui/SettingsView.h"
#include "settings/ui/SettingsWindow.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

namespace {

template <typename T = QWidget>
T* child(QWidget& view, const QString& name) {
    T* found = view.findChild<T*>(name);
    if (!found)
        qWarning() << "no child" << name;
    return found;
}

QPushButton* button(QWidget& view, const QString& text) {
    for (QPushButton* b : view.findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

bool shown(QWidget* widget, QWidget& view) {
    return widget && widget->isVisibleTo(&view);
}

} // namespace

class tst_SettingsView : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_env = std::make_unique<TestEnv>();
        m_tool.info = CaptureInfo();
        m_tool.ownLog.clear();
        m_tool.locationReads = 0;
        m_tool.info.toolName = QStringLiteral("Fake");
        m_tool.info.location = m_env->mkdir(QStringLiteral("Pictures/Screenshots"));
        m_tool.info.writable = true;
        m_tool.info.hasType = true;
        m_tool.info.hasThumbnail = true;
        m_tool.info.openCommand = {QStringLiteral("fake-tool")};
    }
    void cleanup() {
        SettingsWindow::destroyForTesting();
        m_env.reset();
    }

    // The status row: green check when the tool saves to the folder, otherwise
    // the warning with "Match", and "Follow <tool>" only while sync is off.
    void statusRow_data() {
        QTest::addColumn<QString>("folder"); // relative to home; empty for none
        QTest::addColumn<bool>("sync");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("match");
        QTest::addColumn<bool>("follow");
        QTest::newRow("no folder")
            << QString() << true << "Fake saves new screenshots here" << false << false;
        QTest::newRow("other, sync off")
            << "Shots" << false << "Fake saves to ~/Pictures/Screenshots" << true << true;
        QTest::newRow("other, sync on")
            << "Shots" << true << "Fake saves to ~/Pictures/Screenshots" << true << false;
    }
    void statusRow() {
        QFETCH(QString, folder);
        QFETCH(bool, sync);
        QFETCH(QString, caption);
        QFETCH(bool, match);
        QFETCH(bool, follow);
        if (!folder.isEmpty())
            Prefs::shared().set(Key::folder, m_env->mkdir(folder));
        Prefs::shared().set(Key::syncSystem, sync);
        SettingsView view(&m_tool);
        QCOMPARE(child<QLabel>(view, QStringLiteral("statusText"))->text(), caption);
        QCOMPARE(shown(button(view, QStringLiteral("Match")), view), match);
        QCOMPARE(shown(button(view, QStringLiteral("Follow Fake")), view), follow);
        QVERIFY(shown(button(view, QStringLiteral("Open Fake")), view));
        QCOMPARE(child<QLabel>(view, QStringLiteral("folderPath"))->text(),
                 folder.isEmpty() ? QStringLiteral("~/Pictures/Screenshots") : "~/" + folder);
        if (follow) {
            button(view, QStringLiteral("Follow Fake"))->click();
            QCOMPARE(Prefs::shared().string(Key::folder), QString());
            QCOMPARE(child<QLabel>(view, QStringLiteral("statusText"))->text(),
                     QStringLiteral("Fake saves new screenshots here"));
        }
    }

    // "Match" moves the tool to the folder, the row turns green and the
    // library is asked to look for strays.
    void matchMovesTheTool() {
        const QString shots = m_env->mkdir(QStringLiteral("Shots"));
        Prefs::shared().set(Key::folder, shots);
        SettingsView view(&m_tool);
        int matched = 0;
        view.setOnMatched([&] { ++matched; });
        button(view, QStringLiteral("Match"))->click();
        QCOMPARE(m_tool.ownLog, QStringList{QStringLiteral("location ") + shots});
        QCOMPARE(matched, 1);
        QVERIFY(view.matches());
        QVERIFY(!shown(button(view, QStringLiteral("Match")), view));
    }

    // A tool without a writable folder or without an opener: "Match" is
    // greyed with the reason, "Open <tool>" is hidden, the sync toggle says pull-in.
    void readOnlyTool() {
        m_tool.info.writable = false;
        m_tool.info.openCommand.clear();
        Prefs::shared().set(Key::folder, m_env->mkdir(QStringLiteral("Shots")));
        SettingsView view(&m_tool);
        QPushButton* match = button(view, QStringLiteral("Match"));
        QVERIFY(shown(match, view) && !match->isEnabled());
        QCOMPARE(match->toolTip(), QStringLiteral("Not available in Fake"));
        QVERIFY(!shown(button(view, QStringLiteral("Open Fake")), view));
        bool pullIn = false;
        for (QLabel* label : view.findChildren<QLabel*>())
            pullIn |= label->text() == QStringLiteral("Bring Fake's screenshots into this folder");
        QVERIFY(pullIn);
    }

    // Polling follows the tool: a changed location turns the row orange
    // without reopening the window; the timer runs every 1.5 s.
    void pollingFollowsTheTool() {
        Prefs::shared().set(Key::folder, m_tool.info.location);
        SettingsView view(&m_tool);
        QCOMPARE(view.pollTimer().interval(), 1500);
        QVERIFY(view.pollTimer().isActive());
        QVERIFY(view.matches());
        m_tool.info.location = m_env->mkdir(QStringLiteral("Elsewhere"));
        view.poll();
        QVERIFY(!view.matches());
        QCOMPARE(child<QLabel>(view, QStringLiteral("statusText"))->text(),
                 QStringLiteral("Fake saves to ~/Elsewhere"));
    }

    // The Desktop, also reached through a link, offers the dedicated folder,
    // which is created and applied.
    void desktopThroughLink_data() {
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("direct") << false;
        QTest::newRow("link") << true;
    }
    void desktopThroughLink() {
        QFETCH(bool, throughLink);
        const QString desktop = m_env->mkdir(QStringLiteral("Desktop"));
        QString folder = desktop;
        if (throughLink) {
            folder = m_env->home() + QStringLiteral("/desk-link");
            QVERIFY(QFile::link(desktop, folder));
        }
        QDir(m_tool.info.location).removeRecursively();
        Prefs::shared().set(Key::folder, folder);
        SettingsView view(&m_tool);
        view.setDesktopPath(desktop);
        QVERIFY(view.onDesktop());
        QVERIFY(shown(child(view, QStringLiteral("desktopRow")), view));
        button(view, QStringLiteral("Use Pictures › Screenshots"))->click();
        const QString dedicated = m_env->home() + QStringLiteral("/Pictures/Screenshots");
        QCOMPARE(Prefs::shared().string(Key::folder), dedicated);
        QVERIFY(QFileInfo(dedicated).isDir());
        QVERIFY(!shown(child(view, QStringLiteral("desktopRow")), view));
        QVERIFY(view.applyTimer().isActive());
    }

    // Turning the edge tab off greys the hover toggle without changing it.
    void revealGreyed() {
        SettingsView view(&m_tool);
        auto* reveal = child<QAbstractButton>(view, QString::fromLatin1(Key::reveal));
        QVERIFY(reveal->isEnabled() && reveal->isChecked());
        child<QAbstractButton>(view, QString::fromLatin1(Key::showTab))->click();
        QCOMPARE(Prefs::shared().boolean(Key::showTab), false);
        QVERIFY(!reveal->isEnabled());
        QVERIFY(!reveal->parentWidget()->findChild<QLabel*>()->isEnabled()); // its text greys too
        QVERIFY(reveal->isChecked());
        QCOMPARE(Prefs::shared().boolean(Key::reveal), true);
        auto* hide = child<QAbstractButton>(view, QString::fromLatin1(Key::hideFromCapture));
        QVERIFY(!hide->isEnabled());
        QCOMPARE(child<QLabel>(view, QStringLiteral("hideFromCaptureNote"))->text(),
                 QStringLiteral("Not available on this desktop: the panel is hidden whenever it "
                                "is closed"));
    }

    // Every switch writes its key at once, and a write made elsewhere shows at once.
    void switchesWriteThrough_data() {
        QTest::addColumn<QString>("key");
        for (const char* key :
             {Key::syncSystem, Key::onlyShots, Key::includeSub, Key::ocr, Key::showTab, Key::reveal,
              Key::peek, Key::captions, Key::autoCopy, Key::confirmDelete})
            QTest::newRow(key) << QString::fromLatin1(key);
    }
    void switchesWriteThrough() {
        QFETCH(QString, key);
        const QByteArray name = key.toLatin1();
        SettingsView view(&m_tool);
        auto* toggle = child<QAbstractButton>(view, key);
        QVERIFY(toggle);
        const bool before = Prefs::shared().boolean(name.constData());
        QCOMPARE(toggle->isChecked(), before);
        toggle->click();
        QCOMPARE(Prefs::shared().boolean(name.constData()), !before);
        Prefs::shared().set(name.constData(), before);
        QCOMPARE(toggle->isChecked(), before);
    }

    // Pickers and the dock segments write their values; outside writes show.
    void pickersWriteThrough_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("index");
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("session") << "t2.session" << 2 << QVariant(QStringLiteral("day"));
        QTest::newRow("double-click")
            << "t2.doubleClick" << 1 << QVariant(QStringLiteral("quicklook"));
        QTest::newRow("shortcut") << "t2.hotkey" << 3 << QVariant(qint64(3));
        QTest::newRow("no shortcut") << "t2.hotkey" << 0 << QVariant(qint64(0));
        QTest::newRow("screen") << "t2.screen" << 1 << QVariant(QStringLiteral("pointer"));
    }
    void pickersWriteThrough() {
        QFETCH(QString, key);
        QFETCH(int, index);
        QFETCH(QVariant, stored);
        const QByteArray name = key.toLatin1();
        SettingsView view(&m_tool);
        auto* picker = child<QComboBox>(view, key);
        QVERIFY(picker && picker->currentIndex() != index);
        const int before = picker->currentIndex();
        picker->setCurrentIndex(index);
        emit picker->activated(index);
        QCOMPARE(Prefs::shared().value(name.constData()), stored);
        Prefs::shared().set(name.constData(), picker->itemData(before));
        QCOMPARE(picker->currentIndex(), before);
    }
    // The screen picker lists each connected screen by name; a chosen screen
    // that is unplugged stays listed and chosen.
    void screenPicker() {
        Prefs::shared().set(Key::screen, QStringLiteral("output:HDMI-9"));
        SettingsView view(&m_tool);
        auto* picker = child<QComboBox>(view, QStringLiteral("t2.screen"));
        const QString first = QGuiApplication::primaryScreen()->name();
        QCOMPARE(picker->findData(QStringLiteral("output:") + first), 2);
        QCOMPARE(picker->currentText(), QStringLiteral("HDMI-9 (not connected)"));
        picker->setCurrentIndex(2);
        emit picker->activated(2);
        QCOMPARE(Prefs::shared().string(Key::screen), QStringLiteral("output:") + first);
        QCOMPARE(picker->findText(QStringLiteral("HDMI-9 (not connected)")), -1);
    }

    void dockSegments() {
        // The dock segments write "t2.side" and follow outside changes.
        SettingsView view(&m_tool);
        auto* left = child<QAbstractButton>(view, QStringLiteral("dockLeft"));
        auto* right = child<QAbstractButton>(view, QStringLiteral("dockRight"));
        QVERIFY(right->isChecked());
        left->click();
        QCOMPARE(Prefs::shared().string(Key::side), QStringLiteral("left"));
        Prefs::shared().set(Key::side, QStringLiteral("right"));
        QVERIFY(right->isChecked() && !left->isChecked());
    }

    // The tool's options go to the tool, not the store; a missing one is greyed.
    void captureOptions() {
        m_tool.info.type = QStringLiteral("jpg");
        m_tool.info.hasShadow = false;
        SettingsView view(&m_tool);
        QVERIFY(child<QAbstractButton>(view, QStringLiteral("format-jpg"))->isChecked());
        child<QAbstractButton>(view, QStringLiteral("format-png"))->click();
        child<QAbstractButton>(view, QStringLiteral("sysThumb"))->click();
        QCOMPARE(m_tool.ownLog, (QStringList{"type png", "thumb 0"}));
        auto* shadow = child<QAbstractButton>(view, QStringLiteral("sysShadow"));
        QVERIFY(!shadow->isEnabled());
        QCOMPARE(shadow->toolTip(), QStringLiteral("Not available in Fake"));
        button(view, QStringLiteral("Open Fake"))->click();
        QCOMPARE(m_tool.ownLog.last(), QStringLiteral("open fake-tool"));
    }

    // The picker says when another program holds the shortcut, and on
    // Wayland tells the user to bind the toggle command instead.
    void shortcutConflict() {
        FakeShortcut shortcut;
        shortcut.taken = {QStringLiteral("Ctrl+Alt+S")};
        Hotkey hotkey(&shortcut);
        hotkey.registerPreset(1);
        qputenv("XDG_SESSION_TYPE", "wayland");
        SettingsView view(&m_tool);
        qunsetenv("XDG_SESSION_TYPE");
        view.setHotkey(&hotkey);
        auto* conflict = child<QLabel>(view, QStringLiteral("conflict"));
        QVERIFY(shown(conflict, view));
        QCOMPARE(conflict->text(), QStringLiteral("In use by another program"));
        QVERIFY(shown(child(view, QStringLiteral("waylandHint")), view));
        hotkey.registerPreset(3);
        QVERIFY(!shown(conflict, view));
        SettingsView x11(&m_tool);
        QVERIFY(!shown(child(x11, QStringLiteral("waylandHint")), x11));
    }

    // With the desktop's portal the form shows the keys the desktop assigned
    // and, where the portal can, opens the desktop's own dialog to change them.
    void shortcutThroughThePortal_data() {
        QTest::addColumn<uint>("version");
        QTest::newRow("version 1") << 1u;
        QTest::newRow("version 2") << 2u;
    }
    void shortcutThroughThePortal() {
        QFETCH(uint, version);
        PrivateBus bus;
        QVERIFY(bus.isRunning());
        FakePortal portal(bus.connect(QStringLiteral("desktop")), version);
        PortalShortcut shortcut(nullptr, bus.connect(QStringLiteral("app")));
        Hotkey hotkey(&shortcut);
        SettingsView view(&m_tool);
        view.setHotkey(&hotkey);
        hotkey.registerPreset(1);
        auto* hint = child<QLabel>(view, QStringLiteral("waylandHint"));
        QTRY_COMPARE_WITH_TIMEOUT(hint->text(),
                                  QStringLiteral("Your desktop opens Tamberk with Super+K."), 5000);
        QVERIFY(shown(hint, view));
        auto* change = child<QPushButton>(view, QStringLiteral("changeShortcut"));
        QCOMPARE(shown(change, view), version >= 2);
        if (version >= 2) {
            change->click();
            QTRY_COMPARE_WITH_TIMEOUT(portal.calls.constLast(),
                                      QStringLiteral("ConfigureShortcuts"), 5000);
        }
    }

    // "Launch at login" writes and removes the autostart entry, and a new
    // form reads it back.
    void launchAtLogin() {
        const QString entry =
            m_env->configHome() + QStringLiteral("/autostart/org.tamberk.Tamberk.desktop");
        QCOMPARE(LoginItem::entryPath(), entry);
        {
            SettingsView view(&m_tool);
            auto* login = child<QAbstractButton>(view, QStringLiteral("login"));
            QVERIFY(!login->isChecked());
            login->click();
            QVERIFY(QFile::exists(entry));
        }
        SettingsView again(&m_tool);
        auto* login = child<QAbstractButton>(again, QStringLiteral("login"));
        QVERIFY(login->isChecked());
        login->click();
        QVERIFY(!QFile::exists(entry));
        QVERIFY(!LoginItem::isEnabled());
    }

    // A second show raises the same window; closing only hides it.
    void singleWindow() {
        SettingsWindow::configure({&m_tool, nullptr, {}});
        SettingsView* first = SettingsWindow::show();
        QCOMPARE(first->windowTitle(), QStringLiteral("Tamberk Settings"));
        QCOMPARE(first->size(), QSize(560, 720));
        QVERIFY(first->isVisible());
        QVERIFY(first->close());
        QVERIFY(!first->isVisible());
        QCOMPARE(SettingsWindow::window(), first);
        QCOMPARE(SettingsWindow::show(), first);
        QVERIFY(first->isVisible());
        QCOMPARE(QApplication::topLevelWidgets().count(first), 1);
        // Esc and Ctrl+W close it like any settings window.
        QVERIFY(QTest::qWaitForWindowActive(first));
        QTest::keyClick(first, Qt::Key_Escape);
        QVERIFY(!first->isVisible());
        SettingsWindow::show();
        QVERIFY(QTest::qWaitForWindowActive(first));
        QTest::keyClick(first, Qt::Key_W, Qt::ControlModifier);
        QVERIFY(!first->isVisible());
    }

    // With no recognised screenshot tool the rows speak of the folder, not of
    // a tool: no tool name anywhere, no green check claiming it saves here.
    void noToolRecognised_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("follow");
        QTest::newRow("the usual folder")
            << QString() << "No screenshot tool recognised; new screenshots usually land here"
            << false;
        QTest::newRow("another folder")
            << "Shots"
            << "Screenshots usually land in Pictures \u203a Screenshots" << true;
    }
    void noToolRecognised() {
        QFETCH(QString, folder);
        QFETCH(QString, status);
        QFETCH(bool, follow);
        m_tool.info = CaptureInfo();
        m_tool.info.known = false;
        m_tool.info.toolName = QStringLiteral("Generic (no known desktop)");
        m_tool.info.location = m_env->mkdir(QStringLiteral("Pictures/Screenshots"));
        if (!folder.isEmpty())
            Prefs::shared().set(Key::folder, m_env->mkdir(folder));
        Prefs::shared().set(Key::syncSystem, false);
        SettingsView view(&m_tool);
        QCOMPARE(child<QLabel>(view, QStringLiteral("statusText"))->text(), status);
        QCOMPARE(shown(button(view, QStringLiteral("Use That Folder")), view), follow);
        QStringList texts;
        for (QLabel* label : view.findChildren<QLabel*>())
            if (shown(label, view))
                texts << label->text();
        for (QAbstractButton* b : view.findChildren<QAbstractButton*>())
            if (shown(b, view))
                texts << b->text() << b->toolTip();
        QVERIFY2(!texts.join('|').contains("Generic"), qPrintable(texts.join('|')));
        QVERIFY(texts.contains(QStringLiteral(
            "Bring new screenshots from Pictures \u203a Screenshots into this folder")));
    }

private:
    std::unique_ptr<TestEnv> m_env;
    FakeTool m_tool;
};

TAMBERK_TEST(tst_SettingsView)
#include "tst_SettingsView.moc"
