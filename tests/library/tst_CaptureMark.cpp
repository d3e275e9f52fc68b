#include "TestEnv.h"
#include "library/FolderScanner.h"
#include "platform/CaptureMark.h"

#include <QFile>
#include <QTest>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

class tst_CaptureMark : public QObject {
    Q_OBJECT
private slots:
    // The mark is the binary property list of true that other systems read,
    // under the user namespace; it makes any name a screenshot, also in a
    // filtered root and after a rename outside the application.
    void writtenMarkMakesAScreenshot() {
        TestEnv env;
        const QString dir = env.mkdir("root");
        const QString path = writeFile(dir + "/holiday.png", "not even an image");
        QVERIFY(!CaptureMark::has(path));
        if (!CaptureMark::write(path))
            QSKIP("this file system keeps no user attributes");
        char buffer[64];
        const ssize_t size =
            getxattr(QFile::encodeName(path).constData(),
                     "user.com.apple.metadata:kMDItemIsScreenCapture", buffer, sizeof buffer);
        QCOMPARE(QByteArray(buffer, int(size)),
                 QByteArray::fromHex("62706c697374303009080000000000000101"
                                     "000000000000000100000000000000000000000000000009"));
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        QVERIFY(CaptureMark::has(fd));
        ::close(fd);

        ScanOptions opts;
        opts.prefixes = FolderScanner::basePrefixes;
        QVERIFY(QFile::rename(path, dir + "/renamed.png"));
        const auto listed = FolderScanner::list(dir, true, opts, {}, false, true);
        QCOMPARE(listed->shots.size(), 1);
        QVERIFY(listed->shots.first()->isScreenshot);
    }

    // Any value counts, even an empty one written by another program; a
    // missing file fails quietly.
    void presenceAloneCounts() {
        TestEnv env;
        const QString path = writeFile(env.home() + "/x.png");
        QVERIFY(!CaptureMark::write(env.home() + "/missing.png"));
        QVERIFY(!CaptureMark::has(env.home() + "/missing.png"));
        if (setxattr(QFile::encodeName(path).constData(), CaptureMark::attribute, "", 0, 0) != 0)
            QSKIP("this file system keeps no user attributes");
        QVERIFY(CaptureMark::has(path));
    }
};

TAMBERK_TEST(tst_CaptureMark)
#include "tst_CaptureMark.moc"
