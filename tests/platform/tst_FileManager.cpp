#include "PrivateBus.h"
#include "TestEnv.h"
#include "platform/FileManager.h"

#include <QDBusConnection>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Answers ShowItems like a file manager and remembers what it was asked.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList uris;
    QString startupId;
public slots:
    void ShowItems(const QStringList& items, const QString& id) {
        uris = items;
        startupId = id;
    }
};

class tst_FileManager : public QObject {
    Q_OBJECT
private slots:
    // Without a file manager on the bus the folder of the first file opens
    // instead; with one, it gets every file as an encoded URI and the startup id.
    void revealAsksTheFileManager() {
        PrivateBus bus;
        QVERIFY2(bus.isRunning(), "dbus-daemon comes from scripts/install-deps");
        const QDBusConnection client = bus.connect(QStringLiteral("fm-client"));
        QVERIFY(client.isConnected());
        const QStringList paths{"/tmp/shots/my shot.png", "/tmp/shots/Sub/b.png"};
        QStringList opened;
        auto openFolder = [&](const QString& folder, const std::function<void()>&) {
            opened << folder;
            return true;
        };
        FileManager::reveal(paths, "id-1", client, openFolder);
        QTRY_COMPARE(opened, QStringList{"/tmp/shots"});

        QDBusConnection service = bus.connect(QStringLiteral("fm-service"));
        FakeFileManager fake;
        QVERIFY(service.registerObject("/org/freedesktop/FileManager1", &fake,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService("org.freedesktop.FileManager1"));
        opened.clear();
        FileManager::reveal(paths, "id-2", client, openFolder);
        QTRY_COMPARE(fake.uris, (QStringList{"file:///tmp/shots/my%20shot.png",
                                             "file:///tmp/shots/Sub/b.png"}));
        QCOMPARE(fake.startupId, QStringLiteral("id-2"));
        QVERIFY(opened.isEmpty());
    }

    // Without a bus the folder opens at once; nothing is revealed for no
    // files; a folder that could not be opened is reported, once.
    void revealWithoutABus() {
        const QDBusConnection none = QDBusConnection(QStringLiteral("not connected"));
        QStringList opened;
        bool opens = true;
        auto openFolder = [&](const QString& folder, const std::function<void()>&) {
            opened << folder;
            return opens;
        };
        int failures = 0;
        const auto failed = [&] { ++failures; };
        FileManager::reveal({}, {}, none, openFolder, failed);
        QVERIFY(opened.isEmpty());
        FileManager::reveal({"/srv/a/x.png"}, {}, none, openFolder, failed);
        QCOMPARE(opened, QStringList{"/srv/a"});
        QCOMPARE(failures, 0);
        opens = false;
        FileManager::reveal({"/srv/a/x.png"}, {}, none, openFolder, failed);
        QCOMPARE(failures, 1);
    }

    // The desktop's opener says "no application" only by its exit status,
    // after it started: that comes back as a failure of the path, later.
    void openReportsTheOpenersFailure_data() {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<int>("handed");
        QTest::addColumn<QStringList>("failed");
        QTest::newRow("opened") << QByteArray("exit 0") << 2 << QStringList{};
        QTest::newRow("no application")
            << QByteArray("exit 3") << 2 << QStringList{"/s/a.png", "/s/b.png"};
        QTest::newRow("crashed") << QByteArray("kill -SEGV $$") << 2
                                 << QStringList{"/s/a.png", "/s/b.png"};
        QTest::newRow("not installed") << QByteArray() << 0 << QStringList{"/s/a.png", "/s/b.png"};
    }
    void openReportsTheOpenersFailure() {
        QFETCH(QByteArray, script);
        QFETCH(int, handed);
        QFETCH(QStringList, failed);
        QTemporaryDir bin;
        if (!script.isEmpty()) {
            const QString tool = writeFile(bin.filePath("xdg-open"), "#!/bin/sh\n" + script + "\n");
            QFile::setPermissions(tool, QFile::ReadOwner | QFile::ExeOwner);
        }
        const QByteArray path = qgetenv("PATH");
        // The shell and kill stay reachable; no other opener is.
        qputenv("PATH", bin.path().toLocal8Bit() + ":/bin:/usr/bin");
        if (script.isEmpty())
            qputenv("PATH", bin.path().toLocal8Bit());
        QStringList failures;
        const int opened =
            FileManager::open({"/s/a.png", "/s/b.png"}, [&](const QString& p) { failures << p; });
        qputenv("PATH", path);
        QCOMPARE(opened, handed);
        // Every opener has ended and been handled once none is left.
        QTRY_VERIFY(QCoreApplication::instance()->findChildren<QProcess*>().isEmpty());
        failures.sort();
        QCOMPARE(failures, failed);
    }
};

TAMBERK_TEST(tst_FileManager)
#include "tst_FileManager.moc"
