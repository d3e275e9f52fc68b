#include "TestEnv.h"
#include "shelf/Fade.h"
#include "shelf/Scheduler.h"

#include <QTest>

class tst_Fades : public QObject {
    Q_OBJECT
private slots:
    // Selection counts that flip within one fade end in the state of the last
    // count: 3 then 0 hides the bar and restores the header; 0 then 2 during the
    // fade-out keeps the bar; a count that keeps the state changes nothing.
    void selectionFadesInterleaved_data() {
        QTest::addColumn<QList<int>>("counts");
        QTest::addColumn<bool>("barVisible");
        QTest::addColumn<double>("barOpacity");
        QTest::addColumn<double>("headerOpacity");
        QTest::newRow("3 then 0") << QList<int>{3, 0} << false << 0.0 << 1.0;
        QTest::newRow("3, 0, 2") << QList<int>{3, 0, 2} << true << 1.0 << 0.0;
        QTest::newRow("3 then 5") << QList<int>{3, 5} << true << 1.0 << 0.0;
        QTest::newRow("0 alone") << QList<int>{0} << false << 0.0 << 1.0;
    }
    void selectionFadesInterleaved() {
        QFETCH(QList<int>, counts);
        QFETCH(bool, barVisible);
        QFETCH(double, barOpacity);
        QFETCH(double, headerOpacity);
        motion::Animator animator(0.0);
        int changes = 0;
        SelectionFade fade([&] { ++changes; }, &animator);
        double t = 0;
        for (int n : counts) {
            fade.update(n);
            t += 0.05; // every change lands inside the previous 0.16 s fade
            animator.advanceTo(t);
        }
        // Halfway through the last fade nothing has been decided yet.
        if (counts.size() > 1 && barVisible == false)
            QVERIFY(fade.barVisible());
        animator.advanceTo(t + 1);
        QCOMPARE(fade.barVisible(), barVisible);
        QCOMPARE(fade.barOpacity(), barOpacity);
        QCOMPARE(fade.headerOpacity(), headerOpacity);
        QCOMPARE(fade.shown(), counts.last() > 0);
        QVERIFY(counts == QList<int>{0} ? changes == 0 : changes > 0);
    }

    // A reversed fade starts from what is on screen rather than jumping to either end.
    void reversalStartsFromTheScreen() {
        motion::Animator animator(0.0);
        Fade fade(0, {}, &animator);
        fade.fadeTo(1, 0.2);
        animator.advanceTo(0.1);
        const double halfway = fade.value();
        QVERIFY(halfway > 0.2 && halfway < 0.8);
        fade.fadeTo(0, 0.2);
        QCOMPARE(fade.value(), halfway);
        QCOMPARE(fade.target(), 0.0);
        animator.advanceTo(0.31);
        QCOMPARE(fade.value(), 0.0);
        QVERIFY(!fade.fading());
    }

    // Manual time runs due tasks in deadline order, skips cancelled ones, and lets
    // a task schedule another that falls inside the same advance.
    void manualSchedulerOrder() {
        motion::Animator animator(0.0);
        ManualScheduler scheduler(0, &animator);
        QStringList ran;
        scheduler.schedule(1.6, [&] { ran << QString("late@%1").arg(animator.now()); });
        const int dropped = scheduler.schedule(0.5, [&] { ran << "dropped"; });
        scheduler.schedule(0.2, [&] {
            ran << QString("early@%1").arg(animator.now());
            scheduler.schedule(0.3, [&] { ran << QString("chained@%1").arg(scheduler.now()); });
        });
        scheduler.cancel(dropped);
        scheduler.advanceTo(1.0);
        QCOMPARE(ran, (QStringList{"early@0.2", "chained@0.5"}));
        QCOMPARE(scheduler.pending(), 1);
        scheduler.advanceTo(2.0);
        QCOMPARE(ran.last(), QStringLiteral("late@1.6"));
        QCOMPARE(animator.now(), 2.0);
    }
};

TAMBERK_TEST(tst_Fades)
#include "tst_Fades.moc"
