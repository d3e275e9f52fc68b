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
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.value(0) != "[Trash Info]")
        return {};
    QMap<QString, QString> keys;
    for (const QByteArray& line : lines.mid(1)) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            keys.insert(QString::fromLatin1(line.left(eq)), QString::fromLatin1(line.mid(eq + 1)));
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
    void namesStayUnique();
    void restoreRemovesInfo();
    void failedMoveLeavesNoInfo();
    void volumeTrash_data();
    void volumeTrash();
};

// An item on the home volume goes to $XDG_DATA_HOME/Trash, made when missing
// (private to the user), with an info file whose Path= is the absolute,
// percent-encoded original and whose DeletionDate= is local time.
void tst_Trash::homeTrash() {
    TestEnv env;
    const QString dataHome = env.home() + "/fresh/share";
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome));
    const QString item = writeFile(env.home() + "/shots/a b%c#\u00fc.png", "pixels");

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const Trash::Result result = Trash::trash(item);
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    QVERIFY2(result.ok, qPrintable(result.message));
    const QString trash = dataHome + "/Trash";
    QCOMPARE(result.location, trash + "/files/a b%c#\u00fc.png");
    QVERIFY(!exists(item));
    QCOMPARE(snapshot(trash + "/files").value("a b%c#\u00fc.png"), QByteArray("pixels"));
    QCOMPARE(modeOf(trash), 0700);
    QCOMPARE(Trash::folderFor(env.home() + "/shots"), trash);

    const auto info = readInfo(trash + "/info/a b%c#\u00fc.png.trashinfo");
    QCOMPARE(info.value("Path"),
             QString::fromLatin1(QFile::encodeName(env.home()).toPercentEncoding("/")) +
                 "/shots/a%20b%25c%23%C3%BC.png");
    const QString date = info.value("DeletionDate");
    QVERIFY2(
        QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$").match(date).hasMatch(),
        qPrintable(date));
    const QDateTime deleted = QDateTime::fromString(date, Qt::ISODate);
    QVERIFY(deleted >= before.addMSecs(-before.time().msec()) && deleted <= after);
}

// Items of the same name get distinct names in files/, and a name whose
// .trashinfo exists is taken even when files/ lacks it (the info reserves it).
void tst_Trash::namesStayUnique() {
    TestEnv env;
    const QString trash = env.dataHome() + "/Trash";
    const QString one = writeFile(env.home() + "/A/x.png", "one");
    const QString two = writeFile(env.home() + "/B/x.png", "two");
    QDir().mkpath(env.home() + "/C/Work");
    writeFile(trash + "/info/y.png.trashinfo", "[Trash Info]\n");
    const QString three = writeFile(env.home() + "/C/y.png", "three");

    QCOMPARE(Trash::trash(one).location, trash + "/files/x.png");
    QCOMPARE(Trash::trash(two).location, trash + "/files/x 2.png");
    QCOMPARE(Trash::trash(three).location, trash + "/files/y 2.png");
    QCOMPARE(Trash::trash(env.home() + "/C/Work").location, trash + "/files/Work");

    const auto files = snapshot(trash + "/files");
    QCOMPARE(files.value("x.png"), QByteArray("one"));
    QCOMPARE(files.value("x 2.png"), QByteArray("two"));
    QCOMPARE(files.value("y 2.png"), QByteArray("three"));
    QCOMPARE(files.value("Work"), QByteArray("<dir>"));
    QVERIFY(readInfo(trash + "/info/x 2.png.trashinfo").value("Path").endsWith("/B/x.png"));
    QVERIFY(readInfo(trash + "/info/y 2.png.trashinfo").value("Path").endsWith("/C/y.png"));
    QVERIFY(readInfo(trash + "/info/Work.trashinfo").value("Path").endsWith("/C/Work"));
}

// Restoring moves the item back and removes its info; a taken target is
// never replaced and the trashed item and its info stay.
void tst_Trash::restoreRemovesInfo() {
    TestEnv env;
    const QString item = writeFile(env.home() + "/shots/a.png", "pixels");
    const Trash::Result trashed = Trash::trash(item);
    QVERIFY(trashed.ok);
    const QString info = Trash::infoFor(trashed.location);
    QCOMPARE(info, env.dataHome() + "/Trash/info/a.png.trashinfo");
    QVERIFY(exists(info));

    writeFile(item, "newcomer");
    FileMove::Result back = Trash::restore(trashed.location, item);
    QVERIFY(!back.ok);
    QCOMPARE(back.error, EEXIST);
    QCOMPARE(snapshot(env.home() + "/shots").value("a.png"), QByteArray("newcomer"));
    QVERIFY(exists(trashed.location) && exists(info));

    back = Trash::restore(trashed.location, env.home() + "/shots/a 2.png");
    QVERIFY(back.ok);
    QCOMPARE(snapshot(env.home() + "/shots").value("a 2.png"), QByteArray("pixels"));
    QCOMPARE(names(env.dataHome() + "/Trash/files"), QStringList());
    QCOMPARE(names(env.dataHome() + "/Trash/info"), QStringList());
    QVERIFY(Trash::infoFor(env.home() + "/shots/a.png").isEmpty());
}

// When the move itself fails the item stays and no stray info is left behind.
void tst_Trash::failedMoveLeavesNoInfo() {
    TestEnv env;
    const QString item = writeFile(env.home() + "/shots/a.png", "pixels");
    QVERIFY(Trash::trash(writeFile(env.home() + "/warm.png")).ok); // the trash exists
    const auto trashBefore = snapshot(env.dataHome() + "/Trash");

    FileMove::injectFault(FileMove::Step::Rename, EIO);
    const Trash::Result result = Trash::trash(item);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, EIO);
    QVERIFY(result.location.isEmpty());
    QCOMPARE(snapshot(env.home() + "/shots").value("a.png"), QByteArray("pixels"));
    QCOMPARE(snapshot(env.dataHome() + "/Trash"), trashBefore);

    QCOMPARE(Trash::trash(env.home() + "/shots/gone.png").error, ENOENT);
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
    if (shared == "sticky" || shared == "plain") {
        QDir().mkpath(volume + "/.Trash");
        ::chmod(QFile::encodeName(volume + "/.Trash").constData(),
                shared == "sticky" ? 01777 : 0777);
    } else if (shared == "link") {
        const QString elsewhere = env.mkdir("elsewhere");
        ::chmod(QFile::encodeName(elsewhere).constData(), 01777);
        QFile::link(elsewhere, volume + "/.Trash");
    }
    const QString item = writeFile(volume + "/shots/odd name.png", "pixels");

    const Trash::Result result = Trash::trash(item);
    const QString trash = usesShared ? volume + "/.Trash/" + uid : volume + "/.Trash-" + uid;
    const auto files = snapshot(trash + "/files");
    const auto info = readInfo(trash + "/info/odd name.png.trashinfo");
    const int mode = modeOf(trash);
    const QStringList elsewhere = names(env.home() + "/elsewhere");
    unmount(volume);

    QVERIFY2(result.ok, qPrintable(result.message));
    QCOMPARE(result.location, trash + "/files/odd name.png");
    QCOMPARE(files.value("odd name.png"), QByteArray("pixels"));
    QCOMPARE(info.value("Path"), QString("shots/odd%20name.png"));
    QCOMPARE(mode, 0700);
    QCOMPARE(elsewhere, QStringList()); // a linked .Trash is never followed
    QVERIFY(!exists(env.dataHome() + "/Trash/files/odd name.png"));
}

TAMBERK_TEST(tst_Trash)
#include "tst_Trash.moc"
