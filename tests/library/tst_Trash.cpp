#include "FileOpsSupport.h"
#include "TestEnv.h"

#include "platform/Trash.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace FileOpsSupport;

namespace {

// The keys of a .trashinfo file, or nothing when its first line is wrong.
QMap<QString, QString> readInfo(const QString& path) {
    QFile file(path);
    QMap<QString, QString> keys;
    if (!file.open(QIODevice::ReadOnly) || file.readLine() != "[Trash Info]\n")
        return keys;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (const qsizetype eq = line.indexOf('='); eq > 0)
            keys.insert(line.left(eq), line.mid(eq + 1));
    }
    return keys;
}

int modeOf(const QString& path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

class tst_Trash : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { FileMove::clearFaults(); }

    void homeTrash();
    void restoreNeverReplaces();
    void volumeTrash_data();
    void volumeTrash();
};

// An item on the home volume goes to $XDG_DATA_HOME/Trash, made private when
// missing, with an info file whose Path= is the absolute, percent-encoded
// original and whose DeletionDate= is local time, to the second. Items of
// one name get distinct names, and a name whose .trashinfo exists is taken
// even when files/ lacks it (the info reserves it).
void tst_Trash::homeTrash() {
    TestEnv env;
    const QString trash = env.home() + "/fresh/share/Trash";
    qputenv("XDG_DATA_HOME", QFile::encodeName(env.home() + "/fresh/share"));
    const QString item = writeFile(env.home() + "/shots/a b%c#\u00fc.png", "pixels");

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const Trash::Result result = Trash::trash(item);
    QVERIFY2(result.ok, qPrintable(result.message));
    QCOMPARE(result.location, trash + "/files/a b%c#\u00fc.png");
    QVERIFY(!exists(item));
    QCOMPARE(snapshot(trash + "/files").value("a b%c#\u00fc.png"), QByteArray("pixels"));
    QCOMPARE(modeOf(trash), 0700);
    const auto info = readInfo(trash + "/info/a b%c#\u00fc.png.trashinfo");
    QCOMPARE(info.value("Path"),
             QString::fromLatin1(QFile::encodeName(env.home()).toPercentEncoding("/")) +
                 "/shots/a%20b%25c%23%C3%BC.png");
    const QString date = info.value("DeletionDate");
    QVERIFY2(
        QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$").match(date).hasMatch(),
        qPrintable(date));
    const QDateTime deleted = QDateTime::fromString(date, Qt::ISODate);
    QVERIFY(deleted >= before && deleted <= QDateTime::currentDateTime());

    writeFile(trash + "/info/y.png.trashinfo", "[Trash Info]\n");
    QDir().mkpath(env.home() + "/C/Work");
    const QStringList items{writeFile(env.home() + "/A/x.png", "one"),
                            writeFile(env.home() + "/B/x.png", "two"),
                            writeFile(env.home() + "/C/y.png", "three"), env.home() + "/C/Work"};
    const QStringList expected{"x.png", "x 2.png", "y 2.png", "Work"};
    for (qsizetype i = 0; i < items.size(); ++i) {
        QCOMPARE(Trash::trash(items[i]).location, trash + "/files/" + expected[i]);
        const auto info = readInfo(trash + "/info/" + expected[i] + ".trashinfo");
        QVERIFY(info.value("Path").endsWith(items[i].mid(env.home().size())));
    }
    QCOMPARE(snapshot(trash + "/files").value("x 2.png"), QByteArray("two"));
}

// Restoring never replaces a taken target (the trashed item and its info
// stay); restoring elsewhere moves the item back and removes its info.
void tst_Trash::restoreNeverReplaces() {
    TestEnv env;
    const QString item = writeFile(env.home() + "/shots/a.png", "pixels");
    const Trash::Result trashed = Trash::trash(item);
    QVERIFY(trashed.ok);
    const QString info = Trash::infoFor(trashed.location);
    QVERIFY(exists(info));

    writeFile(item, "newcomer");
    FileMove::Result back = Trash::restore(trashed.location, item);
    QCOMPARE(back.error, EEXIST);
    QCOMPARE(snapshot(env.home() + "/shots").value("a.png"), QByteArray("newcomer"));
    QVERIFY(exists(trashed.location) && exists(info));

    back = Trash::restore(trashed.location, env.home() + "/shots/a 2.png");
    QVERIFY(back.ok);
    QCOMPARE(snapshot(env.home() + "/shots").value("a 2.png"), QByteArray("pixels"));
    QCOMPARE(snapshot(env.dataHome() + "/Trash").keys(), (QStringList{"files", "info"}));
}

void tst_Trash::volumeTrash_data() {
    QTest::addColumn<QString>("shared"); // what $topdir/.Trash is
    QTest::addColumn<bool>("usesShared");
    QTest::addRow("no .Trash") << "" << false;
    QTest::addRow("sticky .Trash") << "sticky" << true;
    QTest::addRow(".Trash not sticky") << "plain" << false;
    QTest::addRow(".Trash is a link") << "link" << false;
}

// On another volume the item goes to $topdir/.Trash/$uid when an
// administrator made $topdir/.Trash sticky (and it is no link), otherwise to
// $topdir/.Trash-$uid made 0700; Path= is relative to $topdir there.
void tst_Trash::volumeTrash() {
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
    const QString item = writeFile(volume + "/shots/odd name.png", "pixels");

    const Trash::Result result = Trash::trash(item);
    const QString trash = usesShared ? volume + "/.Trash/" + uid : volume + "/.Trash-" + uid;
    const auto files = snapshot(trash + "/files");
    const auto info = readInfo(trash + "/info/odd name.png.trashinfo");
    const int mode = modeOf(trash);
    unmount(volume);

    QVERIFY2(result.ok, qPrintable(result.message));
    QCOMPARE(result.location, trash + "/files/odd name.png");
    QCOMPARE(files.value("odd name.png"), QByteArray("pixels"));
    QCOMPARE(info.value("Path"), QString("shots/odd%20name.png"));
    QCOMPARE(mode, 0700);
    QCOMPARE(names(elsewhere), QStringList()); // a linked .Trash is never followed
}

TAMBERK_TEST(tst_Trash)
#include "tst_Trash.moc"
