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

    // The state is read back from the entry in the user's autostart folder.
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
    // A launcher starts exactly the program, whatever its path holds.
    void execQuoting() {
        QFETCH(QString, program);
        QFETCH(QString, line);
        const QStringList lines = QString::fromUtf8(LoginItem::entryText(program)).split('\n');
        QVERIFY2(lines.contains(line), qPrintable(lines.join('|')));
    }

    // Switching on replaces an entry switched off, keeps the user's working one.
    void readBack_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("enabled");
        const QByteArray entry = "[Desktop Entry]\nType=Application\nExec=tamberk --mine\n";
        QTest::newRow("user's entry") << entry << true;
        QTest::newRow("hidden") << entry + "Hidden=true\n" << false;
        QTest::newRow("switched off") << entry + "X-GNOME-Autostart-enabled=false\n" << false;
        QTest::newRow("not an entry") << QByteArray("\x01\x02garbage") << false;
    }
    void readBack() {
        QFETCH(QByteArray, contents);
        QFETCH(bool, enabled);
        writeFile(LoginItem::entryPath(), contents);
        QCOMPARE(LoginItem::isEnabled(), enabled);
        QVERIFY(LoginItem::set(true));
        QVERIFY(LoginItem::isEnabled());
        QCOMPARE(readAll(LoginItem::entryPath()) == contents, enabled);
    }

    // A system-wide entry is hidden for this user: there is no file of ours to remove.
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

    // A write that cannot happen (a file where the folder goes) is logged and reported.
    void failureIsLogged() {
        writeFile(m_env->configHome() + "/autostart", "in the way");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Tamberk login item: "));
        QVERIFY(!LoginItem::set(true));
        QVERIFY(!LoginItem::isEnabled());
    }

    // Values are read per group, unescaped, ignoring key flags and translations.
    void reads() {
        TestEnv env;
        const QString path =
            writeFile(env.home() + QStringLiteral("/rc"),
                      "top=1\n# comment\n[A]\nkey = \\sspaced\\tand\\\\\n"
                      "key[de]=übersetzt\n[B][Sub]\nloc[$e]=$HOME/x\nkey=b\nkey=b2\n");
        const KeyFile file = KeyFile::load(path);
        QCOMPARE(file.value(QString(), "top"), QStringLiteral("1"));
        QCOMPARE(file.value("A", "key"), QStringLiteral(" spaced\tand\\"));
        QCOMPARE(file.value("B][Sub", "loc"), QStringLiteral("$HOME/x"));
        QCOMPARE(file.value("B][Sub", "key"), QStringLiteral("b2"));
        QVERIFY(!KeyFile::load(env.home() + QStringLiteral("/missing")).find("top"));
    }

    // Edits replace one line or append to its group, keeping the rest byte for byte.
    void editsKeepTheRest() {
        TestEnv env;
        const QByteArray original = "# mine\nx=1\n\n[A]\na=1\n\n[B]\nb=2\n";
        const QString path = writeFile(env.home() + QStringLiteral("/rc"), original);
        KeyFile file = KeyFile::load(path);
        file.set("A", "a", "two\nlines");
        file.set("A", "added", " lead");
        file.set("C", "c", "3");
        file.setAnywhere("b", "20", "A");
        file.setAnywhere("x", "10", "A");
        file.setAnywhere("fresh", "y", QString());
        QVERIFY(file.save(path));
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("# mine\nx=10\nfresh=y\n\n[A]\na=two\\nlines\n"
                                             "added=\\slead\n\n[B]\nb=20\n\n[C]\nc=3\n"));
        QCOMPARE(KeyFile::load(path).value("A", "a"), QStringLiteral("two\nlines"));
    }

private:
    std::unique_ptr<TestEnv> m_env;
    QString m_systemDirs;
};

TAMBERK_TEST(tst_LoginItem)
#include "tst_LoginItem.moc"
