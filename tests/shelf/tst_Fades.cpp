#include "TestEnv.h"
#include "shelf/Fade.h"

#include <QTest>

class tst_Fades : public QObject {
    Q_OBJECT
private slots:
    // Counts flipping within one fade end in the last count's state; a kept state does nothing.
    void selectionFadesInterleaved() {
        for (const QList<int>& counts : {QList<int>{3, 0}, {3, 0, 2}, {3, 5}, {0}}) {
            motion::Animator animator(0.0);
            int changes = 0;
            SelectionFade fade([&] { ++changes; }, &animator);
            double t = 0;
            for (int n : counts) {
                fade.update(n);
                animator.advanceTo(t += SelectionFade::duration / 3); // inside the last fade
            }
            const bool shown = counts.last() > 0;
            QVERIFY(shown || counts.size() == 1 || fade.barVisible());
            animator.advanceTo(t + 1);
            QCOMPARE(fade.barVisible(), shown);
            QCOMPARE(fade.barOpacity(), shown ? 1.0 : 0.0);
            QCOMPARE(fade.headerOpacity(), shown ? 0.0 : 1.0);
            QCOMPARE(fade.shown(), shown);
            QCOMPARE(changes > 0, counts != QList<int>{0});
        }
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
};

TAMBERK_TEST(tst_Fades)
#include "tst_Fades.moc"
