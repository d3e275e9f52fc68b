#include "PrivateBus.h"
#include "TestEnv.h"
#include "platform/TrayHost.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// Plays the tray's StatusNotifierWatcher on the private bus.
class FakeWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered MEMBER host)
public:
    bool host = false;

signals:
    void StatusNotifierHostRegistered();
};

} // namespace

class tst_TrayHost : public QObject {
    Q_OBJECT
private slots:
    // A watcher or host coming up late still makes the tray available (up: tst_X11Services).
    void appears_data() {
        QTest::addColumn<bool>("watcherFirst");
        QTest::newRow("host registers later") << true;
        QTest::newRow("watcher starts later") << false;
    }
    void appears() {
        QFETCH(bool, watcherFirst);
        PrivateBus bus;
        QVERIFY(bus.isRunning());
        QDBusConnection watcherBus = bus.connect(QStringLiteral("watcher"));
        FakeWatcher watcher;
        watcher.host = !watcherFirst;
        const auto publish = [&] {
            QVERIFY(watcherBus.registerObject(QLatin1String(TrayHost::watcherPath), &watcher,
                                              QDBusConnection::ExportAllContents));
            QVERIFY(watcherBus.registerService(QLatin1String(TrayHost::watcherService)));
        };
        if (watcherFirst)
            publish();
        TrayHost tray(bus.connect(QStringLiteral("app")));
        QSignalSpy available(&tray, &TrayHost::available);
        tray.start();
        if (!watcherFirst) {
            publish();
        } else {
            QVERIFY(!tray.isAvailable());
            watcher.host = true;
            emit watcher.StatusNotifierHostRegistered();
        }
        QTRY_COMPARE(available.count(), 1);
        QCOMPARE(tray.kind(), TrayHost::Kind::statusNotifier);
    }
};

TAMBERK_TEST(tst_TrayHost)
#include "tst_TrayHost.moc"
