#include "PanelRig.h"
#include "panel/PanelCommands.h"
#include "panel/PanelMenus.h"

#include <QStandardPaths>
#include <QTest>

using namespace LibrarySupport;

class tst_PanelCommands : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_shots = std::make_unique<PanelLibrary>(QList<std::pair<QString, double>>{
            {"Screenshot a.png", 30}, {"Screenshot b.png", 20}, {"Screenshot c.png", 10}});
        m_lib = m_shots->lib.get();
        QVERIFY(m_lib);
        m_toasts.clear();
        m_copied.clear();
        m_commands = std::make_unique<PanelCommands>(
            *m_lib, m_prompts,
            [this](const QString& text, const QString& action, std::function<void()> run) {
                m_toasts << (action.isEmpty() ? text : text + " [" + action + "]");
                m_action = std::move(run);
            },
            [this](const ShotList& shots) { m_copied = paths(shots); },
            [this](const QStringList& p, const PanelCommands::Failed& failed) {
                for (const QString& path : p)
                    if (path.endsWith("b.png"))
                        failed(path);
                return int(p.size());
            });
    }
    void cleanup() {
        m_commands.reset();
        m_shots.reset();
    }

    // Only Ctrl chords are panel shortcuts; Shift turns a new folder into one
    // holding the selection; "=" and "+" both enlarge.
    void shortcuts_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        const int ctrl = Qt::ControlModifier;
        QTest::newRow("settings") << int(Qt::Key_Comma) << ctrl << "," << int(PanelKey::settings);
        QTest::newRow("new folder") << int(Qt::Key_N) << ctrl << "n" << int(PanelKey::newFolder);
        QTest::newRow("move to new")
            << int(Qt::Key_N) << int(ctrl | Qt::ShiftModifier) << "N" << int(PanelKey::moveToNew);
        QTest::newRow("equal") << int(Qt::Key_Equal) << ctrl << "=" << int(PanelKey::larger);
        QTest::newRow("shifted plus")
            << int(Qt::Key_Plus) << int(ctrl | Qt::ShiftModifier) << "+" << int(PanelKey::larger);
        QTest::newRow("keypad minus") << int(Qt::Key_Minus) << int(ctrl | Qt::KeypadModifier) << "-"
                                      << int(PanelKey::smaller);
        QTest::newRow("all") << int(Qt::Key_2) << ctrl << "2" << int(PanelKey::all);
        QTest::newRow("plain f") << int(Qt::Key_F) << 0 << "f" << int(PanelKey::none);
        QTest::newRow("alt z") << int(Qt::Key_Z) << int(Qt::AltModifier) << "z"
                               << int(PanelKey::none);
        QTest::newRow("ctrl a for the grid")
            << int(Qt::Key_A) << ctrl << "a" << int(PanelKey::none);
    }
    void shortcuts() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(int(panelKey(key, Qt::KeyboardModifiers(modifiers), text)), expected);
    }

    // Thumbnail steps multiply by 1.15 and stay within 110 … 720.
    void thumbSteps() {
        QCOMPARE(PanelCommands::steppedThumb(700, true), 720.0);
        QCOMPARE(PanelCommands::steppedThumb(120, false), 110.0);
        QVERIFY(qFuzzyCompare(PanelCommands::steppedThumb(224, true), 257.6));
        QVERIFY(qFuzzyCompare(PanelCommands::steppedThumb(257.6, false), 224.0));
    }

    // Copy toasts count the frames and nothing is copied for none.
    void copyToasts() {
        m_commands->copy({});
        QVERIFY(m_toasts.isEmpty());
        m_commands->copy({m_lib->all().first()});
        QCOMPARE(m_toasts.last(), QStringLiteral("Copied"));
        m_commands->copy(m_lib->all());
        QCOMPARE(m_toasts.last(), QStringLiteral("Copied 3 frames"));
        QCOMPARE(m_copied.size(), 3);
    }

    // With confirmation on, two frames are asked about as two; cancelling
    // leaves them and says nothing.
    void trashAsksFirst() {
        Prefs::shared().set(Key::confirmDelete, true);
        m_prompts.confirmations = {false};
        const ShotList two = m_lib->all().mid(0, 2);
        m_commands->trash(two);
        QCOMPARE(m_prompts.asked.last(),
                 QStringLiteral("Delete 2 screenshots?|They go to the Trash. You can undo with "
                                "Ctrl+Z."));
        QVERIFY(QFile::exists(two.first()->path));
        QVERIFY(m_toasts.isEmpty());
    }

    // Without confirmation one frame goes at once; its Undo brings it back and
    // says which batch was undone; a second undo finds nothing.
    void trashAndUndo() {
        Prefs::shared().set(Key::confirmDelete, false);
        const ShotPtr one = m_lib->all().first();
        m_commands->trash({one});
        QCOMPARE(m_toasts.last(), QStringLiteral("Moved to Trash [Undo]"));
        QVERIFY(!QFile::exists(one->path));
        m_action();
        QVERIFY(QFile::exists(one->path));
        QCOMPARE(m_toasts.last(), QStringLiteral("Undid trash"));
        m_commands->undo();
        QCOMPARE(m_toasts.last(), QStringLiteral("Nothing to undo"));
    }

    // An undo whose files are gone from the Trash says so instead of claiming it.
    void undoWithNothingBack() {
        Prefs::shared().set(Key::confirmDelete, false);
        const ShotPtr one = m_lib->all().first();
        m_commands->trash({one});
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files")
            .removeRecursively();
        m_commands->undo();
        QCOMPARE(m_toasts.last(), QStringLiteral("Couldn't undo trash: the files are gone"));
        QVERIFY(!QFile::exists(one->path));
    }

    // A file that could not be trashed stays, and the toast says why, in
    // words that fit the narrowest card.
    void trashFailureIsSaid() {
        Prefs::shared().set(Key::confirmDelete, false);
        const QString trash =
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash";
        QDir(trash).removeRecursively();
        // Where the Trash's info folder should be there is a file: nothing
        // can be recorded there, so nothing may be moved.
        QDir().mkpath(trash + "/files");
        writeFile(trash + "/info");
        const ShotList two = m_lib->all().mid(0, 2);
        m_commands->trash(two);
        QDir(trash).removeRecursively();
        QVERIFY(QFile::exists(two.first()->path));
        QCOMPARE(m_toasts.last(), QStringLiteral("Couldn't move them to the Trash"));
        QCOMPARE(PanelCommands::trashFailure(1, ENOSPC),
                 QStringLiteral("Couldn't move it to the Trash: the disk is full"));
    }

    // Open hands every frame over; one that no application took is named.
    void openSaysWhatFailed() {
        m_commands->open(m_lib->all());
        QCOMPARE(m_toasts, QStringList{"Couldn't open “Screenshot b.png”"});
    }

private:
    std::unique_ptr<PanelLibrary> m_shots;
    Library* m_lib = nullptr;
    ScriptedPrompts m_prompts;
    QStringList m_toasts;
    QStringList m_copied;
    std::function<void()> m_action;
    std::unique_ptr<PanelCommands> m_commands;
};

TAMBERK_TEST(tst_PanelCommands)
#include "tst_PanelCommands.moc"
