#include "TestEnv.h"
#include "shelf/Fade.h"
#include "shelf/Motion.h"

#include <QTest>

using namespace motion;

namespace {

// When a spring from rest is last 0.001 of its travel off its end, by RK4: an oracle.
double numericSettle(double m, double k, double c) {
    const double h = 0.0001;
    double x = 1, v = 0, last = 0;
    for (double t = 0; t < 20; t += h) {
        if (std::abs(x) > 0.001)
            last = t;
        auto acc = [&](double px, double pv) { return (-k * px - c * pv) / m; };
        const double k1x = v, k1v = acc(x, v);
        const double k2x = v + h / 2 * k1v, k2v = acc(x + h / 2 * k1x, v + h / 2 * k1v);
        const double k3x = v + h / 2 * k2v, k3v = acc(x + h / 2 * k2x, v + h / 2 * k2v);
        const double k4x = v + h * k3v, k4v = acc(x + h * k3x, v + h * k3v);
        x += h / 6 * (k1x + 2 * k2x + 2 * k3x + k4x);
        v += h / 6 * (k1v + 2 * k2v + 2 * k3v + k4v);
    }
    return last;
}

} // namespace

class tst_Motion : public QObject {
    Q_OBJECT
private slots:
    // The closed-form envelope alone would stop too early near critical damping.
    void springSettlesWhenTheSolveDoes() {
        // Near critical, critical, over-damped, and an under-damped heavy one.
        for (const auto& [mass, stiffness, damping] : {std::tuple{1.0, 300.0, 30.0},
                                                       {1.0, 100.0, 20.0},
                                                       {1.0, 100.0, 45.0},
                                                       {3.0, 200.0, 12.0}}) {
            const Spring spring{mass, stiffness, damping};
            const double expected = numericSettle(mass, stiffness, damping);
            QVERIFY2(std::abs(spring.settlingDuration() - expected) < 0.0025,
                     qPrintable(QStringLiteral("closed form %1 s, numeric %2 s")
                                    .arg(spring.settlingDuration())
                                    .arg(expected)));
            QVERIFY(std::abs(spring.at(0)) < 1e-12);
            QVERIFY(std::abs(spring.at(spring.settlingDuration() + 0.002) - 1) <= 0.001);
        }
    }

    // A spring starts at its from value, overshoots when under-damped, ends at its settling time.
    void springAnimationEndpoints() {
        Animator animator(10.0);
        Layer layer({}, &animator);
        const Spring bouncy{1, 280, 8};
        layer.add("bulge", Animation::spring(Prop::ScaleX, 1.5, 1.0, bouncy));
        QCOMPARE(layer.value(Prop::ScaleX, 7.0), 1.5);
        double lowest = 2;
        for (double t = 0; t < bouncy.settlingDuration(); t += 0.005) {
            animator.advanceTo(10.0 + t);
            lowest = std::min(lowest, layer.value(Prop::ScaleX, 7.0));
        }
        QVERIFY(lowest < 1.0);
        animator.advanceTo(10.0 + bouncy.settlingDuration() + 0.001);
        QCOMPARE(layer.value(Prop::ScaleX, 7.0), 7.0);
        QVERIFY(!layer.animating());
    }

    // Replacement (reported unfinished), delays, fills, key frames and repeats on one clock.
    void valuesOverTime() {
        Animator animator(0.0);
        Layer layer({}, &animator), backwards({}, &animator), forwards({}, &animator);
        QList<bool> first, other;
        layer.add("slide", Animation::basic(Prop::TranslationX, 0, 100, 1.0).onDone([&](bool f) {
            first << f;
        }));
        layer.add("fade",
                  Animation::basic(Prop::Opacity, 0, 1, 1.0).onDone([&](bool f) { other << f; }));
        layer.add("delayed", Animation::basic(Prop::ScaleX, 0.2, 0.8, 0.2).delayed(0.1));
        backwards.add("a",
                      Animation::basic(Prop::Opacity, 0.2, 0.8, 0.2).delayed(0.1).fillBackwards());
        forwards.add("a", Animation::basic(Prop::Opacity, 0.2, 0.8, 0.2).fillForwards());
        forwards.add("develop",
                     Animation::keyFrames(Prop::ScaleX, {0.9, 0.55, 0}, {0, 0.25, 1}, 1.2));
        backwards.add("advance", Animation::basic(Prop::Param, 0, -14, 0.16).repeated(6));
        animator.advanceTo(0.05);
        QCOMPARE(layer.value(Prop::ScaleX, 1.0), 1.0);
        QCOMPARE(backwards.value(Prop::Opacity, 1.0), 0.2);
        animator.advanceTo(0.2);
        QVERIFY(std::abs(layer.value(Prop::ScaleX, 1.0) - 0.5) < 1e-9);
        animator.advanceTo(0.3);
        QVERIFY(std::abs(forwards.value(Prop::ScaleX, 0) - 0.55) < 1e-9);
        QCOMPARE(forwards.value(Prop::Opacity, 1.0), 0.8);
        animator.advanceTo(0.5);
        QCOMPARE(layer.value(Prop::ScaleX, 1.0), 1.0);
        QCOMPARE(layer.value(Prop::TranslationX, 0), 50.0);
        layer.add("slide", Animation::basic(Prop::TranslationX, 10, 20, 1.0));
        QCOMPARE(first, QList<bool>{false});
        QCOMPARE(layer.value(Prop::TranslationX, 0), 10.0);
        animator.advanceTo(0.75);
        QVERIFY(std::abs(forwards.value(Prop::ScaleX, 0) - 0.275) < 1e-9);
        // 0.75 s is 0.11 s into the fifth repetition of 0.16 s; six end at 0.96 s.
        QVERIFY(std::abs(backwards.value(Prop::Param, 0) - (-14 * 0.11 / 0.16)) < 1e-9);
        animator.advanceTo(0.95);
        QVERIFY(backwards.animating());
        animator.advanceTo(1.0);
        QVERIFY(!backwards.animating());
        QCOMPARE(layer.value(Prop::TranslationX, 0), 15.0);
        QCOMPARE(other, QList<bool>{true});
        QCOMPARE(first.size(), 1);
        animator.advanceTo(1.6); // a held end value needs no frames
        QVERIFY(forwards.has("a") && !animator.ticking());
        forwards.remove("a");
        QCOMPARE(forwards.value(Prop::Opacity, 1.0), 1.0);
    }

    // Cubic timing against a dense sampling, also where x's slope vanishes (x2 = 1).
    void cubicTimingMatchesTheCurve() {
        const double x1 = 0.25, y1 = 0.9, x2 = 1.0, y2 = 0.6;
        const Timing curve(x1, y1, x2, y2);
        for (int i = 0; i <= 2000; ++i) {
            const double t = i / 2000.0, u = 1 - t;
            const double x = 3 * u * u * t * x1 + 3 * u * t * t * x2 + t * t * t;
            const double y = 3 * u * u * t * y1 + 3 * u * t * t * y2 + t * t * t;
            QVERIFY2(std::abs(curve.at(x) - y) < 1e-4, qPrintable(QString::number(x)));
        }
    }

    // Completions fire for zero durations and, with animations off, at once.
    void completionsAlwaysFire() {
        Animator animator(0.0);
        Layer layer({}, &animator);
        int done = 0;
        layer.add("none",
                  Animation::basic(Prop::Opacity, 1, 0, 0).onDone([&](bool f) { done += f; }));
        QVERIFY(animator.ticking());
        animator.advanceTo(0.0);
        QCOMPARE(done, 1);
        animator.setEnabled(false);
        layer.add("long",
                  Animation::basic(Prop::Opacity, 1, 0, 30).fillForwards().onDone([&](bool f) {
                      done += f;
                  }));
        QCOMPARE(layer.value(Prop::Opacity, 5), 0.0);
        animator.advanceTo(0.001);
        QCOMPARE(done, 2);
    }

    // A layer destroyed by another's repaint in the same frame is not called afterwards.
    void destroyedDuringAFrame() {
        Animator animator(0.0);
        auto victim = std::make_unique<Layer>(nullptr, &animator);
        int victimRepaints = 0;
        Layer killer([&] { victim.reset(); }, &animator);
        victim->setChanged([&] { ++victimRepaints; });
        killer.add("a", Animation::basic(Prop::Opacity, 0, 1, 1));
        victim->add("a", Animation::basic(Prop::Opacity, 0, 1, 1));
        animator.advanceTo(0.5);
        QCOMPARE(victimRepaints, 0);
        QVERIFY(!victim);
        animator.advanceTo(2);
        QVERIFY(!animator.ticking());
    }

    // One repaint per moving frame; a settled layer rejoins once per new animation.
    void settledLayersRejoin() {
        Animator animator(0.0);
        int repaints = 0;
        Layer layer([&] { ++repaints; }, &animator);
        Layer other({}, &animator);
        other.add("long", Animation::basic(Prop::Opacity, 0, 1, 10));
        layer.add("a", Animation::basic(Prop::Opacity, 0, 1, 0.1));
        for (double t = 0.02; t < 0.2; t += 0.02)
            animator.advanceTo(t);
        QCOMPARE(repaints, 5);       // frames at 0.02 … 0.10
        QVERIFY(!layer.animating()); // settled: out of the live list
        layer.add("b", Animation::basic(Prop::Opacity, 0, 1, 0.1));
        layer.add("c", Animation::basic(Prop::ScaleX, 0, 1, 0.1));
        repaints = 0;
        animator.advanceTo(0.25);
        QCOMPARE(repaints, 1); // one entry, one repaint per frame
        QCOMPARE(layer.value(Prop::Opacity, 7), 0.5);

        // From inside a frame: the repaint of the settling frame starts the next one.
        bool again = true;
        layer.setChanged([&] {
            if (again && !layer.has("d")) {
                again = false;
                layer.add("d", Animation::basic(Prop::Opacity, 1, 0, 0.1));
            }
        });
        animator.advanceTo(0.35); // "b" and "c" end here
        animator.advanceTo(0.40);
        QCOMPARE(layer.value(Prop::Opacity, 7), 0.5);
        {
            std::vector<std::unique_ptr<Layer>> idle;
            for (int i = 0; i < 1000; ++i)
                idle.push_back(std::make_unique<Layer>(nullptr, &animator));
        }
        animator.advanceTo(5.0);
        QCOMPARE(other.value(Prop::Opacity, 7), 0.5);
        QVERIFY(animator.ticking());
        animator.advanceTo(11);
        QVERIFY(!animator.ticking());
    }

    // An idle app has no animation timer; frame callbacks keep it until removed.
    void realTickerStops() {
        Animator animator;
        Layer layer({}, &animator);
        bool finished = false;
        layer.add("fade", Animation::basic(Prop::Opacity, 0, 1, 0.05).onDone([&](bool f) {
            finished = f;
        }));
        QVERIFY(animator.ticking());
        QTRY_VERIFY(finished);
        QVERIFY(!animator.ticking());
        int frames = 0;
        const int id = animator.addFrameCallback([&](double) { ++frames; });
        QTRY_VERIFY(frames >= 3);
        animator.removeFrameCallback(id);
        QVERIFY(!animator.ticking());
    }

    // Counts flipping within one fade end in the last count's state; a kept state does nothing.
    void selectionFadesInterleaved() {
        for (const QList<int>& counts : {QList<int>{3, 0}, {3, 0, 2}, {3, 5}, {0}}) {
            Animator animator(0.0);
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
        Animator animator(0.0);
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

TAMBERK_TEST(tst_Motion)
#include "tst_Motion.moc"
