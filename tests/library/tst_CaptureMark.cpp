#include "TestEnv.h"
#include "library/FolderScanner.h"
#include "platform/CaptureMark.h"

#include <QFile>
#include <QTest>
#include <sys/xattr.h>

class tst_CaptureMark : public QObject {
    Q_OBJECT
private slots:
    // The mark is the exact 42-byte property list other systems read, and it
    // makes any name a screenshot, also after a rename; a missing file fails quietly.
    void writtenMarkMakesAScreenshot() {
        TestEnv env;
        const QString dir = env.mkdir("root");
        const QString path = writeFile(dir + "/holiday.png", "not even an image");
        QVERIFY(!CaptureMark::has(path));
        QVERIFY(!CaptureMark::write(dir + "/missing.png"));
        if (!CaptureMark::write(path))
            QSKIP("this file system keeps no user attributes");
        char buffer[64];
        const ssize_t size =
            getxattr(QFile::encodeName(path).constData(),
                     "user.com.apple.metadata:kMDItemIsScreenCapture", buffer, sizeof buffer);
        QCOMPARE(QByteArray(buffer, int(size)),
                 QByteArray::fromHex("62706c697374303009080000000000000101"
                                     "000000000000000100000000000000000000000000000009"));

        ScanOptions opts;
        opts.prefixes = FolderScanner::basePrefixes;
        QVERIFY(QFile::rename(path, dir + "/renamed.png"));
        const auto listed = FolderScanner::list(dir, true, opts, {}, false, true);
        QCOMPARE(listed->shots.size(), 1);
        QVERIFY(listed->shots.first()->isScreenshot);
    }
};

TAMBERK_TEST(tst_CaptureMark)
#include "tst_CaptureMark.moc"
