#include "FakePortal.h"
#include "PrivateBus.h"
#include "SettingsFakes.h"
#include "TestEnv.h"
#include "platform/PortalShortcut.h"
#include "settings/Hotkey.h"
#include "settings/LoginItem.h"
#include "settings/Prefs.h"
#include "settings/ui/LanguagePicker.h"
#include "settings/ui/SettingsView.h"
#include "settings/ui/SettingsWindow.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
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
        m_tool->info = {.toolName = "Fake",
                        .location = m_env->mkdir("Pictures/Screenshots"),
                        .writable = true,
                        .hasType = true,
                        .hasThumbnail = true,
                        .openCommand = {"fake-tool"}};
    }
    void cleanup() {
        SettingsWindow::destroyForTesting();
        m_env.reset();
    }

    // Green when the tool saves here, else "Match" and a follow button; no tool is not named.
    void statusRow() {
        const QString there = "Fake saves to ~/Pictures/Screenshots";
        for (const auto& [known, folder, sync, caption, follow] :
             {std::tuple{true, "", true, QString("Fake saves new screenshots here"), false},
              {true, "Shots", false, there, true},
              {true, "Shots", true, there, false},
              {false, "", false,
               QString("No screenshot tool recognised; new screenshots usually "
                       "land here"),
               false},
              {false, "Shots", false, QString("Screenshots usually land in Pictures › Screenshots"),
               true}}) {
            if (!known) // no opener, nothing writable
                m_tool->info = {.toolName = "Generic (no known desktop)",
                                .known = false,
                                .location = m_tool->info.location,
                                .openCommand = {}};
            const QString followName = known ? "Follow Fake" : "Use That Folder";
            Prefs::shared().set(Key::folder, *folder ? m_env->mkdir(folder) : QString());
            Prefs::shared().set(Key::syncSystem, sync);
            SettingsView view(m_tool.get());
            QCOMPARE(child<QLabel>(view, "statusText")->text(), caption);
            QCOMPARE(shown(button(view, "Match"), view), *folder != 0);
            QCOMPARE(shown(button(view, followName), view), follow);
            QCOMPARE(child<QLabel>(view, "folderPath")->text(),
                     "~/" + QString(*folder ? folder : "Pictures/Screenshots"));
            QVERIFY(known || !texts(view).join('|').contains("Generic"));
            if (follow) {
                button(view, followName)->click();
                QCOMPARE(Prefs::shared().string(Key::folder), QString());
                QVERIFY(!shown(button(view, followName), view));
            }
        }
    }

    // "Match" moves the tool and asks for strays; polling sees the tool move away.
    void matchAndPoll() {
        const QString shots = m_env->mkdir("Shots");
        Prefs::shared().set(Key::folder, shots);
        SettingsView view(m_tool.get());
        int matched = 0;
        view.setOnMatched([&] { ++matched; });
        button(view, "Match")->click();
        QCOMPARE(m_tool->ownLog, QStringList{QStringLiteral("location ") + shots});
        QCOMPARE(matched, 1);
        QVERIFY(view.matches() && !shown(button(view, "Match"), view));
        QVERIFY(view.pollTimer().isActive());
        m_tool->info.location = m_env->mkdir("Elsewhere");
        view.poll();
        QVERIFY(!view.matches());
        QCOMPARE(child<QLabel>(view, "statusText")->text(),
                 QStringLiteral("Fake saves to ~/Elsewhere"));
    }

    // The Desktop, reached through a link, offers the dedicated folder, created and applied.
    void desktopThroughLink() {
        const QString desktop = m_env->mkdir("Desktop"), link = m_env->home() + "/desk-link";
        QVERIFY(QFile::link(desktop, link));
        QDir(m_tool->info.location).removeRecursively();
        Prefs::shared().set(Key::folder, link);
        SettingsView view(m_tool.get());
        view.setDesktopPath(desktop);
        QVERIFY(view.onDesktop() && shown(child(view, "desktopRow"), view));
        button(view, "Use Pictures › Screenshots")->click();
        QCOMPARE(Prefs::shared().string(Key::folder), m_tool->info.location);
        QVERIFY(QFileInfo(m_tool->info.location).isDir());
        QVERIFY(!shown(child(view, "desktopRow"), view));
        QVERIFY(view.applyTimer().isActive());
    }

    // No edge tab greys the hover toggle unchanged; hiding from capture greys where unsupported.
    void revealGreyed() {
        SettingsView view(m_tool.get());
        auto* reveal = child<QAbstractButton>(view, Key::reveal);
        QVERIFY(reveal->isEnabled() && reveal->isChecked());
        child<QAbstractButton>(view, Key::showTab)->click();
        QCOMPARE(Prefs::shared().boolean(Key::showTab), false);
        QVERIFY(!reveal->isEnabled() && !reveal->parentWidget()->findChild<QLabel*>()->isEnabled());
        QVERIFY(reveal->isChecked() && Prefs::shared().boolean(Key::reveal));
        QVERIFY(!child<QAbstractButton>(view, Key::hideFromCapture)->isEnabled());
        QVERIFY(shown(child(view, "hideFromCaptureNote"), view));
    }

    // Every switch writes its key at once, and a write made elsewhere shows at once.
    void switchesWriteThrough() {
        SettingsView view(m_tool.get());
        for (const char* key :
             {Key::syncSystem, Key::onlyShots, Key::includeSub, Key::ocr, Key::showTab, Key::reveal,
              Key::peek, Key::captions, Key::autoCopy, Key::confirmDelete}) {
            auto* toggle = child<QAbstractButton>(view, key);
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
        for (const auto& [key, index, stored] : {std::tuple{"t2.session", 2, QVariant("day")},
                                                 {"t2.doubleClick", 1, QVariant("quicklook")},
                                                 {"t2.hotkey", 3, QVariant(qint64(3))},
                                                 {"t2.screen", 1, QVariant("pointer")}}) {
            auto* picker = child<QComboBox>(view, key);
            const int before = picker->currentIndex();
            QVERIFY2(before != index, key);
            picker->setCurrentIndex(index);
            emit picker->activated(index);
            QCOMPARE(Prefs::shared().value(key), stored);
            Prefs::shared().set(key, picker->itemData(before));
            QCOMPARE(picker->currentIndex(), before);
        }
        auto* left = child<QAbstractButton>(view, "dockLeft");
        auto* right = child<QAbstractButton>(view, "dockRight");
        QVERIFY(right->isChecked());
        left->click();
        QCOMPARE(Prefs::shared().string(Key::side), QStringLiteral("left"));
        Prefs::shared().set(Key::side, "right");
        QVERIFY(right->isChecked() && !left->isChecked());
    }

    // Screens listed by name; an unplugged chosen one stays until another is chosen.
    void screenPicker() {
        Prefs::shared().set(Key::screen, "output:HDMI-9");
        SettingsView view(m_tool.get());
        auto* picker = child<QComboBox>(view, "t2.screen");
        const QString first = QStringLiteral("output:") + QGuiApplication::primaryScreen()->name();
        QCOMPARE(picker->findData(first), 2);
        QCOMPARE(picker->currentText(), QStringLiteral("HDMI-9 (not connected)"));
        picker->setCurrentIndex(2);
        emit picker->activated(2);
        QCOMPARE(Prefs::shared().string(Key::screen), first);
        QCOMPARE(picker->findText(QStringLiteral("HDMI-9 (not connected)")), -1);
    }

    // The tool's options go to the tool; what it lacks is greyed with the reason or hidden.
    void captureOptions() {
        m_tool->info.type = "jpg";
        {
            SettingsView view(m_tool.get());
            QVERIFY(child<QAbstractButton>(view, "format-jpg")->isChecked());
            child<QAbstractButton>(view, "format-png")->click();
            child<QAbstractButton>(view, "sysThumb")->click();
            button(view, "Open Fake")->click();
            QCOMPARE(m_tool->ownLog, (QStringList{"type png", "thumb 0", "open fake-tool"}));
        }
        m_tool->info.writable = false;
        m_tool->info.openCommand.clear();
        Prefs::shared().set(Key::folder, m_env->mkdir("Shots"));
        SettingsView view(m_tool.get());
        QPushButton* match = button(view, "Match");
        auto* shadow = child<QAbstractButton>(view, "sysShadow");
        QVERIFY(shown(match, view) && !match->isEnabled() && !shadow->isEnabled());
        QCOMPARE(match->toolTip(), QStringLiteral("Not available in Fake"));
        QCOMPARE(shadow->toolTip(), match->toolTip());
        QVERIFY(!shown(button(view, "Open Fake"), view));
    }

    // A shortcut held elsewhere is said; on Wayland the user is told to bind the command.
    void shortcutConflict() {
        FakeShortcut shortcut;
        shortcut.taken = {"Ctrl+Alt+S"};
        Hotkey hotkey(&shortcut);
        hotkey.registerPreset(1);
        qputenv("XDG_SESSION_TYPE", "wayland");
        SettingsView view(m_tool.get());
        qunsetenv("XDG_SESSION_TYPE");
        view.setHotkey(&hotkey);
        auto* conflict = child<QLabel>(view, "conflict");
        QVERIFY(shown(conflict, view) && shown(child(view, "waylandHint"), view));
        hotkey.registerPreset(3);
        QVERIFY(!shown(conflict, view));
        SettingsView x11(m_tool.get());
        QVERIFY(!shown(child(x11, "waylandHint"), x11));
    }

    // The portal's assigned keys show; version 2 opens the desktop's dialog.
    void shortcutThroughThePortal() {
        for (const uint version : {1u, 2u}) {
            PrivateBus bus;
            QVERIFY(bus.isRunning());
            FakePortal portal(bus.connect("desktop"), version);
            PortalShortcut shortcut(nullptr, bus.connect("app"));
            Hotkey hotkey(&shortcut);
            SettingsView view(m_tool.get());
            view.setHotkey(&hotkey);
            hotkey.registerPreset(1);
            auto* hint = child<QLabel>(view, "waylandHint");
            QTRY_VERIFY_WITH_TIMEOUT(hint->text().contains("Super+K") && shown(hint, view), 5000);
            auto* change = child<QPushButton>(view, "changeShortcut");
            QCOMPARE(shown(change, view), version >= 2);
            if (version >= 2) {
                change->click();
                QTRY_VERIFY_WITH_TIMEOUT(portal.calls.constLast() == "ConfigureShortcuts", 5000);
            }
        }
    }

    // "Launch at login" writes, then removes the autostart entry; a new form reads it back.
    void launchAtLogin() {
        for (const bool on : {true, false}) {
            SettingsView view(m_tool.get());
            auto* login = child<QAbstractButton>(view, "login");
            QCOMPARE(login->isChecked(), !on);
            login->click();
            QCOMPARE(QFile::exists(LoginItem::entryPath()), on);
        }
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

    // Centred unless that covers the card, then beside it, else as far from it as it can.
    void placement() {
        // 568 × 754 on 1440 × 900 under a 25-pixel panel: centred, it spans x 436 … 1003.
        const QRect available(0, 25, 1440, 875);
        for (const auto& [card, x] : {std::pair{QRect(), 436},
                                      {QRect(1164, 33, 268, 859), 436}, // narrow, on the right
                                      {QRect(632, 33, 800, 859), 32},
                                      {QRect(8, 33, 800, 859), 840},
                                      {QRect(107, 33, 1325, 859), 0}, // no room beside
                                      {QRect(8, 33, 1325, 859), 872}})
            QCOMPARE(SettingsWindow::placement(QSize(568, 754), available, card),
                     QRect(x, 86, 568, 754));
    }

    // The languages row writes codes in list order, keeps the last one, drops those without data.
    void languages() {
        LanguagePicker picker(nullptr, {"deu", "eng", "fra"});
        const auto names = [&](bool checkedOnly) {
            QStringList out;
            for (const QAction* action : picker.list()->actions())
                if (action->isChecked() || !checkedOnly)
                    out << action->text();
            return out;
        };
        QCOMPARE(names(false), (QStringList{"English", "French", "German"}));
        QCOMPARE(picker.chosen(), QStringList{"eng"});
        QCOMPARE(picker.text(), QStringLiteral("English"));

        picker.list()->actions().at(2)->trigger(); // German
        QCOMPARE(Prefs::shared().string(Key::ocrLanguages), QStringLiteral("eng+deu"));
        QCOMPARE(names(true), (QStringList{"English", "German"}));
        QCOMPARE(picker.text(), QStringLiteral("English, German"));
        picker.list()->actions().at(0)->trigger(); // English off
        QCOMPARE(Prefs::shared().string(Key::ocrLanguages), QStringLiteral("deu"));
        picker.list()->actions().at(2)->trigger(); // the last one: refused
        QCOMPARE(Prefs::shared().string(Key::ocrLanguages), QStringLiteral("deu"));
        QCOMPARE(names(true), QStringList{"German"});

        QTest::ignoreMessage(QtWarningMsg, "Tamberk text recognition failed: no language data "
                                           "for \"kor\"; it is left out");
        Prefs::shared().set(Key::ocrLanguages, QStringLiteral("fra+kor"));
        QCOMPARE(names(true), QStringList{"French"});
        QCOMPARE(picker.text(), QStringLiteral("French"));
    }

private:
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<FakeTool> m_tool;
};

TAMBERK_TEST(tst_SettingsView)
#include "tst_SettingsView.moc"
