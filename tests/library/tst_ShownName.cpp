#include "TestEnv.h"
#include "library/ShownName.h"

#include <QTest>

class tst_ShownName : public QObject {
    Q_OBJECT
private slots:
    // Names keep their letters (emoji, scripts of either direction); control
    // characters show as symbols, anything that reorders text as U+FFFD, and a
    // name with right-to-left letters is one first-strong isolate.
    void shown_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        const QChar isolate(0x2068), pop(0x2069);
        QTest::newRow("plain") << "Screenshot 1.png"
                               << "Screenshot 1.png";
        QTest::newRow("emoji and right-to-left letters")
            << QString::fromUtf8("🎉 صورة.png") << isolate + QString::fromUtf8("🎉 صورة.png") + pop;
        QTest::newRow("line feed and tab")
            << QString::fromUtf8("a\nb\tc.png") << QString::fromUtf8("a↵b�c.png");
        QTest::newRow("delete and a C1 control")
            << QString::fromUtf8("a\x7f") + QChar(0x85) << QString::fromUtf8("a��");
        QTest::newRow("override disguising an extension")
            << QStringLiteral("Screenshot ") + QChar(0x202E) + QStringLiteral("gnp.exe.png")
            << QStringLiteral("Screenshot ") + QChar(0xFFFD) + QStringLiteral("gnp.exe.png");
        QTest::newRow("isolates and marks")
            << QString(QChar(0x2067)) + "x" + QChar(0x2069) + QChar(0x200F)
            << QString(QChar(0xFFFD)) + "x" + QChar(0xFFFD) + QChar(0xFFFD);
    }
    void shown() {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        QCOMPARE(shownName(name), shown);
    }
};

TAMBERK_TEST(tst_ShownName)
#include "tst_ShownName.moc"
