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

// The number of PNG files directly in `folder`.
int pngs(const QString& folder) {
    return int(QDir(folder).entryList({QStringLiteral("*.png")}, QDir::Files).size());
}

QString clipboard(const QString& target) {
    QByteArray out;
    X11Session::run(QStringLiteral("xclip"),
                    {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                     QStringLiteral("-t"), target, QStringLiteral("-o")},
                    &out);
    return QString::fromUtf8(out);
}

QStringList downs(int n) {
    QStringList keys;
    for (int i = 0; i < n; ++i)
        keys << QStringLiteral("Down");
    return keys;
}

} // namespace

// Walks the real application's menus and prompts by keyboard, as a person
// would. A menu whose command opens a dialog once freed itself under that
// command and took the process down after the dialog closed; the test build
// runs under AddressSanitizer, so any such use after free ends the run here.
class tst_MenuWalk : public QObject {
    Q_OBJECT

    QString m_root;
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<RealApp> m_app;

    // Still running and answering on the bus.
    bool alive() { return m_app->running() && !state().isEmpty(); }

    bool waitMenu(int before) {
        return QTest::qWaitFor([&] { return visibleWindows() > before; }, 10000);
    }
    bool waitWindow(const QString& title, bool shown = true) {
        return QTest::qWaitFor([&] { return windowShown(title) == shown; }, 10000);
    }
    bool waitSelected(int n) {
        return QTest::qWaitFor(
            [&] { return state().value(QStringLiteral("selected")).toInt() == n; }, 10000);
    }
    // Opens the frame menu of the selection from the keyboard and chooses
    // the row `row` (1-based, separators and disabled rows skipped).
    bool frameMenuRow(int row, const QStringList& then = {QStringLiteral("Return")}) {
        const int before = visibleWindows();
        if (!keys({QStringLiteral("Menu")}) || !waitMenu(before)) {
            // What was on screen instead, for whoever reads the failure.
            X11Session::screenshot(QDir::tempPath() + QStringLiteral("/tamberk-menuwalk.png"));
            return false;
        }
        return keys(downs(row) + then);
    }
    // Types a name into the prompt titled `title` and confirms it, or
    // cancels the prompt when `name` is empty.
    bool answerPrompt(const QString& title, const QString& name) {
        if (!waitWindow(title))
            return false;
        if (!name.isEmpty() && !X11Session::xdotool({"type", "--delay", "40", name}))
            return false;
        return keys({name.isEmpty() ? QStringLiteral("Escape") : QStringLiteral("Return")}) &&
               waitWindow(title, false);
    }
    bool openWithKeyboard() {
        if (!expanded() && !keys({QStringLiteral("ctrl+alt+s")}))
            return false;
        return QTest::qWaitFor([] { return expanded() && panelMapped(); }, 10000);
    }
    // Selects the first `n` frames from the keyboard.
    bool selectFirst(int n) {
        QStringList k{QStringLiteral("Home")};
        for (int i = 1; i < n; ++i)
            k << QStringLiteral("shift+Down");
        return keys(k) && waitSelected(n);
    }

private slots:
    void init() {
        X11_SESSION_REQUIRED();
        m_env = std::make_unique<TestEnv>();
        m_root = m_env->mkdir(QStringLiteral("Pictures/Screenshots"));
        m_env->mkdir(QStringLiteral("Pictures/Screenshots/Work/Deep"));
        for (int i = 1; i <= 6; ++i) {
            const QString path = writeFile(m_root + QStringLiteral("/Screenshot %1.png").arg(i),
                                           pngBytes(1280, 800));
            setModified(path, 1.7e9 + i * 60);
        }
        Prefs& prefs = Prefs::shared();
        prefs.set(Key::launched, true);
        prefs.set(Key::reveal, false); // the pointer on the tab must not open the panel
        prefs.set(Key::ocr, false);    // no "Copy Text" row coming and going
        prefs.set(Key::scope, QStringLiteral("all"));
        m_app = std::make_unique<RealApp>();
        // The desktop's opener and mail tool find no application here, as on
        // a bare desktop; a real one would open windows that take the keys.
        const QString bin = m_env->mkdir(QStringLiteral("bin"));
        for (const char* tool : {"xdg-open", "xdg-email"}) {
            const QString path =
                writeFile(bin + QLatin1Char('/') + QLatin1String(tool), "#!/bin/sh\nexit 3\n");
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
        }
        m_app->prependPath(bin);
        m_app->start();
        QVERIFY(QTest::qWaitFor([] { return state().contains(QStringLiteral("scope")); }, 30000));
        QTRY_COMPARE_WITH_TIMEOUT(state().value(QStringLiteral("shown")).toInt(), 6, 10000);
    }
    void cleanup() {
        // Whatever the walk left behind, the application quits cleanly.
        if (m_app && m_app->running()) {
            tamberk({QStringLiteral("--quit")});
            const bool ended = QTest::qWaitFor([&] { return !m_app->running(); }, 20000);
            const int code = m_app->process().exitCode();
            m_app.reset();
            m_env.reset();
            QVERIFY(ended);
            QCOMPARE(code, 0);
        }
        m_app.reset();
        m_env.reset();
    }

    // Every row of the frame menu for one frame, each prompt confirmed and
    // cancelled; the application answers after each and the files show it.
    void frameMenuForOne() {
        QVERIFY(openWithKeyboard());
        QVERIFY(selectFirst(1));
        QVERIFY(frameMenuRow(4)); // Copy Path
        QTRY_VERIFY_WITH_TIMEOUT(clipboard(QStringLiteral("UTF8_STRING")).endsWith(".png"), 10000);
        QVERIFY(frameMenuRow(3)); // Copy Image
        QTRY_VERIFY_WITH_TIMEOUT(clipboard(QStringLiteral("TARGETS")).contains("text/uri-list"),
                                 10000);
        QVERIFY(frameMenuRow(1)); // Open: no application in this session, said in a toast
        QVERIFY(alive());
        const int windows = visibleWindows();
        QVERIFY(frameMenuRow(2)); // Preview
        QTRY_VERIFY_WITH_TIMEOUT(visibleWindows() > windows, 10000);
        QVERIFY(keys({QStringLiteral("Escape")}));
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(), windows, 10000);
        QVERIFY(frameMenuRow(8)); // Show in File Manager: none here, said in a toast
        QVERIFY(alive());
        // Share ▸ Email…, the submenu's last row.
        QVERIFY(frameMenuRow(5, {"Right", "Up", "Return"}));
        QVERIFY(alive());

        QVERIFY(frameMenuRow(7)); // Rename…, cancelled
        QVERIFY(answerPrompt(QStringLiteral("Rename Frame"), {}));
        QVERIFY(alive());
        QCOMPARE(pngs(m_root), 6);
        QVERIFY(selectFirst(1));
        QVERIFY(frameMenuRow(7)); // Rename…, confirmed
        QVERIFY(answerPrompt(QStringLiteral("Rename Frame"), QStringLiteral("Renamed")));
        QVERIFY(alive());
        QVERIFY(QFileInfo::exists(m_root + "/Renamed.png"));

        QVERIFY(selectFirst(1));
        QVERIFY(frameMenuRow(9)); // Move to Trash, cancelled at its confirmation
        QVERIFY(answerPrompt(QStringLiteral("Move to Trash"), {}));
        QVERIFY(alive());
        QCOMPARE(pngs(m_root), 6);
        QVERIFY(selectFirst(1));
        QVERIFY(frameMenuRow(9));
        QVERIFY(waitWindow(QStringLiteral("Move to Trash")));
        QVERIFY(keys({QStringLiteral("Return")}));
        QTRY_COMPARE_WITH_TIMEOUT(pngs(m_root), 5, 10000);
        QCOMPARE(pngs(m_env->dataHome() + "/Trash/files"), 1);
        QVERIFY(alive());

        // Move to ▸ Work ▸ Deep: the root is disabled (the frame is there),
        // so Right lands on Work, whose own first row is Work itself.
        QVERIFY(selectFirst(1));
        QVERIFY(frameMenuRow(6, {"Right", "Right", "Down", "Return"}));
        QTRY_COMPARE_WITH_TIMEOUT(pngs(m_root + "/Work/Deep"), 1, 10000);
        QVERIFY(alive());
    }

    // Two frames: their menu's rows, and Move to ▸ New Folder… cancelled and
    // confirmed.
    void frameMenuForSeveral() {
        QVERIFY(openWithKeyboard());
        QVERIFY(selectFirst(2));
        QVERIFY(frameMenuRow(4)); // Copy Paths
        QTRY_COMPARE_WITH_TIMEOUT(clipboard(QStringLiteral("UTF8_STRING")).count('\n'), 1, 10000);
        QVERIFY(frameMenuRow(6, {"Right", "Up", "Return"}));
        QVERIFY(answerPrompt(QStringLiteral("New Folder"), {}));
        QVERIFY(alive());
        QVERIFY(waitSelected(2));
        QVERIFY(frameMenuRow(6, {"Right", "Up", "Return"}));
        QVERIFY(answerPrompt(QStringLiteral("New Folder"), QStringLiteral("Batch")));
        QTRY_COMPARE_WITH_TIMEOUT(pngs(m_root + "/Batch"), 2, 10000);
        QVERIFY(alive());
    }

    // The selection bar's Move menu and its New Folder…, its Share menu, and
    // the tab's menu with its New Folder…
    void barAndTabMenus() {
        QVERIFY(openWithKeyboard());
        QVERIFY(selectFirst(1));
        // The bar sits at the top of the card at the right edge: Move, Copy,
        // Share, Trash, Close from the left.
        QVERIFY(X11Session::xdotool({"mousemove", "1290", "29"}));
        QTest::qWait(300);
        int before = visibleWindows();
        QVERIFY(X11Session::xdotool({"click", "1"}));
        QVERIFY(waitMenu(before));
        QVERIFY(keys({"Up", "Return"}));
        QVERIFY(answerPrompt(QStringLiteral("New Folder"), QStringLiteral("FromBar")));
        QTRY_COMPARE_WITH_TIMEOUT(pngs(m_root + "/FromBar"), 1, 10000);
        QVERIFY(alive());

        QVERIFY(selectFirst(1));
        QVERIFY(X11Session::xdotool({"mousemove", "1346", "29"}));
        QTest::qWait(300);
        before = visibleWindows();
        QVERIFY(X11Session::xdotool({"click", "1"}));
        QVERIFY(waitMenu(before));
        QVERIFY(keys({"Escape"}));
        QVERIFY(alive());

        QCOMPARE(tamberk({QStringLiteral("--hide")}).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!expanded(), 10000);
        QVERIFY(X11Session::xdotool({"mousemove", "1437", "450"}));
        QTest::qWait(300);
        before = visibleWindows();
        QVERIFY(X11Session::xdotool({"click", "3"}));
        QVERIFY(waitMenu(before));
        QVERIFY(keys({"Down", "Down", "Down", "Return"})); // New Folder…
        QVERIFY(answerPrompt(QStringLiteral("New Folder"), QStringLiteral("FromTab")));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(m_root + "/FromTab").isDir(), 10000);
        QVERIFY(alive());
    }
};

TAMBERK_TEST(tst_MenuWalk)
#include "tst_MenuWalk.moc"
