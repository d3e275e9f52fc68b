#include "RealApp.h"
#include "TestEnv.h"
#include "X11Session.h"
#include "settings/Prefs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace realapp;

namespace {

int pngs(const QString& folder) {
    return int(QDir(folder).entryList({"*.png"}, QDir::Files).size());
}

// How many of the application's windows are on screen (a popped menu adds one).
int visibleWindows() {
    QByteArray out;
    X11Session::run("xdotool", {"search", "--onlyvisible", "--class", "tamberk"}, &out);
    return int(out.trimmed().isEmpty() ? 0 : out.trimmed().count('\n') + 1);
}

// Presses keys 80 ms apart: menus need the time to follow.
bool keys(const QStringList& names) {
    return X11Session::xdotool(QStringList{"key", "--delay", "80"} + names);
}

bool waitFor(const std::function<bool()>& done) {
    return QTest::qWaitFor(done, 10000);
}

bool waitMenu(int before) {
    return waitFor([&] { return visibleWindows() > before; });
}

} // namespace

// Walks the real application's menus and prompts by keyboard, as a person
// would: a menu once freed itself under a command that opened a dialog; under
// AddressSanitizer any such use after free ends the application.
class tst_MenuWalk : public QObject {
    Q_OBJECT

    QString m_root;
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<RealApp> m_app;

    // Opens the frame menu of the selection from the keyboard and chooses
    // the row `row` (1-based, separators and disabled rows skipped).
    bool frameMenuRow(int row, const QStringList& then = {"Return"}) {
        const int before = visibleWindows();
        if (!keys({"Menu"}) || !waitMenu(before)) {
            // What was on screen instead, for whoever reads the failure.
            X11Session::run("import",
                            {"-window", "root", QDir::tempPath() + "/tamberk-menuwalk.png"});
            return false;
        }
        return keys(QStringList(row, "Down") + then);
    }
    // Clicks `button` at `x`, `y` and waits for the menu it opens.
    bool menuAt(int x, int y, const char* button = "1") {
        // The card takes the pointer once its pointer check has seen it come.
        if (!X11Session::xdotool({"mousemove", QString::number(x), QString::number(y)}))
            return false;
        QTest::qWait(300);
        const int before = visibleWindows();
        return X11Session::xdotool({"click", button}) && waitMenu(before);
    }
    // Types `name` into the prompt `title` and confirms, or cancels without one.
    bool answerPrompt(const QString& title, const QString& name) {
        return waitFor([&] { return mapped(title); }) &&
               (name.isEmpty() || X11Session::xdotool({"type", "--delay", "40", name})) &&
               keys({name.isEmpty() ? "Escape" : "Return"}) &&
               waitFor([&] { return !mapped(title); });
    }
    bool openWithKeyboard() {
        return keys({"ctrl+alt+s"}) && waitFor([] { return expanded() && panelMapped(); });
    }
    // Selects the first `n` frames from the keyboard.
    bool selectFirst(int n) {
        return keys(QStringList{"Home"} + QStringList(n - 1, "shift+Down")) &&
               waitFor([&] { return state().value("selected").toInt() == n; });
    }

private slots:
    void init() {
        m_env = std::make_unique<TestEnv>();
        m_root = m_env->mkdir("Pictures/Screenshots");
        m_env->mkdir("Pictures/Screenshots/Work/Deep");
        for (int i = 1; i <= 6; ++i)
            setModified(writeFile(m_root + QStringLiteral("/Screenshot %1.png").arg(i),
                                  pngBytes(1280, 800)),
                        1.7e9 + i * 60);
        Prefs& prefs = Prefs::shared();
        prefs.set(Key::launched, true);
        prefs.set(Key::reveal, false); // the pointer on the tab must not open the panel
        prefs.set(Key::ocr, false);    // no "Copy Text" row coming and going
        prefs.set(Key::scope, QStringLiteral("all"));
        m_app = std::make_unique<RealApp>();
        // No opener or mail tool, as on a bare desktop: a real one's windows would take the keys.
        const QString bin = m_env->mkdir("bin");
        for (const QString tool : {"xdg-open", "xdg-email"})
            QFile::setPermissions(writeFile(bin + '/' + tool, "#!/bin/sh\nexit 3\n"),
                                  QFile::ReadOwner | QFile::ExeOwner);
        m_app->env.insert("PATH", bin + ":" + qEnvironmentVariable("PATH"));
        QVERIFY(m_app->started());
        QTRY_COMPARE_WITH_TIMEOUT(state().value("shown").toInt(), 6, 10000);
    }
    void cleanup() {
        // Whatever the walk did, the application still runs and quits cleanly:
        // a use after free under a menu's command ends it under the sanitizer.
        QVERIFY(m_app->running());
        QCOMPARE(tamberk({"--quit"}).code, 0);
        QVERIFY(QTest::qWaitFor([&] { return !m_app->running(); }, 20000));
        QCOMPARE(m_app->process().exitCode(), 0);
        m_app.reset();
        m_env.reset();
    }

    // Every row of the frame menu for one frame and for two, each prompt
    // confirmed and cancelled; the files show it.
    void frameMenu() {
        QVERIFY(openWithKeyboard());
        QVERIFY(selectFirst(1));
        QVERIFY(frameMenuRow(4)); // Copy Path
        QTRY_VERIFY_WITH_TIMEOUT(X11Session::clipboard("UTF8_STRING").endsWith(".png"), 10000);
        QVERIFY(frameMenuRow(3)); // Copy Image
        QTRY_VERIFY_WITH_TIMEOUT(X11Session::clipboard("TARGETS").contains("text/uri-list"), 10000);
        QVERIFY(frameMenuRow(1)); // Open: no application in this session, said in a toast
        const int windows = visibleWindows();
        QVERIFY(frameMenuRow(2)); // Preview
        QTRY_VERIFY_WITH_TIMEOUT(visibleWindows() > windows, 10000);
        QVERIFY(keys({"Escape"}));
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(), windows, 10000);
        QVERIFY(frameMenuRow(8)); // Show in File Manager: none here, said in a toast
        QVERIFY(frameMenuRow(5, {"Right", "Up", "Return"})); // Share ▸ Email…, its last row

        QVERIFY(frameMenuRow(7)); // Rename…, cancelled
        QVERIFY(answerPrompt("Rename Frame", {}));
        QCOMPARE(pngs(m_root), 6);
        QVERIFY(selectFirst(1));
        QVERIFY(frameMenuRow(7)); // Rename…, confirmed
        QVERIFY(answerPrompt("Rename Frame", "Renamed"));
        QVERIFY(QFileInfo::exists(m_root + "/Renamed.png"));

        QVERIFY(selectFirst(1));
        QVERIFY(frameMenuRow(9)); // Move to Trash, cancelled at its confirmation
        QVERIFY(answerPrompt("Move to Trash", {}));
        QCOMPARE(pngs(m_root), 6);
        QVERIFY(selectFirst(1));
        QVERIFY(frameMenuRow(9));
        QVERIFY(waitFor([] { return mapped("Move to Trash"); }));
        QVERIFY(keys({"Return"}));
        QTRY_COMPARE_WITH_TIMEOUT(pngs(m_root), 5, 10000);
        QCOMPARE(pngs(m_env->dataHome() + "/Trash/files"), 1);

        // Move to ▸ Work ▸ Deep: the root is disabled (the frame is there),
        // so Right lands on Work, whose own first row is Work itself.
        QVERIFY(selectFirst(1));
        QVERIFY(frameMenuRow(6, {"Right", "Right", "Down", "Return"}));
        QTRY_COMPARE_WITH_TIMEOUT(pngs(m_root + "/Work/Deep"), 1, 10000);

        // Two frames: Copy Paths, and Move to ▸ New Folder… cancelled and confirmed.
        QVERIFY(selectFirst(2));
        QVERIFY(frameMenuRow(4)); // Copy Paths
        QTRY_COMPARE_WITH_TIMEOUT(X11Session::clipboard("UTF8_STRING").count('\n'), 1, 10000);
        QVERIFY(frameMenuRow(6, {"Right", "Up", "Return"}));
        QVERIFY(answerPrompt("New Folder", {}));
        QTRY_COMPARE_WITH_TIMEOUT(state().value("selected").toInt(), 2, 10000); // kept
        QVERIFY(frameMenuRow(6, {"Right", "Up", "Return"}));
        QVERIFY(answerPrompt("New Folder", "Batch"));
        QTRY_COMPARE_WITH_TIMEOUT(pngs(m_root + "/Batch"), 2, 10000);
    }

    // The selection bar's Move menu and its New Folder…, its Share menu, and
    // the tab's menu with its New Folder…
    void barAndTabMenus() {
        QVERIFY(openWithKeyboard());
        QVERIFY(selectFirst(1));
        // The bar sits at the top of the card at the right edge: Move, Copy,
        // Share, Trash, Close from the left.
        QVERIFY(menuAt(1290, 29));
        QVERIFY(keys({"Up", "Return"}));
        QVERIFY(answerPrompt("New Folder", "FromBar"));
        QTRY_COMPARE_WITH_TIMEOUT(pngs(m_root + "/FromBar"), 1, 10000);
        QVERIFY(selectFirst(1));
        QVERIFY(menuAt(1346, 29));
        QVERIFY(keys({"Escape"}));

        QCOMPARE(tamberk({"--hide"}).code, 0);
        QVERIFY(waitFor([] { return !expanded() && !panelMapped(); }));
        QVERIFY(menuAt(1437, 450, "3"));
        QVERIFY(keys({"Down", "Down", "Down", "Return"})); // New Folder…
        QVERIFY(answerPrompt("New Folder", "FromTab"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(m_root + "/FromTab").isDir(), 10000);
    }
};

TAMBERK_TEST(tst_MenuWalk)
#include "tst_MenuWalk.moc"
