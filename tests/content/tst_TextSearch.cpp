#include "TestEnv.h"
#include "content/TextSearch.h"

#include <QRandomGenerator>
#include <QTest>
#include <string_view>

class tst_TextSearch : public QObject {
    Q_OBJECT
private slots:
    // The vectorised search agrees with a plain one for every needle length
    // and position, across the block boundaries of its loops and at the end.
    void agreesWithPlainSearch() {
        QRandomGenerator rng(11);
        for (int round = 0; round < 4000; ++round) {
            const int n = int(rng.bounded(140));
            QByteArray hay(n, 'a');
            for (char& c : hay)
                c = char('a' + rng.bounded(3)); // a small alphabet makes near misses common
            const int k = 1 + int(rng.bounded(9));
            QByteArray needle(k, 'a');
            if (n >= k && rng.bounded(2) == 0)
                needle = hay.mid(rng.bounded(n - k + 1), k);
            else
                for (char& c : needle)
                    c = char('a' + rng.bounded(3));
            const bool expected = std::string_view(hay.constData(), size_t(n))
                                      .find(std::string_view(needle.constData(), size_t(k))) !=
                                  std::string_view::npos;
            QVERIFY2(TextSearch::contains(hay.constData(), n, needle.constData(), k) == expected,
                     needle + " in " + hay);
        }
    }

    // The pair filter never rules out a text that holds the word.
    void pairsHaveNoFalseNegatives() {
        const QByteArray text = "invoice payment overdue\nscreenshot 2024-05-01 at 10.42.png";
        const TextSearch::Pairs pairs = TextSearch::pairsOf(text);
        for (int from = 0; from < text.size(); ++from)
            for (int length = 2; from + length <= text.size(); ++length)
                QVERIFY(TextSearch::hasPairs(pairs, TextSearch::pairsOf(text.mid(from, length))));
        QVERIFY(!TextSearch::hasPairs(pairs, TextSearch::pairsOf("zebra")));
    }
};

TAMBERK_TEST(tst_TextSearch)
#include "tst_TextSearch.moc"
