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
    // Other systems read the value: a binary property list of exactly true.
    void valueIsTheBinaryPlistOfTrue() {
        const QByteArray expected = QByteArray::fromHex("62706c6973743030"   // bplist00
                                                        "09"                 // true
                                                        "08"                 // offset table
                                                        "000000000000"       // unused
                                                        "01"                 // offset int size
                                                        "01"                 // object ref size
                                                        "0000000000000001"   // objects
                                                        "0000000000000000"   // top object
                                                        "0000000000000009"); // table offset
        QCOMPARE(expected.size(), 42);
        QCOMPARE(CaptureMark::value(), expected);
    }

    // The mark is written under the user namespace, read by presence alone,
    // and makes any name a screenshot, also in a filtered root.
    void writtenMarkMakesAScreenshot() {
        TestEnv env;
        const QString dir = env.mkdir("root");
        const QString path = writeFile(dir + "/holiday.png", "not even an image");
        if (!CaptureMark::write(path))
            QSKIP("this file system keeps no user attributes");
        QVERIFY(CaptureMark::has(path));
        char buffer[64];
        const ssize_t size =
            getxattr(QFile::encodeName(path).constData(),
                     "user.com.apple.metadata:kMDItemIsScreenCapture", buffer, sizeof buffer);
        QCOMPARE(QByteArray(buffer, int(size)), CaptureMark::value());
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        QVERIFY(CaptureMark::has(fd));
        ::close(fd);

        ScanOptions opts;
        opts.prefixes = FolderScanner::basePrefixes;
        const auto listed = FolderScanner::list(dir, true, opts, {}, false, true);
        QCOMPARE(listed->shots.size(), 1);
        QVERIFY(listed->shots.first()->isScreenshot);
        QCOMPARE(listed->shots.first()->pixelSize, QSizeF(0, 0)); // unreadable image, still listed

        // Renamed outside the application, it keeps counting.
        QVERIFY(QFile::rename(path, dir + "/renamed.png"));
        QVERIFY(FolderScanner::list(dir, true, opts, {}, false, true)->shots.first()->isScreenshot);
    }

    // Any value counts, even an empty one written by another program.
    void presenceAloneCounts() {
        TestEnv env;
        const QString path = writeFile(env.home() + "/x.png");
        QVERIFY(!CaptureMark::has(path));
        if (setxattr(QFile::encodeName(path).constData(), CaptureMark::attribute, "", 0, 0) != 0)
            QSKIP("this file system keeps no user attributes");
        QVERIFY(CaptureMark::has(path));
    }

    // Failing to mark is silent.
    void missingFileFailsQuietly() {
        TestEnv env;
        QVERIFY(!CaptureMark::write(env.home() + "/missing.png"));
        QVERIFY(!CaptureMark::has(env.home() + "/missing.png"));
    }
};

TAMBERK_TEST(tst_CaptureMark)
#include "tst_CaptureMark.moc"
