#include "LibrarySupport.h"

#include "platform/Trash.h"

#include <QSettings>
#include <QUrl>
#include <cerrno>

using namespace LibrarySupport;

namespace {

// The value of `key` in a .trashinfo file.
QString infoValue(const QString& path, const char* key) {
    return QSettings(path, QSettings::IniFormat)
        .value(QStringLiteral("Trash Info/") + key)
        .toString();
}

} // namespace

class tst_Trash : public QObject {
    Q_OBJECT
private slots:
    // A home item goes to $XDG_DATA_HOME/Trash, made when missing, Path= absolute and
    // percent-encoded; a name is never reused while files/ or info/ holds it, one too long for
    // "NAME.trashinfo" is shortened keeping its extension and whole characters; restoring never
    // replaces a taken target, and finds and removes the info.
    void homeTrash() {
        TestEnv env;
        const QString home = env.home(), trash = home + "/fresh/share/Trash";
        qputenv("XDG_DATA_HOME", QFile::encodeName(home + "/fresh/share"));
        const Trash::Result result =
            Trash::trash(writeFile(home + "/shots/a b%c#\u00fc.png", "pixels"));
        QVERIFY2(result.ok, qPrintable(result.message));
        QCOMPARE(contents(trash + "/files/a b%c#\u00fc.png"), QByteArray("pixels"));
        QCOMPARE(infoValue(trash + "/info/a b%c#\u00fc.png.trashinfo", "Path"),
                 QString::fromLatin1(QFile::encodeName(home).toPercentEncoding("/")) +
                     "/shots/a%20b%25c%23%C3%BC.png");
        writeFile(trash + "/info/y.png.trashinfo", "[Trash Info]\n");
        for (const char* name : {"A/x.png", "B/x.png", "C/y.png"})
            QVERIFY(Trash::trash(writeFile(home + '/' + name)).ok);
        QCOMPARE(names(trash + "/files"),
                 QStringList({"a b%c#\u00fc.png", "x 2.png", "x.png", "y 2.png"}));
        QVERIFY(infoValue(trash + "/info/y 2.png.trashinfo", "Path").endsWith("/C/y.png"));
        writeFile(home + "/A/x.png", "newcomer");
        QCOMPARE(Trash::restore(trash + "/files/x.png", home + "/A/x.png").error, EEXIST);
        QVERIFY(QFileInfo::exists(trash + "/info/x.png.trashinfo"));
        QCOMPARE(contents(home + "/A/x.png"), QByteArray("newcomer"));

        // 83 three-byte characters and ".png": 253 bytes, allowed for the file itself.
        const QString name = QString(83, QChar(0x9875)) + ".png";
        const QString first = writeFile(home + "/A/" + name, "one");
        const Trash::Result one = Trash::trash(first);
        const Trash::Result two = Trash::trash(writeFile(home + "/B/" + name, "two"));
        QVERIFY2(one.ok && two.ok && one.location != two.location, qPrintable(one.message));
        for (const Trash::Result& r : {one, two}) {
            const QString entry = QFileInfo(r.location).fileName();
            QVERIFY(entry.endsWith(".png") && !entry.contains(QChar::ReplacementCharacter));
            QVERIFY(QFile::encodeName(entry + ".trashinfo").size() <= 255);
        }
        const QString info = Trash::infoFor(one.location);
        QVERIFY(infoValue(info, "Path").endsWith(QUrl::toPercentEncoding(name)));
        QVERIFY(Trash::restore(one.location, first).ok);
        QCOMPARE(contents(first), QByteArray("one"));
        QVERIFY(!QFileInfo::exists(info));
    }

    // On another volume: $topdir/.Trash/$uid only when .Trash is sticky and no
    // link, else $topdir/.Trash-$uid (0700); Path= is relative to $topdir.
    void volumeTrash_data() {
        QTest::addColumn<QString>("shared"); // what $topdir/.Trash is
        QTest::addColumn<bool>("usesShared");
        QTest::addRow("no .Trash") << "" << false;
        QTest::addRow("sticky .Trash") << "sticky" << true;
        QTest::addRow(".Trash not sticky") << "plain" << false;
        QTest::addRow(".Trash is a link") << "link" << false;
    }
    void volumeTrash() {
        QFETCH(QString, shared);
        QFETCH(bool, usesShared);
        TestEnv env;
        const QString volume = env.mkdir("volume");
        if (!mountTmpfs(volume))
            QSKIP("cannot mount a second volume here (needs root and mount namespaces)");
        const QString uid = QString::number(::getuid());
        const QString elsewhere = env.mkdir("elsewhere");
        ::chmod(QFile::encodeName(elsewhere).constData(), 01777);
        if (shared == "link")
            QFile::link(elsewhere, volume + "/.Trash");
        else if (!shared.isEmpty() && QDir().mkpath(volume + "/.Trash"))
            ::chmod(QFile::encodeName(volume + "/.Trash").constData(),
                    shared == "sticky" ? 01777 : 0777);
        const Trash::Result result =
            Trash::trash(writeFile(volume + "/shots/odd name.png", "pixels"));
        const QString trash = usesShared ? volume + "/.Trash/" + uid : volume + "/.Trash-" + uid;
        const QString path = infoValue(trash + "/info/odd name.png.trashinfo", "Path");
        struct stat st;
        const int mode =
            ::lstat(QFile::encodeName(trash).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
        unmount(volume);
        QVERIFY2(result.ok, qPrintable(result.message));
        QCOMPARE(result.location, trash + "/files/odd name.png");
        QCOMPARE(path, QString("shots/odd%20name.png"));
        QCOMPARE(mode, 0700);
        QCOMPARE(names(elsewhere), QStringList()); // a linked .Trash is never followed
    }
};

TAMBERK_TEST(tst_Trash)
#include "tst_Trash.moc"
