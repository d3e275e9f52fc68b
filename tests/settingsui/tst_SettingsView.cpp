#include "FakePortal.h"
#include "PrivateBus.h"
#include "SettingsFakes.h"
#include "TestEnv.h"
#include "platform/PortalShortcut.h"
#include "settings/Hotkey.h"
#include "settings/LoginItem.h"
#include "settings/Prefs.h"
#include "settings/ui/SettingsView.h"
#include "settings/ui/SettingsWindow.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

namespace {

template <typename T = QWidget>
T* child(QWidget& view, const QString& name) {
    return view.findChild<T*>(name);
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

// What the view shows: its labels, its buttons and their tooltips.
QStringList texts(QWidget& view) {
    QStringList out;
    for (QLabel* label : view.findChildren<QLabel*>())
        if (shown(label, view))
            out << label->text();
    for (QAbstractButton* b : view.findChildren<QAbstractButton*>())
        if (shown(b, view))
            out << b->text() << b->toolTip();
    return out;
}

} // namespace

class tst_SettingsView : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_env = std::make_unique<TestEnv>();
        m_tool = std::make_unique<FakeTool>();
        m_tool->info.toolName = QStringLiteral("Fake");
        m_tool->info.location = m_env->mkdir(QStringLiteral("Pictures/Screenshots"));
        m_tool->info.writable = m_tool->info.hasType = m_tool->info.hasThumbnail = true;
        m_tool->info.openCommand = {QStringLiteral("fake-tool")};
    }
    void cleanup() {
        SettingsWindow::destroyForTesting();
        m_env.reset();
    }

    // Green when the tool saves to the folder, else "Match"; "Follow <tool>"
    // (while sync is off) empties the folder setting.
    void statusRow() {
        const QString other = "Fake saves to ~/Pictures/Screenshots",
                      here = "Fake saves new screenshots here";
        for (const auto& [folder, sync, caption, follow] :
             {std::tuple{QString(), true, here, false},
              {QStringLiteral("Shots"), false, other, true},
              {QStringLiteral("Shots"), true, other, false}}) {
            if (!folder.isEmpty())
                Prefs::shared().set(Key::folder, m_env->mkdir(folder));
            Prefs::shared().set(Key::syncSystem, sync);
            SettingsView view(m_tool.get());
            QCOMPARE(child<QLabel>(view, QStringLiteral("statusText"))->text(), caption);
            QCOMPARE(shown(button(view, QStringLiteral("Match")), view), !folder.isEmpty());
            QCOMPARE(shown(button(view, QStringLiteral("Follow Fake")), view), follow);
            QVERIFY(shown(button(view, QStringLiteral("Open Fake")), view));
            QCOMPARE(child<QLabel>(view, QStringLiteral("folderPath"))->text(),
                     "~/" + (folder.isEmpty() ? QStringLiteral("Pictures/Screenshots") : folder));
            if (follow) {
                button(view, QStringLiteral("Follow Fake"))->click();
                QCOMPARE(Prefs::shared().string(Key::folder), QString());
                QCOMPARE(child<QLabel>(view, QStringLiteral("statusText"))->text(), here);
            }
        }
    }

    // "Match" moves the tool to the folder, the row turns green and the
    // library is asked to look for strays; polling sees the tool move away.
    void matchAndPoll() {
        const QString shots = m_env->mkdir(QStringLiteral("Shots"));
        Prefs::shared().set(Key::folder, shots);
        SettingsView view(m_tool.get());
        int matched = 0;
        view.setOnMatched([&] { ++matched; });
        button(view, QStringLiteral("Match"))->click();
        QCOMPARE(m_tool->ownLog, QStringList{QStringLiteral("location ") + shots});
        QCOMPARE(matched, 1);
        QVERIFY(view.matches() && !shown(button(view, QStringLiteral("Match")), view));
        QVERIFY(view.pollTimer().isActive());
        m_tool->info.location = m_env->mkdir(QStringLiteral("Elsewhere"));
        view.poll();
        QVERIFY(!view.matches());
        QCOMPARE(child<QLabel>(view, QStringLiteral("statusText"))->text(),
                 QStringLiteral("Fake saves to ~/Elsewhere"));
    }

    // The Desktop, also reached through a link, offers the dedicated folder,
    // which is created and applied.
    void desktopThroughLink() {
        for (const bool throughLink : {false, true}) {
            cleanup(); // a fresh home for each
            init();
            const QString desktop = m_env->mkdir(QStringLiteral("Desktop"));
            const QString folder =
                throughLink ? m_env->home() + QStringLiteral("/desk-link") : desktop;
            QVERIFY(!throughLink || QFile::link(desktop, folder));
            QDir(m_tool->info.location).removeRecursively();
            Prefs::shared().set(Key::folder, folder);
            SettingsView view(m_tool.get());
            view.setDesktopPath(desktop);
            QVERIFY(view.onDesktop() && shown(child(view, QStringLiteral("desktopRow")), view));
            button(view, QStringLiteral("Use Pictures › Screenshots"))->click();
            const QString dedicated = m_env->home() + QStringLiteral("/Pictures/Screenshots");
            QCOMPARE(Prefs::shared().string(Key::folder), dedicated);
            QVERIFY(QFileInfo(dedicated).isDir());
            QVERIFY(!shown(child(view, QStringLiteral("desktopRow")), view));
            QVERIFY(view.applyTimer().isActive());
        }
    }

    // Turning the edge tab off greys the hover toggle and its text without
    // changing it; hiding from capture is greyed where the desktop cannot.
    void revealGreyed() {
        SettingsView view(m_tool.get());
        auto* reveal = child<QAbstractButton>(view, QString::fromLatin1(Key::reveal));
        QVERIFY(reveal->isEnabled() && reveal->isChecked());
        child<QAbstractButton>(view, QString::fromLatin1(Key::showTab))->click();
        QCOMPARE(Prefs::shared().boolean(Key::showTab), false);
        QVERIFY(!reveal->isEnabled() && !reveal->parentWidget()->findChild<QLabel*>()->isEnabled());
        QVERIFY(reveal->isChecked() && Prefs::shared().boolean(Key::reveal));
        QVERIFY(
            !child<QAbstractButton>(view, QString::fromLatin1(Key::hideFromCapture))->isEnabled());
        QVERIFY(shown(child(view, QStringLiteral("hideFromCaptureNote")), view));
    }

    // Every switch writes its key at once, and a write made elsewhere shows at once.
    void switchesWriteThrough() {
        SettingsView view(m_tool.get());
        for (const char* key :
             {Key::syncSystem, Key::onlyShots, Key::includeSub, Key::ocr, Key::showTab, Key::reveal,
              Key::peek, Key::captions, Key::autoCopy, Key::confirmDelete}) {
            auto* toggle = child<QAbstractButton>(view, QString::fromLatin1(key));
            const bool before = Prefs::shared().boolean(key);
            QVERIFY2(toggle && toggle->isChecked() == before, key);
            toggle->click();
            QVERIFY2(Prefs::shared().boolean(key) == !before, key);
            Prefs::shared().set(key, before);
            QVERIFY2(toggle->isChecked() == before, key);
        }
    }

    // Pickers and the dock segments write their values; outside writes show.
    void pickersWriteThrough() {
        SettingsView view(m_tool.get());
        for (const auto& [key, index, stored] :
             {std::tuple{"t2.session", 2, QVariant(QStringLiteral("day"))},
              {"t2.doubleClick", 1, QVariant(QStringLiteral("quicklook"))},
              {"t2.hotkey", 3, QVariant(qint64(3))},
              {"t2.screen", 1, QVariant(QStringLiteral("pointer"))}}) {
            auto* picker = child<QComboBox>(view, QString::fromLatin1(key));
            const int before = picker->currentIndex();
            QVERIFY2(before != index, key);
            picker->setCurrentIndex(index);
            emit picker->activated(index);
            QCOMPARE(Prefs::shared().value(key), stored);
            Prefs::shared().set(key, picker->itemData(before));
            QCOMPARE(picker->currentIndex(), before);
        }
        auto* left = child<QAbstractButton>(view, QStringLiteral("dockLeft"));
        auto* right = child<QAbstractButton>(view, QStringLiteral("dockRight"));
        QVERIFY(right->isChecked());
        left->click();
        QCOMPARE(Prefs::shared().string(Key::side), QStringLiteral("left"));
        Prefs::shared().set(Key::side, QStringLiteral("right"));
        QVERIFY(right->isChecked() && !left->isChecked());
    }

    // The screen picker lists each connected screen by name; a chosen screen
    // that is unplugged stays listed and chosen until another is.
    void screenPicker() {
        Prefs::shared().set(Key::screen, QStringLiteral("output:HDMI-9"));
        SettingsView view(m_tool.get());
        auto* picker = child<QComboBox>(view, QStringLiteral("t2.screen"));
        const QString first = QStringLiteral("output:") + QGuiApplication::primaryScreen()->name();
        QCOMPARE(picker->findData(first), 2);
        QCOMPARE(picker->currentText(), QStringLiteral("HDMI-9 (not connected)"));
        picker->setCurrentIndex(2);
        emit picker->activated(2);
        QCOMPARE(Prefs::shared().string(Key::screen), first);
        QCOMPARE(picker->findText(QStringLiteral("HDMI-9 (not connected)")), -1);
    }

    // The tool's options go to the tool, not the store. What the tool lacks is
    // greyed with the reason ("Match", the shadow) or hidden (the opener), and
    // sync then pulls screenshots in.
    void captureOptions() {
        m_tool->info.type = QStringLiteral("jpg");
        {
            SettingsView view(m_tool.get());
            QVERIFY(child<QAbstractButton>(view, QStringLiteral("format-jpg"))->isChecked());
            child<QAbstractButton>(view, QStringLiteral("format-png"))->click();
            child<QAbstractButton>(view, QStringLiteral("sysThumb"))->click();
            button(view, QStringLiteral("Open Fake"))->click();
            QCOMPARE(m_tool->ownLog, (QStringList{"type png", "thumb 0", "open fake-tool"}));
        }
        m_tool->info.writable = false;
        m_tool->info.openCommand.clear();
        Prefs::shared().set(Key::folder, m_env->mkdir(QStringLiteral("Shots")));
        SettingsView view(m_tool.get());
        QPushButton* match = button(view, QStringLiteral("Match"));
        auto* shadow = child<QAbstractButton>(view, QStringLiteral("sysShadow"));
        QVERIFY(shown(match, view) && !match->isEnabled() && !shadow->isEnabled());
        QCOMPARE(match->toolTip(), QStringLiteral("Not available in Fake"));
        QCOMPARE(shadow->toolTip(), match->toolTip());
        QVERIFY(!shown(button(view, QStringLiteral("Open Fake")), view));
        QVERIFY(texts(view).contains(QStringLiteral("Bring Fake's screenshots into this folder")));
    }

    // The picker says when another program holds the shortcut, and on
    // Wayland tells the user to bind the toggle command instead.
    void shortcutConflict() {
        FakeShortcut shortcut;
        shortcut.taken = {QStringLiteral("Ctrl+Alt+S")};
        Hotkey hotkey(&shortcut);
        hotkey.registerPreset(1);
        qputenv("XDG_SESSION_TYPE", "wayland");
        SettingsView view(m_tool.get());
        qunsetenv("XDG_SESSION_TYPE");
        view.setHotkey(&hotkey);
        auto* conflict = child<QLabel>(view, QStringLiteral("conflict"));
        QVERIFY(shown(conflict, view) && shown(child(view, QStringLiteral("waylandHint")), view));
        hotkey.registerPreset(3);
        QVERIFY(!shown(conflict, view));
        SettingsView x11(m_tool.get());
        QVERIFY(!shown(child(x11, QStringLiteral("waylandHint")), x11));
    }

    // The portal's assigned keys show; version 2 opens the desktop's dialog.
    void shortcutThroughThePortal() {
        for (const uint version : {1u, 2u}) {
            PrivateBus bus;
            QVERIFY(bus.isRunning());
            FakePortal portal(bus.connect(QStringLiteral("desktop")), version);
            PortalShortcut shortcut(nullptr, bus.connect(QStringLiteral("app")));
            Hotkey hotkey(&shortcut);
            SettingsView view(m_tool.get());
            view.setHotkey(&hotkey);
            hotkey.registerPreset(1);
            auto* hint = child<QLabel>(view, QStringLiteral("waylandHint"));
            QTRY_COMPARE_WITH_TIMEOUT(
                hint->text(), QStringLiteral("Your desktop opens Tamberk with Super+K."), 5000);
            QVERIFY(shown(hint, view));
            auto* change = child<QPushButton>(view, QStringLiteral("changeShortcut"));
            QCOMPARE(shown(change, view), version >= 2);
            if (version >= 2) {
                change->click();
                QTRY_COMPARE_WITH_TIMEOUT(portal.calls.constLast(),
                                          QStringLiteral("ConfigureShortcuts"), 5000);
            }
        }
    }

    // "Launch at login" writes and removes the autostart entry, and a new
    // form reads it back.
    void launchAtLogin() {
        const auto login = [](SettingsView& view) {
            return child<QAbstractButton>(view, QStringLiteral("login"));
        };
        auto view = std::make_unique<SettingsView>(m_tool.get());
        QVERIFY(!login(*view)->isChecked());
        login(*view)->click();
        QVERIFY(QFile::exists(LoginItem::entryPath()));
        view = std::make_unique<SettingsView>(m_tool.get());
        QVERIFY(login(*view)->isChecked());
        login(*view)->click();
        QVERIFY(!QFile::exists(LoginItem::entryPath()));
    }

    // A second show raises the same window; closing, Esc and Ctrl+W only hide it.
    void singleWindow() {
        SettingsWindow::configure({m_tool.get(), nullptr, {}});
        SettingsView* first = SettingsWindow::show();
        QVERIFY(first->isVisible());
        QVERIFY(first->close());
        QVERIFY(!first->isVisible());
        QCOMPARE(SettingsWindow::window(), first);
        QCOMPARE(SettingsWindow::show(), first);
        QCOMPARE(QApplication::topLevelWidgets().count(first), 1);
        for (const QKeySequence& keys :
             {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
            SettingsWindow::show();
            QVERIFY(QTest::qWaitForWindowActive(first));
            QTest::keySequence(first, keys);
            QVERIFY(!first->isVisible());
        }
    }

    // With no recognised screenshot tool the rows speak of the folder, not of
    // a tool: no tool name anywhere, no green check claiming it saves here.
    void noToolRecognised() {
        CaptureInfo generic; // no opener, nothing writable
        generic.toolName = QStringLiteral("Generic (no known desktop)");
        generic.known = false;
        generic.location = m_tool->info.location;
        m_tool->info = generic;
        for (const auto& [folder, status, follow] :
             {std::tuple{QString(),
                         "No screenshot tool recognised; new screenshots usually land here", false},
              {QStringLiteral("Shots"), "Screenshots usually land in Pictures › Screenshots",
               true}}) {
            if (!folder.isEmpty())
                Prefs::shared().set(Key::folder, m_env->mkdir(folder));
            Prefs::shared().set(Key::syncSystem, false);
            SettingsView view(m_tool.get());
            QCOMPARE(child<QLabel>(view, QStringLiteral("statusText"))->text(), QString(status));
            QCOMPARE(shown(button(view, QStringLiteral("Use That Folder")), view), follow);
            const QStringList shownTexts = texts(view);
            QVERIFY2(!shownTexts.join('|').contains("Generic"), qPrintable(shownTexts.join('|')));
            QVERIFY(shownTexts.contains(QStringLiteral(
                "Bring new screenshots from Pictures › Screenshots into this folder")));
        }
    }

private:
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<FakeTool> m_tool;
};

TAMBERK_TEST(tst_SettingsView)
#include "tst_SettingsView.moc"
