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
    // Without a file manager the first file's folder opens; one gets every file with the id.
    void reveal() {
        QStringList opened;
        bool opens = true;
        int failures = 0;
        const auto openFolder = [&](const QString& folder, const std::function<void()>&) {
            opened << folder;
            return opens;
        };
        const auto failed = [&] { ++failures; };
        const QDBusConnection none(QStringLiteral("not connected"));
        FileManager::reveal({}, {}, none, openFolder, failed);
        FileManager::reveal({"/srv/a/x.png"}, {}, none, openFolder, failed);
        QCOMPARE(opened, QStringList{"/srv/a"});
        opens = false;
        FileManager::reveal({"/srv/a/x.png"}, {}, none, openFolder, failed);
        QCOMPARE(failures, 1);

        PrivateBus bus;
        QVERIFY2(bus.isRunning(), "dbus-daemon comes from scripts/install-deps");
        const QDBusConnection client = bus.connect(QStringLiteral("fm-client"));
        const QStringList paths{"/tmp/shots/my shot.png", "/tmp/shots/Sub/b.png"};
        opened.clear();
        opens = true;
        FileManager::reveal(paths, "id-1", client, openFolder, failed);
        QTRY_COMPARE(opened, QStringList{"/tmp/shots"});
        QDBusConnection service = bus.connect(QStringLiteral("fm-service"));
        FakeFileManager fake;
        QVERIFY(service.registerObject("/org/freedesktop/FileManager1", &fake,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService("org.freedesktop.FileManager1"));
        opened.clear();
        FileManager::reveal(paths, "id-2", client, openFolder, failed);
        QTRY_COMPARE(fake.uris, (QStringList{"file:///tmp/shots/my%20shot.png",
                                             "file:///tmp/shots/Sub/b.png"}));
        QCOMPARE(fake.startupId, QStringLiteral("id-2"));
        QVERIFY(opened.isEmpty());
        QCOMPARE(failures, 1);
    }

    // The opener says "no application" only by its exit status, reported later.
    void openReportsTheOpenersFailure_data() {
        QTest::addColumn<QByteArray>("script"); // empty: no opener installed
        QTest::addColumn<bool>("fails");
        QTest::newRow("opened") << QByteArray("exit 0") << false;
        QTest::newRow("no application") << QByteArray("exit 3") << true;
        QTest::newRow("crashed") << QByteArray("kill -SEGV $$") << true;
        QTest::newRow("not installed") << QByteArray() << true;
    }
    void openReportsTheOpenersFailure() {
        QFETCH(QByteArray, script);
        QFETCH(bool, fails);
        QTemporaryDir bin;
        if (!script.isEmpty())
            QFile::setPermissions(writeFile(bin.filePath("xdg-open"), "#!/bin/sh\n" + script),
                                  QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        // The shell and kill stay reachable; no other opener is.
        qputenv("PATH", bin.path().toLocal8Bit() + (script.isEmpty() ? "" : ":/bin:/usr/bin"));
        const QStringList paths{"/s/a.png", "/s/b.png"};
        QStringList failures;
        const int opened = FileManager::open(paths, [&](const QString& p) { failures << p; });
        qputenv("PATH", path);
        QCOMPARE(opened, script.isEmpty() ? 0 : 2);
        // Every opener has ended and been handled once none is left.
        QTRY_VERIFY(QCoreApplication::instance()->findChildren<QProcess*>().isEmpty());
        failures.sort();
        QCOMPARE(failures, fails ? paths : QStringList());
    }
};

TAMBERK_TEST(tst_FileManager)
#include "tst_FileManager.moc"
