#include "Stubs.h"
#include "TestEnv.h"
#include "platform/ProcessProbe.h"
#include "settings/SystemCapture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QUrl>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString fileUrl(const QString& path) {
    return QUrl::fromLocalFile(path).toString();
}

// Waits for a write to finish: its completion runs on the main thread.
bool settle(const std::function<void(std::function<void()>)>& start) {
    bool done = false;
    bool onMain = false;
    start([&] {
        done = true;
        onMain = QThread::currentThread() == QCoreApplication::instance()->thread();
    });
    if (!QTest::qWaitFor([&] { return done; }, 20000))
        return false;
    return onMain;
}

} // namespace

class tst_SystemCapture : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_desktop = qgetenv("XDG_CURRENT_DESKTOP");
        m_running.clear();
        ProcessProbe::setProbeForTesting(
            [this](const QString& name) { return m_running.contains(name); });
    }
    void cleanup() {
        ProcessProbe::setProbeForTesting({});
        if (m_desktop.isNull())
            qunsetenv("XDG_CURRENT_DESKTOP");
        else
            qputenv("XDG_CURRENT_DESKTOP", m_desktop);
    }

    // A running flameshot or ksnip wins; then the desktop names its tool;
    // GNOME uses gnome-screenshot only when its save folder is set.
    void detection_data() {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<QString>("autoSave"); // gsettings output; empty: no schema
        QTest::addColumn<QStringList>("tools");
        QTest::addColumn<QString>("expected");
        QTest::newRow("flameshot over KDE") << "KDE" << QStringList{"flameshot"} << ""
                                            << QStringList{"kwriteconfig6"} << "flameshot";
        QTest::newRow("ksnip over GNOME")
            << "GNOME" << QStringList{"ksnip"} << "" << QStringList{} << "ksnip";
        QTest::newRow("flameshot over ksnip")
            << "" << QStringList{"ksnip", "flameshot"} << "" << QStringList{} << "flameshot";
        QTest::newRow("KDE, Plasma 6")
            << "KDE" << QStringList{} << "" << QStringList{"kwriteconfig6", "kwriteconfig5"}
            << "KDE Plasma 6 (Spectacle)";
        QTest::newRow("KDE, Plasma 5")
            << "KDE" << QStringList{} << "" << QStringList{"kwriteconfig5"}
            << "KDE Plasma 5 (Spectacle)";
        QTest::newRow("GNOME shell")
            << "ubuntu:GNOME" << QStringList{} << "" << QStringList{} << "gnome-shell";
        QTest::newRow("GNOME, empty folder")
            << "GNOME" << QStringList{} << "''" << QStringList{} << "gnome-shell";
        QTest::newRow("GNOME, gnome-screenshot")
            << "GNOME" << QStringList{} << "'/tmp'" << QStringList{} << "gnome-screenshot";
        QTest::newRow("Xfce") << "XFCE" << QStringList{} << "" << QStringList{}
                              << "xfce4-screenshooter";
        QTest::newRow("other desktop")
            << "sway" << QStringList{} << "" << QStringList{} << "generic";
        QTest::newRow("no desktop") << "" << QStringList{} << "" << QStringList{} << "generic";
    }
    void detection() {
        QFETCH(QString, desktop);
        QFETCH(QStringList, running);
        QFETCH(QString, autoSave);
        QFETCH(QStringList, tools);
        QFETCH(QString, expected);
        TestEnv env;
        Stubs stubs;
        stubs.addGsettings();
        if (!autoSave.isEmpty())
            stubs.setGsetting("org.gnome.gnome-screenshot", "auto-save-directory", autoSave);
        for (const QString& tool : tools)
            stubs.add(tool);
        qputenv("XDG_CURRENT_DESKTOP", desktop.toUtf8());
        m_running = running;
        const auto backend = SystemCapture::detect();
        QVERIFY(backend->id() == expected || backend->toolName() == expected);
        QCOMPARE(SystemCapture::toolName(), backend->toolName());
    }

    // Without a tool folder, screenshots go to XDG Pictures + "Screenshots",
    // which is created on first use; the user's Pictures folder is honoured.
    void genericFallback() {
        TestEnv env;
        Stubs stubs;
        qunsetenv("XDG_CURRENT_DESKTOP");
        const QString expected = env.home() + QStringLiteral("/Pictures/Screenshots");
        QVERIFY(!QFile::exists(expected));
        QCOMPARE(SystemCapture::location(), expected);
        QVERIFY(QFileInfo(expected).isDir());
        QCOMPARE(SystemCapture::type(), QStringLiteral("png"));
        QVERIFY(SystemCapture::showThumbnail());
        QVERIFY(!SystemCapture::disableShadow());
        QVERIFY(!SystemCapture::namePrefix());
        QVERIFY(!SystemCapture::writable());

        writeFile(env.configHome() + QStringLiteral("/user-dirs.dirs"),
                  "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
        QCOMPARE(SystemCapture::location(), env.home() + QStringLiteral("/Bilder/Screenshots"));
    }

    // A tool that keeps nothing writable changes nothing and still reports.
    void gnomeShellIsReadOnly() {
        TestEnv env;
        Stubs stubs;
        stubs.addGsettings();
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        const QString before = SystemCapture::location();
        QCOMPARE(before, env.home() + QStringLiteral("/Pictures/Screenshots"));
        QVERIFY(SystemCapture::disableShadow());
        QCOMPARE(SystemCapture::namePrefix(), QStringLiteral("Screenshot from "));
        QVERIFY(!SystemCapture::writable());
        stubs.clearCalls();
        QVERIFY(settle([&](auto done) {
            SystemCapture::setLocation(env.mkdir(QStringLiteral("Elsewhere")), done);
        }));
        QVERIFY(settle([&](auto done) { SystemCapture::setShowThumbnail(false, done); }));
        QCOMPARE(stubs.writes(), QList<QStringList>{});
        QCOMPARE(SystemCapture::location(), before);
        QVERIFY(SystemCapture::showThumbnail());
        const QString videos = env.mkdir(QStringLiteral("Videos/Screencasts"));
        QCOMPARE(SystemCapture::recordingLocation(), videos);
    }

    // gnome-screenshot's folder may be a path, a "~/" path or a file:// URL,
    // and is written with gsettings as a quoted URL.
    void gnomeScreenshot() {
        TestEnv env;
        Stubs stubs;
        stubs.addGsettings();
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        const QString schema = QStringLiteral("org.gnome.gnome-screenshot");
        const QString shots = env.mkdir(QStringLiteral("My Shots"));
        stubs.setGsetting(schema, "auto-save-directory", "'~/My Shots'");
        stubs.setGsetting(schema, "default-file-type", "'JPEG'");
        QCOMPARE(SystemCapture::detect()->id(), QStringLiteral("gnome-screenshot"));
        QCOMPARE(SystemCapture::location(), shots);
        QCOMPARE(SystemCapture::type(), QStringLiteral("jpg"));
        stubs.setGsetting(schema, "auto-save-directory", "'" + fileUrl(shots) + "'");
        QCOMPARE(SystemCapture::location(), shots);
        // A folder that is gone falls back.
        stubs.setGsetting(schema, "auto-save-directory", "'/nowhere/at/all'");
        QCOMPARE(SystemCapture::location(), env.home() + QStringLiteral("/Pictures/Screenshots"));

        const QString odd = env.mkdir(QStringLiteral("Bob's 100% shots"));
        stubs.clearCalls();
        QVERIFY(SystemCapture::writable());
        QVERIFY(settle([&](auto done) { SystemCapture::setLocation(odd, done); }));
        QCOMPARE(stubs.writes(),
                 (QList<QStringList>{{"gsettings", "set", schema, "auto-save-directory",
                                      "'file://" + env.home() + "/Bob\\'s%20100%25%20shots'"}}));
        QVERIFY(SystemCapture::matches(odd));

        stubs.clearCalls();
        QVERIFY(settle([&](auto done) { SystemCapture::setType(QStringLiteral("JPEG"), done); }));
        QCOMPARE(stubs.writes(),
                 (QList<QStringList>{{"gsettings", "set", schema, "default-file-type", "'jpg'"}}));
    }

    // Spectacle (Plasma 6) reads spectaclerc and is written with kwriteconfig6.
    void spectaclePlasma6() {
        TestEnv env;
        Stubs stubs;
        stubs.add(QStringLiteral("kwriteconfig6"));
        qputenv("XDG_CURRENT_DESKTOP", "KDE");
        const QString shots = env.mkdir(QStringLiteral("Caps"));
        const QString videos = env.mkdir(QStringLiteral("Clips"));
        writeFile(env.configHome() + QStringLiteral("/spectaclerc"),
                  "[General]\nlaunchAction=UseLastUsedCapturemode\n\n"
                  "[GuiConfig]\nincludeShadow=false\n\n"
                  "[ImageSave]\nimageSaveLocation=" +
                      fileUrl(shots).toUtf8() +
                      "/\n"
                      "preferredImageFormat=JPEG\nimageFilenameTemplate=Cap-<yyyy><MM>\n\n"
                      "[VideoSave]\nvideoSaveLocation=" +
                      fileUrl(videos).toUtf8() + "\n");
        QCOMPARE(SystemCapture::location(), shots);
        QCOMPARE(SystemCapture::recordingLocation(), videos);
        QCOMPARE(SystemCapture::type(), QStringLiteral("jpg"));
        QVERIFY(SystemCapture::disableShadow());
        QVERIFY(SystemCapture::showThumbnail());
        QCOMPARE(SystemCapture::namePrefix(), QStringLiteral("Cap-"));
        QVERIFY(SystemCapture::writable());

        const QString target = env.mkdir(QStringLiteral("Target"));
        const QStringList head{"kwriteconfig6", "--file", "spectaclerc", "--group"};
        QVERIFY(settle([&](auto done) { SystemCapture::setLocation(target, done); }));
        QVERIFY(settle([&](auto done) { SystemCapture::setDisableShadow(false, done); }));
        QVERIFY(settle([&](auto done) { SystemCapture::setType(QStringLiteral("png"), done); }));
        QCOMPARE(stubs.calls(),
                 (QList<QStringList>{
                     head + QStringList{"ImageSave", "--key", "imageSaveLocation", fileUrl(target)},
                     head + QStringList{"VideoSave", "--key", "videoSaveLocation", fileUrl(target)},
                     head + QStringList{"GuiConfig", "--key", "includeShadow", "true"},
                     head + QStringList{"ImageSave", "--key", "preferredImageFormat", "PNG"},
                 }));
    }

    // Plasma 5's Spectacle keeps the same settings under other names.
    void spectaclePlasma5() {
        TestEnv env;
        Stubs stubs;
        stubs.add(QStringLiteral("kwriteconfig5"));
        qputenv("XDG_CURRENT_DESKTOP", "KDE");
        const QString shots = env.mkdir(QStringLiteral("Caps"));
        writeFile(env.configHome() + QStringLiteral("/spectaclerc"),
                  "[Save]\ndefaultSaveLocation=" + fileUrl(shots).toUtf8() +
                      "\ndefaultSaveImageFormat=png\nsaveFilenameFormat=Shot %Y-%M\n");
        QCOMPARE(SystemCapture::location(), shots);
        QCOMPARE(SystemCapture::namePrefix(), QStringLiteral("Shot "));
        QVERIFY(!SystemCapture::disableShadow());
        const QString target = env.mkdir(QStringLiteral("Target"));
        QVERIFY(settle([&](auto done) { SystemCapture::setLocation(target, done); }));
        QCOMPARE(stubs.calls(),
                 (QList<QStringList>{{"kwriteconfig5", "--file", "spectaclerc", "--group", "Save",
                                      "--key", "defaultSaveLocation", fileUrl(target)}}));
    }

    // Flameshot's INI file is read and edited in place, other keys kept.
    void flameshot() {
        TestEnv env;
        Stubs stubs;
        m_running = QStringList{QStringLiteral("flameshot")};
        const QString ini = env.configHome() + QStringLiteral("/flameshot/flameshot.ini");
        const QString shots = env.mkdir(QStringLiteral("Flames"));
        writeFile(ini, "[General]\nsavePath=" + shots.toUtf8() +
                           "\nsaveAsFileExtension=.JPG\nuiColor=#ff0000\n"
                           "showDesktopNotification=false\n\n[Shortcuts]\nTYPE_COPY=Ctrl+C\n");
        QCOMPARE(SystemCapture::toolName(), QStringLiteral("Flameshot"));
        QCOMPARE(SystemCapture::location(), shots);
        QCOMPARE(SystemCapture::type(), QStringLiteral("jpg"));
        QVERIFY(!SystemCapture::showThumbnail());
        QVERIFY(!SystemCapture::disableShadow());
        // The default pattern "%F_%H-%M" has no prefix.
        QVERIFY(!SystemCapture::namePrefix());

        const QString target = env.mkdir(QStringLiteral("Target"));
        QVERIFY(settle([&](auto done) { SystemCapture::setLocation(target, done); }));
        QVERIFY(settle([&](auto done) { SystemCapture::setShowThumbnail(true, done); }));
        QVERIFY(settle([&](auto done) { SystemCapture::setType(QStringLiteral("png"), done); }));
        QVERIFY(settle([&](auto done) { SystemCapture::setDisableShadow(true, done); }));
        QCOMPARE(stubs.calls(), QList<QStringList>{});
        QSettings written(ini, QSettings::IniFormat);
        QCOMPARE(written.value("savePath").toString(), target);
        QCOMPARE(written.value("savePathFixed").toString(), QStringLiteral("true"));
        QCOMPARE(written.value("showDesktopNotification").toString(), QStringLiteral("true"));
        QCOMPARE(written.value("saveAsFileExtension").toString(), QStringLiteral(".png"));
        QCOMPARE(written.value("uiColor").toString(), QStringLiteral("#ff0000"));
        QCOMPARE(written.value("Shortcuts/TYPE_COPY").toString(), QStringLiteral("Ctrl+C"));
        QVERIFY(SystemCapture::matches(target));

        writeFile(ini, "[General]\nfilenamePattern=shot_%F\n");
        QCOMPARE(SystemCapture::namePrefix(), QStringLiteral("shot_"));
    }

    // ksnip keeps its folder, format and name pattern under [Application].
    void ksnip() {
        TestEnv env;
        Stubs stubs;
        m_running = QStringList{QStringLiteral("ksnip")};
        const QString ini = env.configHome() + QStringLiteral("/ksnip/ksnip.conf");
        QCOMPARE(SystemCapture::namePrefix(), QStringLiteral("ksnip_"));
        const QString target = env.mkdir(QStringLiteral("Snips"));
        QVERIFY(settle([&](auto done) { SystemCapture::setLocation(target, done); }));
        QCOMPARE(SystemCapture::location(), target);
        QCOMPARE(QSettings(ini, QSettings::IniFormat).value("Application/SaveDirectory").toString(),
                 target);
        writeFile(ini, "[Application]\nSaveFormat=JPEG\nSaveFilename=cap-$Y\n");
        QCOMPARE(SystemCapture::type(), QStringLiteral("jpg"));
        QCOMPARE(SystemCapture::namePrefix(), QStringLiteral("cap-"));
    }

    // xfce4-screenshooter's rc file is edited line by line: only the folder
    // line changes.
    void xfceScreenshooter() {
        TestEnv env;
        Stubs stubs;
        qputenv("XDG_CURRENT_DESKTOP", "XFCE");
        const QString rc = env.configHome() + QStringLiteral("/xfce4/xfce4-screenshooter");
        QCOMPARE(SystemCapture::namePrefix(), QStringLiteral("Screenshot"));
        const QString shots = env.mkdir(QStringLiteral("Xf"));
        const QByteArray head = "app=ristretto\ndelay=0\n";
        const QByteArray tail = "\nlast_extension=JPG\ntitle=Capture\nshow_mouse=1\n";
        writeFile(rc, head + "screenshot_dir=" + fileUrl(shots).toUtf8() + tail);
        QCOMPARE(SystemCapture::location(), shots);
        QCOMPARE(SystemCapture::type(), QStringLiteral("jpg"));
        QCOMPARE(SystemCapture::namePrefix(), QStringLiteral("Capture"));

        const QString target = env.mkdir(QStringLiteral("New Place"));
        QVERIFY(settle([&](auto done) { SystemCapture::setLocation(target, done); }));
        QCOMPARE(readAll(rc), head + "screenshot_dir=file://" + QFile::encodeName(env.home()) +
                                  "/New%20Place" + tail);
        QVERIFY(SystemCapture::matches(target));
        QCOMPARE(stubs.calls(), QList<QStringList>{});
    }

    // The location matches a folder named through a symbolic link.
    void matchesThroughLinks() {
        TestEnv env;
        Stubs stubs;
        qunsetenv("XDG_CURRENT_DESKTOP");
        const QString real = SystemCapture::location();
        QVERIFY(QFile::link(real, env.home() + QStringLiteral("/link")));
        QVERIFY(SystemCapture::matches(env.home() + QStringLiteral("/link")));
        QVERIFY(SystemCapture::matches(real + QStringLiteral("/")));
        QVERIFY(!SystemCapture::matches(env.home()));
        QVERIFY(!SystemCapture::matches(env.home() + QStringLiteral("/missing")));
    }

    // run returns the exit status, -1 for a program that cannot start; a
    // write runs its steps in order and then its completion on the main thread.
    void runAndWrite() {
        TestEnv env;
        Stubs stubs;
        stubs.add(QStringLiteral("fails"), "exit 3\n");
        stubs.add(QStringLiteral("chatty"), "echo out; echo err >&2; exit 0\n");
        QCOMPARE(SystemCapture::run(QStringLiteral("fails"), {QStringLiteral("x y")}), 3);
        QCOMPARE(SystemCapture::run(QStringLiteral("chatty"), {}), 0);
        QCOMPARE(SystemCapture::run(QStringLiteral("no-such-program"), {}), -1);
        QCOMPARE(stubs.calls(), (QList<QStringList>{{"fails", "x y"}, {"chatty"}}));

        stubs.clearCalls();
        QList<CaptureStep> steps;
        for (int i = 0; i < 5; ++i)
            steps.append(CaptureStep::command(QStringLiteral("fails"), {QString::number(i)}));
        QVERIFY(settle([&](auto done) { SystemCapture::write(steps, done); }));
        QCOMPARE(
            stubs.calls(),
            (QList<QStringList>{
                {"fails", "0"}, {"fails", "1"}, {"fails", "2"}, {"fails", "3"}, {"fails", "4"}}));
    }

    // The real gsettings (with a private schema and the key-file backend)
    // accepts the command line gnome-screenshot's backend writes.
    void realGsettingsRoundTrip() {
        const QString compiler = QStandardPaths::findExecutable("glib-compile-schemas");
        const QString gsettings = QStandardPaths::findExecutable("gsettings");
        if (compiler.isEmpty() || gsettings.isEmpty())
            QSKIP("gsettings or glib-compile-schemas is not installed");
        TestEnv env;
        const QString schemas = env.mkdir(QStringLiteral("schemas"));
        writeFile(schemas + QStringLiteral("/org.gnome.gnome-screenshot.gschema.xml"),
                  "<schemalist><schema id='org.gnome.gnome-screenshot' "
                  "path='/org/gnome/gnome-screenshot/'>"
                  "<key name='auto-save-directory' type='s'><default>''</default></key>"
                  "<key name='default-file-type' type='s'><default>'png'</default></key>"
                  "</schema></schemalist>");
        QCOMPARE(QProcess::execute(compiler, {schemas}), 0);
        qputenv("GSETTINGS_SCHEMA_DIR", QFile::encodeName(schemas));
        qputenv("GSETTINGS_BACKEND", "keyfile");
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        const QString odd = env.mkdir(QStringLiteral("Bob's \"odd\" \\ folder"));
        QCOMPARE(SystemCapture::detect()->id(), QStringLiteral("gnome-shell"));
        // gnome-shell is not writable; drive gnome-screenshot's steps directly.
        SystemCapture::apply(
            CaptureStep::command(gsettings, {"set", "org.gnome.gnome-screenshot",
                                             "auto-save-directory", "'~/Pictures'"}));
        env.mkdir(QStringLiteral("Pictures"));
        const auto backend = SystemCapture::detect();
        QCOMPARE(backend->id(), QStringLiteral("gnome-screenshot"));
        for (const CaptureStep& step : backend->locationSteps(odd))
            QVERIFY(SystemCapture::apply(step));
        for (const CaptureStep& step : backend->typeSteps(QStringLiteral("jpeg")))
            QVERIFY(SystemCapture::apply(step));
        QCOMPARE(SystemCapture::location(), odd);
        QCOMPARE(SystemCapture::type(), QStringLiteral("jpg"));
        qunsetenv("GSETTINGS_SCHEMA_DIR");
        qunsetenv("GSETTINGS_BACKEND");
    }

private:
    QByteArray m_desktop;
    QStringList m_running;
};

TAMBERK_TEST(tst_SystemCapture)
#include "tst_SystemCapture.moc"
