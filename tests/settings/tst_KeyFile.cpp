#include "TestEnv.h"
#include "platform/KeyFile.h"

#include <QTest>

class tst_KeyFile : public QObject {
    Q_OBJECT
private slots:
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
};

TAMBERK_TEST(tst_KeyFile)
#include "tst_KeyFile.moc"
