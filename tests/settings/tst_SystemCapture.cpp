#include "TestEnv.h"
#include "platform/ProcessProbe.h"
#include "settings/SystemCapture.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUrl>

namespace {

// While alive, PATH holds only stubs that log each command line (tab-separated).
class Stubs {
public:
    Stubs()
        : m_oldPath(qgetenv("PATH")) {
        qputenv("PATH", QFile::encodeName(m_dir.path()));
    }
    ~Stubs() { qputenv("PATH", m_oldPath); }

    // Adds a program `name`; `body` is shell code run after the call is logged.
    void add(const QString& name, const QByteArray& body = "exit 0\n") {
        QFile script(m_dir.filePath(name));
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\n{ printf '%s' '" + name.toUtf8() +
                     "'; for a in \"$@\"; do printf '\\t%s' \"$a\"; done; echo; } >> '" +
                     QFile::encodeName(m_dir.filePath("calls.log")) + "'\n" + body);
        script.setPermissions(script.permissions() | QFile::ExeOwner);
    }

    // A gsettings whose `get` prints `printed`, or fails like a missing schema.
    void addGsettings(const QByteArray& printed = {}) {
        add("gsettings", printed.isEmpty() ? "echo 'No such schema' >&2; exit 1\n"
                                           : "echo \"" + printed + "\"\n");
    }

    QList<QStringList> calls() const {
        QFile log(m_dir.filePath("calls.log"));
        QList<QStringList> result;
        if (log.open(QIODevice::ReadOnly))
            for (const QByteArray& line : log.readAll().split('\n'))
                if (!line.isEmpty())
                    result.append(QString::fromUtf8(line).split(QLatin1Char('\t')));
        return result;
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};

// Waits for a write to finish: its completion runs on the main thread.
bool settle(const std::function<void(std::function<void()>)>& start) {
    bool done = false, onMain = false;
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
        m_env = std::make_unique<TestEnv>();
        m_stubs = std::make_unique<Stubs>();
        m_desktop = qgetenv("XDG_CURRENT_DESKTOP");
        m_running.clear();
        ProcessProbe::setProbeForTesting(
            [this](const QString& name) { return m_running.contains(name); });
    }
    void cleanup() {
        m_stubs.reset();
        m_env.reset();
        ProcessProbe::setProbeForTesting({});
        qunsetenv("GSETTINGS_SCHEMA_DIR");
        qunsetenv("GSETTINGS_BACKEND");
        m_desktop.isNull() ? qunsetenv("XDG_CURRENT_DESKTOP")
                           : qputenv("XDG_CURRENT_DESKTOP", m_desktop);
    }

    // A running tool beats the desktop's; gnome-screenshot needs its folder set and to run.
    void detection_data() {
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ksnip over GNOME") << QStringList{"GNOME", "ksnip", ""} << "ksnip";
        QTest::newRow("GNOME listed") << QStringList{"ubuntu:GNOME", "", ""} << "gnome-shell";
        QTest::newRow("folder, running")
            << QStringList{"GNOME", "gnome-screenshot", "'/tmp'"} << "gnome-screenshot";
        QTest::newRow("other desktop") << QStringList{"sway", "", ""} << "generic";
    }
    void detection() {
        QFETCH(QStringList, setup); // desktop, running tools, gsettings' folder
        QFETCH(QString, expected);
        m_stubs->addGsettings(setup[2].toUtf8());
        qputenv("XDG_CURRENT_DESKTOP", setup[0].toUtf8());
        m_running = setup[1].split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QCOMPARE(SystemCapture::detect()->id(), expected);
    }

    // One detection names every folder to watch (an idle gnome-screenshot's too); none is set.
    void gnomeShell() {
        const QString other = m_env->mkdir(QStringLiteral("Grabs"));
        m_stubs->addGsettings("'" + QFile::encodeName(other) + "'");
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        const QString videos = m_env->mkdir(QStringLiteral("Videos/Screencasts"));
        const QString shots = m_env->home() + QStringLiteral("/Pictures/Screenshots");
        const int before = SystemCapture::detections();
        const CaptureFacts facts = SystemCapture::facts();
        QCOMPARE(SystemCapture::detections(), before + 1);
        QCOMPARE(facts.tool, QStringLiteral("gnome-shell"));
        QCOMPARE(facts.location, shots);
        QCOMPARE(facts.strayFolders, QStringList({shots, videos, other}));
        QCOMPARE(facts.recordingLocation, videos);
        QVERIFY(QFile::link(shots, m_env->home() + QStringLiteral("/link")));
        QVERIFY(SystemCapture::matches(m_env->home() + QStringLiteral("/link/")));
        QVERIFY(settle([&](auto done) { SystemCapture::setLocation(m_env->home(), done); }));
        for (const QStringList& call : m_stubs->calls())
            QVERIFY(call.value(1) != QLatin1String("set"));
    }

    // Each tool's file gives folder, format and prefix; writing edits only its keys.
    void toolSettings_data() {
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("content");
        QTest::addColumn<QStringList>("written");
        const QString kde6 = QStringLiteral("kwriteconfig6\t--file\tspectaclerc\t--group\t");
        QTest::newRow("Spectacle 6")
            << QStringList{"KDE", "kwriteconfig6", "spectaclerc", "jpg", "Cap-", "noShadow"}
            << "[GuiConfig]\nincludeShadow=false\n\n[ImageSave]\nimageSaveLocation=%U/\n"
               "preferredImageFormat=JPEG\nimageFilenameTemplate=Cap-<yyyy><MM>\n"
            << QStringList{kde6 + "ImageSave\t--key\timageSaveLocation\t%T",
                           kde6 + "VideoSave\t--key\tvideoSaveLocation\t%T",
                           kde6 + "GuiConfig\t--key\tincludeShadow\ttrue",
                           kde6 + "ImageSave\t--key\tpreferredImageFormat\tPNG"};
        QTest::newRow("flameshot")
            << QStringList{"", "flameshot", "flameshot/flameshot.ini", "jpg", "shot_"}
            << "[General]\nsavePath=%P\nsaveAsFileExtension=.JPG\nfilenamePattern=shot_%F\n"
               "uiColor=#ff0000\n\n[Shortcuts]\nTYPE_COPY=Ctrl+C\n"
            << QStringList{"savePath=%D", "savePathFixed=true", "saveAsFileExtension=.png",
                           "uiColor=#ff0000", "TYPE_COPY=Ctrl+C"};
        QTest::newRow("ksnip")
            << QStringList{"", "ksnip", "ksnip/ksnip.conf", "jpg", "cap-"}
            << "[Application]\nSaveDirectory=%P\nSaveFormat=JPEG\nSaveFilename=cap-$Y\n"
            << QStringList{"SaveDirectory=%D", "SaveFilename=cap-$Y"};
        QTest::newRow("xfce4-screenshooter")
            << QStringList{"XFCE", "", "xfce4/xfce4-screenshooter", "jpg", "Capture"}
            << "app=ristretto\nscreenshot_dir=%U\nlast_extension=JPG\ntitle=Capture\n"
            << QStringList{"app=ristretto", "screenshot_dir=%T", "title=Capture"};
    }
    void toolSettings() {
        QFETCH(QStringList, setup);
        QFETCH(QString, content);
        QFETCH(QStringList, written);
        qputenv("XDG_CURRENT_DESKTOP", setup[0].toUtf8());
        if (setup[1].startsWith(QLatin1String("kwriteconfig")))
            m_stubs->add(setup[1]);
        else
            m_running = QStringList{setup[1]};
        const QString shots = m_env->mkdir(QStringLiteral("Shots"));
        const QString path = m_env->configHome() + QLatin1Char('/') + setup[2];
        writeFile(path, content.replace("%U", QUrl::fromLocalFile(shots).toString())
                            .replace("%P", shots)
                            .toUtf8());
        QCOMPARE(SystemCapture::location(), shots);
        QCOMPARE(SystemCapture::type(), setup[3]);
        QCOMPARE(SystemCapture::namePrefix(), setup[4]);
        QCOMPARE(SystemCapture::disableShadow(), setup.size() > 5);
        const QString target = m_env->mkdir(QStringLiteral("New Place"));
        QVERIFY(settle([&](auto done) { SystemCapture::setLocation(target, done); }));
        QVERIFY(settle([&](auto done) { SystemCapture::setDisableShadow(false, done); }));
        QVERIFY(settle([&](auto done) { SystemCapture::setType(QStringLiteral("png"), done); }));
        QFile edited(path);
        QVERIFY(edited.open(QIODevice::ReadOnly));
        QStringList seen = QString::fromUtf8(edited.readAll()).split(QLatin1Char('\n'));
        for (const QStringList& call : m_stubs->calls())
            seen << call.join(QLatin1Char('\t'));
        const QString url = QUrl::fromLocalFile(target).toString(QUrl::FullyEncoded);
        for (QString line : written)
            QVERIFY2(seen.contains(line.replace("%T", url).replace("%D", target)),
                     qPrintable(line));
    }

    // An odd folder name survives the real gsettings (private schema, key-file backend) both ways.
    void gnomeScreenshot() {
        m_stubs.reset(); // the real gsettings
        const QString compiler = QStandardPaths::findExecutable("glib-compile-schemas");
        if (compiler.isEmpty() || QStandardPaths::findExecutable("gsettings").isEmpty())
            QSKIP("gsettings or glib-compile-schemas is not installed");
        const QString schemas = m_env->mkdir(QStringLiteral("schemas"));
        writeFile(schemas + QStringLiteral("/org.gnome.gnome-screenshot.gschema.xml"),
                  "<schemalist><schema id='org.gnome.gnome-screenshot' "
                  "path='/org/gnome/gnome-screenshot/'>"
                  "<key name='auto-save-directory' type='s'><default>'~'</default></key>"
                  "</schema></schemalist>");
        QCOMPARE(QProcess::execute(compiler, {schemas}), 0);
        qputenv("GSETTINGS_SCHEMA_DIR", QFile::encodeName(schemas));
        qputenv("GSETTINGS_BACKEND", "keyfile");
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        m_running = {QStringLiteral("gnome-screenshot")}; // its folder counts only while in use
        const QString odd = m_env->mkdir(QStringLiteral("Bob's \"odd\" 100% \\ folder"));
        QVERIFY(settle([&](auto done) { SystemCapture::setLocation(odd, done); }));
        QCOMPARE(SystemCapture::location(), odd);
    }

private:
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<Stubs> m_stubs;
    QByteArray m_desktop;
    QStringList m_running;
};

TAMBERK_TEST(tst_SystemCapture)
#include "tst_SystemCapture.moc"
