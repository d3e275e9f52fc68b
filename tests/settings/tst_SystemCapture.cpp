#include "Stubs.h"
#include "TestEnv.h"
#include "platform/ProcessProbe.h"
#include "settings/SystemCapture.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QUrl>

namespace {

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
    return QTest::qWaitFor([&] { return done; }, 20000) && onMain;
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
        qunsetenv("GSETTINGS_SCHEMA_DIR");
        qunsetenv("GSETTINGS_BACKEND");
        if (m_desktop.isNull())
            qunsetenv("XDG_CURRENT_DESKTOP");
        else
            qputenv("XDG_CURRENT_DESKTOP", m_desktop);
    }

    // A running flameshot or ksnip wins; then the desktop names its tool;
    // GNOME uses gnome-screenshot only when its save folder is set.
    void detection_data() {
        // Desktop, running tools, gsettings' folder (empty: no schema), tools on PATH.
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ksnip over GNOME") << QStringList{"GNOME", "ksnip", "", ""} << "ksnip";
        QTest::newRow("flameshot over ksnip")
            << QStringList{"", "ksnip flameshot", "", ""} << "flameshot";
        QTest::newRow("KDE, Plasma 6") << QStringList{"KDE", "", "", "kwriteconfig6 kwriteconfig5"}
                                       << "KDE Plasma 6 (Spectacle)";
        QTest::newRow("KDE, Plasma 5")
            << QStringList{"KDE", "", "", "kwriteconfig5"} << "KDE Plasma 5 (Spectacle)";
        QTest::newRow("GNOME in a list")
            << QStringList{"ubuntu:GNOME", "", "", ""} << "gnome-shell";
        QTest::newRow("GNOME, empty folder") << QStringList{"GNOME", "", "''", ""} << "gnome-shell";
        QTest::newRow("GNOME, gnome-screenshot")
            << QStringList{"GNOME", "", "'/tmp'", ""} << "gnome-screenshot";
        QTest::newRow("Xfce") << QStringList{"XFCE", "", "", ""} << "xfce4-screenshooter";
        QTest::newRow("other desktop") << QStringList{"sway", "", "", ""} << "generic";
    }
    void detection() {
        QFETCH(QStringList, setup);
        QFETCH(QString, expected);
        TestEnv env;
        Stubs stubs;
        stubs.addGsettings(setup[2].toUtf8());
        for (const QString& tool : setup[3].split(QLatin1Char(' '), Qt::SkipEmptyParts))
            stubs.add(tool);
        qputenv("XDG_CURRENT_DESKTOP", setup[0].toUtf8());
        m_running = setup[1].split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const auto backend = SystemCapture::detect();
        QVERIFY(backend->id() == expected || backend->toolName() == expected);
    }

    // A tool without a folder of its own (GNOME Shell here) saves to XDG
    // Pictures + "Screenshots", created on first use, matched also through a
    // link, and following the user's Pictures folder; pointing it elsewhere
    // changes nothing yet completes.
    void readOnlyFallback() {
        TestEnv env;
        Stubs stubs;
        stubs.addGsettings();
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        const QString expected = env.home() + QStringLiteral("/Pictures/Screenshots");
        QCOMPARE(SystemCapture::location(), expected);
        QVERIFY(QFileInfo(expected).isDir());
        QVERIFY(QFile::link(expected, env.home() + QStringLiteral("/link")));
        QVERIFY(SystemCapture::matches(env.home() + QStringLiteral("/link/")));
        QVERIFY(!SystemCapture::matches(env.home()));
        QVERIFY(!SystemCapture::matches(env.home() + QStringLiteral("/missing")));
        QVERIFY(settle([&](auto done) { SystemCapture::setLocation(env.home(), done); }));
        for (const QStringList& call : stubs.calls())
            QVERIFY(call.value(1) != QLatin1String("set"));
        writeFile(env.configHome() + QStringLiteral("/user-dirs.dirs"),
                  "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
        QCOMPARE(SystemCapture::location(), env.home() + QStringLiteral("/Bilder/Screenshots"));
    }

    // Each tool's own file gives folder, format and name prefix; pointing the
    // tool elsewhere edits only its keys, through kwriteconfig where KDE has
    // it, keeping the user's other settings. In the file, %U and %P stand
    // for the old folder as URL and path; in what must be written (file
    // lines or tab-joined calls), %T and %D for the new one.
    void toolSettings_data() {
        // Desktop, tool (running, or on PATH for KDE), file, type, prefix.
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("content");
        QTest::addColumn<bool>("shadowOff");
        QTest::addColumn<QStringList>("written");
        const QString kde6 = QStringLiteral("kwriteconfig6\t--file\tspectaclerc\t--group\t");
        QTest::newRow("Spectacle 6")
            << QStringList{"KDE", "kwriteconfig6", "spectaclerc", "jpg", "Cap-"}
            << "[GuiConfig]\nincludeShadow=false\n\n[ImageSave]\nimageSaveLocation=%U/\n"
               "preferredImageFormat=JPEG\nimageFilenameTemplate=Cap-<yyyy><MM>\n"
            << true
            << QStringList{kde6 + "ImageSave\t--key\timageSaveLocation\t%T",
                           kde6 + "VideoSave\t--key\tvideoSaveLocation\t%T",
                           kde6 + "GuiConfig\t--key\tincludeShadow\ttrue",
                           kde6 + "ImageSave\t--key\tpreferredImageFormat\tPNG"};
        QTest::newRow("Spectacle 5")
            << QStringList{"KDE", "kwriteconfig5", "spectaclerc", "png", "Shot "}
            << "[Save]\ndefaultSaveLocation=%U\ndefaultSaveImageFormat=png\n"
               "saveFilenameFormat=Shot %Y-%M\n"
            << false
            << QStringList{"kwriteconfig5\t--file\tspectaclerc\t--group\tSave\t--key\t"
                           "defaultSaveLocation\t%T"};
        QTest::newRow("flameshot")
            << QStringList{"", "flameshot", "flameshot/flameshot.ini", "jpg", "shot_"}
            << "[General]\nsavePath=%P\nsaveAsFileExtension=.JPG\nfilenamePattern=shot_%F\n"
               "uiColor=#ff0000\n\n[Shortcuts]\nTYPE_COPY=Ctrl+C\n"
            << false
            << QStringList{"savePath=%D", "savePathFixed=true", "saveAsFileExtension=.png",
                           "uiColor=#ff0000", "TYPE_COPY=Ctrl+C"};
        QTest::newRow("ksnip")
            << QStringList{"", "ksnip", "ksnip/ksnip.conf", "jpg", "cap-"}
            << "[Application]\nSaveDirectory=%P\nSaveFormat=JPEG\nSaveFilename=cap-$Y\n"
            << false << QStringList{"SaveDirectory=%D", "SaveFilename=cap-$Y"};
        QTest::newRow("xfce4-screenshooter")
            << QStringList{"XFCE", "", "xfce4/xfce4-screenshooter", "jpg", "Capture"}
            << "app=ristretto\nscreenshot_dir=%U\nlast_extension=JPG\ntitle=Capture\n"
            << false << QStringList{"app=ristretto", "screenshot_dir=%T", "title=Capture"};
    }
    void toolSettings() {
        QFETCH(QStringList, setup);
        QFETCH(QString, content);
        QFETCH(bool, shadowOff);
        QFETCH(QStringList, written);
        TestEnv env;
        Stubs stubs;
        qputenv("XDG_CURRENT_DESKTOP", setup[0].toUtf8());
        if (setup[1].startsWith(QLatin1String("kwriteconfig")))
            stubs.add(setup[1]);
        else
            m_running = QStringList{setup[1]};
        const QString shots = env.mkdir(QStringLiteral("Shots"));
        const QString path = env.configHome() + QLatin1Char('/') + setup[2];
        writeFile(path, content.replace("%U", fileUrl(shots)).replace("%P", shots).toUtf8());
        QCOMPARE(SystemCapture::location(), shots);
        QCOMPARE(SystemCapture::type(), setup[3]);
        QCOMPARE(SystemCapture::namePrefix(), setup[4]);
        QCOMPARE(SystemCapture::disableShadow(), shadowOff);

        const QString target = env.mkdir(QStringLiteral("New Place"));
        QVERIFY(settle([&](auto done) { SystemCapture::setLocation(target, done); }));
        QVERIFY(settle([&](auto done) { SystemCapture::setDisableShadow(false, done); }));
        QVERIFY(settle([&](auto done) { SystemCapture::setType(QStringLiteral("png"), done); }));
        QFile edited(path);
        QVERIFY(edited.open(QIODevice::ReadOnly));
        QStringList seen = QString::fromUtf8(edited.readAll()).split(QLatin1Char('\n'));
        for (const QStringList& call : stubs.calls())
            seen << call.join(QLatin1Char('\t'));
        const QString url = QUrl::fromLocalFile(target).toString(QUrl::FullyEncoded);
        for (QString line : written)
            QVERIFY2(seen.contains(line.replace("%T", url).replace("%D", target)),
                     qPrintable(line));
    }

    // run returns the exit status, -1 for a program that cannot start; a
    // write runs its steps in order and then its completion on the main thread.
    void runAndWrite() {
        TestEnv env;
        Stubs stubs;
        stubs.add(QStringLiteral("fails"), "exit 3\n");
        QCOMPARE(SystemCapture::run(QStringLiteral("fails"), {QStringLiteral("x y")}), 3);
        QCOMPARE(SystemCapture::run(QStringLiteral("no-such-program"), {}), -1);
        QList<CaptureStep> steps;
        QList<QStringList> expected{{"fails", "x y"}};
        for (int i = 0; i < 5; ++i) {
            steps.append(CaptureStep::command(QStringLiteral("fails"), {QString::number(i)}));
            expected.append({QStringLiteral("fails"), QString::number(i)});
        }
        QVERIFY(settle([&](auto done) { SystemCapture::write(steps, done); }));
        QCOMPARE(stubs.calls(), expected);
    }

    // gnome-screenshot's folder may be a "~/" path or a file:// URL and a
    // gone folder falls back; an odd name survives the real gsettings (with a
    // private schema and the key-file backend) both ways.
    void gnomeScreenshot() {
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
        const auto set = [&](const QString& key, const QString& value) {
            QProcess::execute(gsettings, {"set", "org.gnome.gnome-screenshot", key, value});
        };
        const QString shots = env.mkdir(QStringLiteral("My Shots"));
        set("auto-save-directory", "'~/My Shots'");
        set("default-file-type", "'JPEG'");
        QCOMPARE(SystemCapture::location(), shots);
        QCOMPARE(SystemCapture::type(), QStringLiteral("jpg"));
        set("auto-save-directory", "'" + fileUrl(shots) + "'");
        QCOMPARE(SystemCapture::location(), shots);
        set("auto-save-directory", "'/nowhere/at/all'");
        QCOMPARE(SystemCapture::location(), env.home() + QStringLiteral("/Pictures/Screenshots"));

        const QString odd = env.mkdir(QStringLiteral("Bob's \"odd\" 100% \\ folder"));
        QVERIFY(settle([&](auto done) { SystemCapture::setLocation(odd, done); }));
        QVERIFY(settle([&](auto done) { SystemCapture::setType(QStringLiteral("PNG"), done); }));
        QCOMPARE(SystemCapture::location(), odd);
        QCOMPARE(SystemCapture::type(), QStringLiteral("png"));
    }

private:
    QByteArray m_desktop;
    QStringList m_running;
};

TAMBERK_TEST(tst_SystemCapture)
#include "tst_SystemCapture.moc"
