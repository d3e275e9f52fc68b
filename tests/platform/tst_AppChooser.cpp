#include <glib.h>

#include "TestEnv.h"
#include "platform/AppChooser.h"

#include <QDir>
#include <QFile>
#include <QTest>

// GIO also reads the system's folders: only entries with this prefix count.
static const QString kPrefix = QStringLiteral("tamberk-test-");

class tst_AppChooser : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // GIO reads these folders once per process; ask it where it looks.
        const QString data = QString::fromUtf8(g_get_user_data_dir());
        const QString config = QString::fromUtf8(g_get_user_config_dir());
        m_apps = data + "/applications";
        QDir().mkpath(m_apps);
        m_recorder = m_apps + "/recorder.sh";
        writeFile(m_recorder, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.out\"\n");
        QFile::setPermissions(m_recorder, QFile::permissions(m_recorder) | QFile::ExeOwner);
        entry("viewer", "Viewer", "image/png;image/jpeg;");
        entry("editor", "Editor", "image/png;");
        entry("player", "Player", "video/mp4;");
        writeFile(m_apps + "/mimeinfo.cache",
                  "[MIME Cache]\n"
                  "image/png=" +
                      (kPrefix + "editor.desktop;" + kPrefix + "viewer.desktop;").toUtf8() +
                      "\nimage/jpeg=" + (kPrefix + "viewer.desktop;").toUtf8() +
                      "\nvideo/mp4=" + (kPrefix + "player.desktop;").toUtf8() + "\n");
        writeFile(config + "/mimeapps.list", "[Default Applications]\nimage/png=" +
                                                 (kPrefix + "viewer.desktop").toUtf8() + "\n");
        m_files = QDir::homePath();
    }

    void cleanupTestCase() {
        QDir apps(m_apps);
        for (const QString& name :
             apps.entryList({kPrefix + "*", "recorder.sh*", "mimeinfo.cache"}))
            apps.remove(name);
    }

    // The default (*) first and once; mixed types keep the apps that take them all.
    void defaultFirstThenRecommended_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("png") << QStringList{"a.png"} << QStringList{"viewer*", "editor"};
        QTest::newRow("png and jpeg") << QStringList{"a.png", "b.jpg"} << QStringList{"viewer*"};
        QTest::newRow("recording and png") << QStringList{"r.mp4", "a.png"} << QStringList{};
    }
    void defaultFirstThenRecommended() {
        QFETCH(QStringList, names);
        QFETCH(QStringList, expected);
        QStringList paths;
        for (const QString& name : names)
            paths << writeFile(m_files + "/" + name);
        QStringList ids;
        for (const AppChooser::App& app : AppChooser::appsFor(paths)) {
            if (app.id.startsWith(kPrefix))
                ids << app.id.mid(kPrefix.size()).chopped(8) + (app.isDefault ? "*" : "");
        }
        QCOMPARE(ids, expected);
    }

    // A file without a telling name is typed by its first bytes.
    void typeBySniffing() {
        const QByteArray png = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452");
        QCOMPARE(AppChooser::contentType(writeFile(m_files + "/capture", png)),
                 QStringLiteral("image/png"));
        QCOMPARE(AppChooser::contentType(m_files + "/named.jpeg"), QStringLiteral("image/jpeg"));
    }

    // Every file reaches the application intact; a missing entry is refused.
    void launchPassesTheFiles() {
        const QStringList paths{writeFile(m_files + "/my shot.png"), writeFile(m_files + "/b.png")};
        QVERIFY(AppChooser::launch(kPrefix + "viewer.desktop", paths));
        QTRY_COMPARE(readLines(m_recorder + ".out"), paths);
        QVERIFY(!AppChooser::launch(kPrefix + "missing.desktop", paths));
    }

private:
    void entry(const char* id, const char* name, const char* types) {
        writeFile(m_apps + "/" + kPrefix + id + ".desktop",
                  QByteArray("[Desktop Entry]\nType=Application\nName=") + name +
                      "\nExec=" + QFile::encodeName(m_recorder) + " %F\nMimeType=" + types + "\n");
    }

    static QStringList readLines(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    QString m_apps, m_recorder, m_files;
};

TAMBERK_TEST(tst_AppChooser)
#include "tst_AppChooser.moc"
