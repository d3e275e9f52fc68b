#include "../library/LibrarySupport.h"
#include "PanelRig.h"
#include "content/TextIndex.h"
#include "panel/PanelMenus.h"
#include "panel/ShareMenu.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QTest>

using namespace LibrarySupport;

namespace {

// Answers prompts from a script and records what the menus said.
struct FakeHost : MenuHost, Prompts {
    Library* lib = nullptr;
    QList<std::optional<QString>> answers; // next prompt answers, in order
    QList<bool> confirmations;
    QStringList asked; // title + "|" + info of every prompt and confirmation
    QStringList toasts;
    std::function<void()> toastAction;
    int holds = 0;
    int undos = 0;
    Scope current = Scope::session();
    ShotList dragged;

    Library& library() override { return *lib; }
    Prompts& prompts() override { return *this; }
    void toast(const QString& text, const QString& action, std::function<void()> run) override {
        toasts << (action.isEmpty() ? text : text + " [" + action + "]");
        toastAction = std::move(run);
    }
    void hold(bool on) override { holds += on ? 1 : -1; }
    void open(const ShotList&) override {}
    void copy(const ShotList&) override {}
    void trash(const ShotList&) override {}
    void undo() override {
        ++undos;
        lib->undo();
    }
    void togglePreview() override {}
    void selectAll() override {}
    ShotList draggedOrSelected() override { return dragged; }
    Scope scope() const override { return current; }
    void replaceScope(const Scope& scope) override { current = scope; }

    std::optional<QString> prompt(const QString& title, const QString& info, const QString& initial,
                                  const QString&, const Attempt& attempt) override {
        asked << title + "|" + info + "|" + initial;
        return scriptedName(answers, attempt, problems);
    }
    bool confirm(const QString& title, const QString& info, const QString&) override {
        asked << title + "|" + info;
        return !confirmations.isEmpty() && confirmations.takeFirst();
    }
    QStringList problems;
};

QStringList titles(const QMenu* menu) {
    QStringList result;
    for (const QAction* action : menu->actions())
        result << action->text();
    return result;
}

QAction* find(const QMenu* menu, const QString& title) {
    for (QAction* action : menu->actions())
        if (action->text() == title)
            return action;
    return nullptr;
}

} // namespace

class tst_PanelMenus : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_root = m_dir.path() + "/Shots";
        shot(m_root, "Screenshot a.png", 30);
        shot(m_root, "Screenshot b.png", 20);
        shot(m_root, "Screenshot c.png", 10);
        shot(m_root, "A/Screenshot d.png", 40);
        shot(m_root, "A/Inner/Screenshot e.png", 50);
        QDir().mkpath(m_root + "/Empty");
        // Text recognised earlier for one frame, as the index file keeps it.
        const QString a = m_root + "/Screenshot a.png";
        TextIndex::Map map;
        map.insert(
            a, {QFileInfo(a).lastModified().toMSecsSinceEpoch() / 1000.0, "invoice 42\npaid", {}});
        writeFile(TextIndex::defaultFile(), TextIndex::encode(map));
        m_lib = loaded(m_root);
        QVERIFY(m_lib);
        m_host = std::make_unique<FakeHost>();
        m_host->lib = m_lib.get();
        m_menus = std::make_unique<PanelMenus>(*m_host);
    }

    void cleanup() {
        m_menus.reset();
        m_host.reset();
        m_lib.reset();
        QDir(m_root).removeRecursively();
    }

    // Empty grid space offers exactly a new folder, select all and the root folder.
    void emptySpaceMenu() {
        std::unique_ptr<QMenu> menu(m_menus->gridMenu({}));
        QCOMPARE(titles(menu.get()),
                 (QStringList{"New Folder…", "Select All", "", "Open Shots in File Manager"}));
    }

    // The frame menu's rows for one and for several frames; "Copy Text" only for
    // one frame with recognised text, and it copies exactly that text.
    void frameMenuRows() {
        std::unique_ptr<QMenu> withText(m_menus->gridMenu({byName("Screenshot a.png")}));
        QCOMPARE(
            titles(withText.get()),
            (QStringList{"Open", "Preview", "", "Copy Image", "Copy Text", "Copy Path", "Share", "",
                         "Move to", "Rename…", "Show in File Manager", "", "Move to Trash"}));
        std::unique_ptr<QMenu> without(m_menus->gridMenu({byName("Screenshot b.png")}));
        QVERIFY(!titles(without.get()).contains("Copy Text"));
        std::unique_ptr<QMenu> two(
            m_menus->gridMenu({byName("Screenshot a.png"), byName("Screenshot b.png")}));
        QCOMPARE(titles(two.get()), (QStringList{"Open 2 Frames", "Preview", "", "Copy 2 Frames",
                                                 "Copy Paths", "Share", "", "Move to",
                                                 "Show in File Manager", "", "Move to Trash"}));

        find(withText.get(), "Copy Text")->trigger();

        QCoreApplication::processEvents();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("invoice 42\npaid"));
        QCOMPARE(m_host->toasts.last(), QStringLiteral("Text copied"));
        for (QAction* action : withText->actions())
            QVERIFY2(action->isSeparator() || !action->icon().isNull(), qPrintable(action->text()));
    }

    // The share menu lists the applications, then the desktop's chooser (one
    // file at a time) and Email; each hands over every file, and one that
    // does not start says so in words, and only then.
    void shareMenuSaysWhatFailed() {
        QStringList calls, failures;
        ShareMenu::Actions actions;
        actions.apps = [](const QStringList&) {
            return QList<AppChooser::App>{{"viewer.desktop", "Viewer", {}, true}};
        };
        actions.launch = [&](const QString& id, const QStringList& paths) {
            calls << id + " " + paths.join(',');
            return false;
        };
        actions.chooseOther = [&](const QString& path) {
            calls << "other " + path;
            return false;
        };
        actions.email = [&](const QStringList& paths, const std::function<void()>& failedLater) {
            calls << "email " + paths.join(',');
            failedLater(); // the mail tool found no way to send
            return true;
        };
        const auto failed = [&](const QString& text) { failures << text; };
        QMenu two;
        ShareMenu::fill(&two, {"/s/a.png", "/s/b.png"}, failed, actions);
        QCOMPARE(titles(&two), (QStringList{"Viewer", "", "Other Application…", "Email…"}));
        QVERIFY(!find(&two, "Other Application…")->isEnabled());
        find(&two, "Viewer")->trigger();
        QCoreApplication::processEvents();
        find(&two, "Email…")->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(calls,
                 (QStringList{"viewer.desktop /s/a.png,/s/b.png", "email /s/a.png,/s/b.png"}));
        QCOMPARE(failures, (QStringList{"Couldn't open in “Viewer”", "Couldn't start an email"}));

        QMenu one;
        ShareMenu::fill(&one, {"/s/a.png"}, failed, actions);
        find(&one, "Other Application…")->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(calls.last(), QStringLiteral("other /s/a.png"));
        QCOMPARE(failures.last(), QStringLiteral("Couldn't open the chooser"));
    }

    // "Copy Paths" puts one path per line and counts them in the toast.
    void copyPaths() {
        const ShotList three{byName("Screenshot a.png"), byName("Screenshot b.png"),
                             byName("Screenshot d.png")};
        std::unique_ptr<QMenu> menu(m_menus->gridMenu(three));
        find(menu.get(), "Copy Paths")->trigger();
        QCoreApplication::processEvents();
        const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
        QCOMPARE(lines, paths(three));
        QCOMPARE(m_host->toasts.last(), QStringLiteral("3 paths copied"));
    }

    // Move targets that already hold every frame are disabled, not hidden; a
    // folder with subfolders nests them under "Into …".
    void moveMenuEnabling() {
        std::unique_ptr<QMenu> rootOnes(
            m_menus->moveMenu({byName("Screenshot a.png"), byName("Screenshot b.png")}));
        QCOMPARE(titles(rootOnes.get()).first(), QStringLiteral("Shots"));
        QVERIFY(!rootOnes->actions().first()->isEnabled());
        QMenu* a = find(rootOnes.get(), "A")->menu();
        QVERIFY(a);
        QCOMPARE(titles(a), (QStringList{"Into “A”", "", "Inner", "", "New Folder Here…"}));
        QVERIFY(find(a, "Into “A”")->isEnabled());
        QVERIFY(find(rootOnes.get(), "Empty")->isEnabled());

        std::unique_ptr<QMenu> inA(m_menus->moveMenu({byName("Screenshot d.png")}));
        QVERIFY(inA->actions().first()->isEnabled());
        QVERIFY(!find(find(inA.get(), "A")->menu(), "Into “A”")->isEnabled());
    }

    // A new folder made with frames moves them and says so with the move toast;
    // without frames it toasts the creation; a folder that cannot be made says why.
    void newFolder() {
        m_host->answers = {QStringLiteral("  Receipts  ")};
        m_menus->newFolderPrompt({byName("Screenshot a.png"), byName("Screenshot b.png")});
        QCOMPARE(m_host->asked.last(),
                 QStringLiteral("New Folder|The 2 selected frames will move into it.|"));
        QVERIFY(QFile::exists(m_root + "/Receipts/Screenshot a.png"));
        QCOMPARE(m_host->toasts.last(), QStringLiteral("Moved 2 frames to “Receipts” [Undo]"));

        m_host->answers = {QStringLiteral("Later")};
        m_menus->newFolderPrompt({}, m_root + "/A");
        QCOMPARE(m_host->asked.last(), QStringLiteral("New Folder|It goes inside “A”.|"));
        QCOMPARE(m_host->toasts.last(), QStringLiteral("Created “Later”"));
        QVERIFY(QFileInfo(m_root + "/A/Later").isDir());

        // A refused name is said under the field and the prompt stays for
        // another try.
        m_host->answers = {QStringLiteral(".hidden"), QStringLiteral("Shown")};
        m_menus->newFolderPrompt({});
        QVERIFY(QFileInfo(m_root + "/Shown").isDir());
        QVERIFY(!QFileInfo::exists(m_root + "/.hidden"));
        m_host->answers = {QStringLiteral("Nowhere")};
        m_menus->newFolderPrompt({}, m_root + "/Missing/Deeper");
        QCOMPARE(m_host->problems,
                 (QStringList{"A name can't start with a dot", "The folder it goes in is gone"}));
        const int toasts = m_host->toasts.size();
        m_menus->newFolderPrompt({}); // cancelled
        QCOMPARE(m_host->toasts.size(), toasts);
    }

    // Renaming the scope's folder, or a folder above it, keeps the nested scope
    // under its new path; a sibling whose name merely starts alike keeps its own.
    void renameFolderFollowsTheScope_data() {
        QTest::addColumn<QString>("scope");
        QTest::addColumn<QString>("expected");
        QTest::newRow("the folder") << "/A"
                                    << "/Renamed";
        QTest::newRow("inside it") << "/A/Inner"
                                   << "/Renamed/Inner";
        QTest::newRow("a sibling") << "/AB"
                                   << "/AB";
    }
    void renameFolderFollowsTheScope() {
        QFETCH(QString, scope);
        QFETCH(QString, expected);
        QDir().mkpath(m_root + "/AB");
        m_host->current = Scope::folder(m_root + scope);
        m_host->answers = {QStringLiteral("Renamed")};
        m_menus->renameFolder(m_root + "/A");
        QCOMPARE(m_host->asked.last(), QStringLiteral("Rename Folder|A|A"));
        QCOMPARE(m_host->current.path(), m_root + expected);
    }

    // The folder trash confirmation counts the frames; cancelling keeps the folder.
    void trashFolderTexts() {
        m_host->confirmations = {false, true};
        m_menus->trashFolder(m_root + "/Empty");
        QCOMPARE(m_host->asked.last(),
                 QStringLiteral("Move “Empty” to the Trash?|The folder is empty."));
        QVERIFY(QFileInfo(m_root + "/Empty").isDir());
        m_menus->trashFolder(m_root + "/A");
        QCOMPARE(m_host->asked.last(),
                 QStringLiteral("Move “A” to the Trash?|It contains 2 frames. You can undo with "
                                "Ctrl+Z."));
        QVERIFY(!QFileInfo::exists(m_root + "/A"));
        QCOMPARE(m_host->toasts.last(), QStringLiteral("Moved folder to Trash [Undo]"));
        m_host->toastAction();
        QVERIFY(QFileInfo(m_root + "/A/Screenshot d.png").isFile());
    }

    // A frame rename that the library refuses (the name is taken) says so
    // and asks again; a cancelled one does nothing.
    void renameFrame() {
        const ShotPtr b = byName("Screenshot b.png");
        m_host->answers = {QStringLiteral("Screenshot a"), QStringLiteral("Kept")};
        m_menus->rename(b);
        QCOMPARE(m_host->asked.last(),
                 QStringLiteral("Rename Frame|Screenshot b.png|Screenshot b"));
        QCOMPARE(m_host->problems, QStringList{"That name is taken"});
        QVERIFY(QFile::exists(m_root + "/Kept.png"));
        m_menus->rename(byName("Kept.png")); // cancelled
        QVERIFY(QFile::exists(m_root + "/Kept.png"));
    }

    // Frames dropped on a chip are the dragged ones and move with the move toast.
    void dropMovesTheDraggedFrames() {
        m_host->dragged = {byName("Screenshot c.png")};
        m_menus->dropSelection(m_root + "/Empty");
        QVERIFY(QFile::exists(m_root + "/Empty/Screenshot c.png"));
        QCOMPARE(m_host->toasts.last(), QStringLiteral("Moved to “Empty” [Undo]"));
    }

    // An open menu holds the panel; the hold ends on the next turn of the event
    // loop after it closes, so the chosen command runs while still held, also
    // when its owner deletes the menu right after it closed (as a chip does).
    void menusHoldThePanel() {
        std::unique_ptr<QMenu> menu(m_menus->gridMenu({byName("Screenshot a.png")}));
        emit menu->aboutToShow();
        QCOMPARE(m_host->holds, 1);
        emit menu->aboutToHide();
        QCOMPARE(m_host->holds, 1);
        menu.reset();
        QTRY_COMPARE(m_host->holds, 0);
    }

private:
    ShotPtr byName(const QString& name) {
        for (const ShotPtr& s : m_lib->all())
            if (QFileInfo(s->path).fileName() == name)
                return s;
        qFatal("no shot %s", qPrintable(name));
    }

    QTemporaryDir m_dir;
    QString m_root;
    std::unique_ptr<Library> m_lib;
    std::unique_ptr<FakeHost> m_host;
    std::unique_ptr<PanelMenus> m_menus;
};

TAMBERK_TEST(tst_PanelMenus)
#include "tst_PanelMenus.moc"
