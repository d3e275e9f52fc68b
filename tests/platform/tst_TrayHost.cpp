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
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
public:
    bool hostRegistered() const { return host; }
    bool host = false;

signals:
    void StatusNotifierHostRegistered();
};

} // namespace

class tst_TrayHost : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (!m_bus.isRunning())
            QFAIL("dbus-daemon did not start");
    }

    void init() {
        m_watcherBus = m_bus.connect(QStringLiteral("watcher-%1").arg(++m_round));
        m_appBus = m_bus.connect(QStringLiteral("app-%1").arg(m_round));
    }

    void cleanup() { m_watcherBus.unregisterService(QLatin1String(TrayHost::watcherService)); }

    void appears_data() {
        QTest::addColumn<bool>("watcherFirst");
        QTest::addColumn<bool>("hostFirst");
        QTest::newRow("host already there") << true << true;
        QTest::newRow("host registers later") << true << false;
        QTest::newRow("watcher starts later") << false << true;
    }
    // However the watcher and its host come up relative to the application,
    // available() follows.
    void appears() {
        QFETCH(bool, watcherFirst);
        QFETCH(bool, hostFirst);
        FakeWatcher watcher;
        watcher.host = hostFirst;
        auto publish = [&] {
            QVERIFY(m_watcherBus.registerObject(QLatin1String(TrayHost::watcherPath), &watcher,
                                                QDBusConnection::ExportAllContents));
            QVERIFY(m_watcherBus.registerService(QLatin1String(TrayHost::watcherService)));
        };
        if (watcherFirst)
            publish();
        TrayHost tray(m_appBus);
        QSignalSpy available(&tray, &TrayHost::available);
        tray.start();
        if (!watcherFirst)
            publish();
        if (!hostFirst) {
            QVERIFY(!tray.isAvailable());
            watcher.host = true;
            emit watcher.StatusNotifierHostRegistered();
        }
        QTRY_COMPARE(available.count(), 1);
        QVERIFY(tray.isAvailable());
        m_watcherBus.unregisterObject(QLatin1String(TrayHost::watcherPath));
    }

private:
    PrivateBus m_bus;
    int m_round = 0;
    QDBusConnection m_watcherBus{QString()};
    QDBusConnection m_appBus{QString()};
};

TAMBERK_TEST(tst_TrayHost)
#include "tst_TrayHost.moc"
