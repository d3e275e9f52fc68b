#include "TestEnv.h"
#include "platform/KeyFile.h"
#include "settings/LoginItem.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

namespace {
QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class tst_LoginItem : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_env = std::make_unique<TestEnv>();
        // System-wide entries come from a folder of the test's own.
        m_systemDirs = m_env->mkdir(QStringLiteral("xdg"));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(m_systemDirs));
    }
    void cleanup() {
        qunsetenv("XDG_CONFIG_DIRS");
        m_env.reset();
    }

    // Switching on writes the entry into the user's autostart folder and
    // switching off removes it; the state is read back from the file.
    void roundTrip() {
        const QString path = LoginItem::entryPath();
        QCOMPARE(path, m_env->configHome() + "/autostart/org.tamberk.Tamberk.desktop");
        QVERIFY(!LoginItem::isEnabled());
        QVERIFY(LoginItem::set(true));
        QVERIFY(LoginItem::isEnabled());
        QCOMPARE(readAll(path), LoginItem::entryText(LoginItem::program()));
        const KeyFile entry = KeyFile::load(path);
        QCOMPARE(entry.value("Desktop Entry", "Type"), QStringLiteral("Application"));
        QVERIFY(LoginItem::set(false));
        QVERIFY(!QFile::exists(path));
        QVERIFY(!LoginItem::isEnabled());
        QVERIFY(LoginItem::set(false));
    }

    void execQuoting_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("line");
        const auto row = [](const char* name, const char* program, const char* line) {
            QTest::newRow(name) << QString(program) << QString(line);
        };
        row("plain", "/usr/bin/tamberk", "Exec=/usr/bin/tamberk");
        row("space", "/opt/My Apps/tamberk", "Exec=\"/opt/My Apps/tamberk\"");
        row("dollar and quote", "/opt/a$b/t\"q", "Exec=\"/opt/a\\\\$b/t\\\\\"q\"");
        row("percent", "/opt/100%/tamberk", "Exec=/opt/100%%/tamberk");
    }
    // The program path survives the entry's quoting rules, so a launcher
    // starts exactly that file.
    void execQuoting() {
        QFETCH(QString, program);
        QFETCH(QString, line);
        const QStringList lines = QString::fromUtf8(LoginItem::entryText(program)).split('\n');
        QVERIFY2(lines.contains(line), qPrintable(lines.join('|')));
    }

    // The ways desktops switch an entry off, and a file that is no entry,
    // read as off (an entry that is on: roundTrip).
    void readBack_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("hidden") << QByteArray("[Desktop Entry]\nExec=x\nHidden=true\n");
        QTest::newRow("switched off")
            << QByteArray("[Desktop Entry]\nExec=x\nX-GNOME-Autostart-enabled=false\n");
        QTest::newRow("not an entry") << QByteArray("\x01\x02garbage");
    }
    void readBack() {
        QFETCH(QByteArray, contents);
        writeFile(LoginItem::entryPath(), contents);
        QVERIFY(!LoginItem::isEnabled());
    }

    // An enabled entry the user edited is not overwritten by switching on.
    void keepsUsersEntry() {
        const QByteArray mine = "[Desktop Entry]\nType=Application\nExec=tamberk --mine\n";
        writeFile(LoginItem::entryPath(), mine);
        QVERIFY(LoginItem::set(true));
        QCOMPARE(readAll(LoginItem::entryPath()), mine);
    }

    // A system-wide entry is switched off by hiding it for this user, since
    // removing the user's file alone would leave it starting.
    void systemEntry() {
        writeFile(m_systemDirs + "/autostart/org.tamberk.Tamberk.desktop",
                  "[Desktop Entry]\nType=Application\nExec=tamberk\n");
        QVERIFY(LoginItem::isEnabled());
        QVERIFY(LoginItem::set(false));
        QVERIFY(!LoginItem::isEnabled());
        QVERIFY(QFile::exists(LoginItem::entryPath()));
        QVERIFY(LoginItem::set(true));
        QVERIFY(LoginItem::isEnabled());
    }

    // A write that cannot happen is logged with the login item's prefix and
    // reported as failure, not as success.
    void failureIsLogged() {
        // The autostart folder cannot be created where a file stands.
        writeFile(m_env->configHome() + "/autostart", "in the way");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Tamberk login item: "));
        QVERIFY(!LoginItem::set(true));
        QVERIFY(!LoginItem::isEnabled());
    }

private:
    std::unique_ptr<TestEnv> m_env;
    QString m_systemDirs;
};

TAMBERK_TEST(tst_LoginItem)
#include "tst_LoginItem.moc"
