#include "PrivateBus.h"
#include "TestEnv.h"
#include "platform/FileManager.h"

#include <QDBusConnection>
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
        auto openFolder = [&](const QString& folder) {
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

    // Without a bus the folder opens at once; nothing is revealed for no files.
    void revealWithoutABus() {
        const QDBusConnection none = QDBusConnection(QStringLiteral("not connected"));
        QStringList opened;
        auto openFolder = [&](const QString& folder) {
            opened << folder;
            return true;
        };
        FileManager::reveal({}, {}, none, openFolder);
        QVERIFY(opened.isEmpty());
        FileManager::reveal({"/srv/a/x.png"}, {}, none, openFolder);
        QCOMPARE(opened, QStringList{"/srv/a"});
    }
};

TAMBERK_TEST(tst_FileManager)
#include "tst_FileManager.moc"
