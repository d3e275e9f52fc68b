#include "ShelfRig.h"
#include "TestEnv.h"
#include "shelf/Theme.h"

#include <QSet>
#include <QTest>

namespace {

// A row as comma-separated titles ("+" for an add chip), all or only the lit ones.
QString titles(const std::vector<ChipRows::Chip>& row, bool litOnly = false) {
    QStringList out;
    for (const auto& chip : row)
        if (chip.active || !litOnly)
            out << (chip.def.kind == ChipKind::add ? QStringLiteral("+") : chip.def.title);
    return out.join(',');
}

} // namespace

class tst_ChipRows : public QObject {
    Q_OBJECT
private slots:
    // A leaf shows its parent's level, the main ancestor lit; root and Session show none.
    void rowsPerSelection() {
        for (const auto& [scope, sub, mainLit, subLit] :
             {std::tuple{"session", "", "Session", ""},
              {"folder:/s", "", "s", ""},                         // the root
              {"folder:/s/a", "All a,x,y,+", "a", "All a"},       // first level with subfolders
              {"folder:/s/b", "", "b", ""},                       // first level without
              {"folder:/s/a/y", "All a,x,y,+", "a", "y"},         // second-level leaf
              {"folder:/s/a/x", "All x,deep,+", "a", "All x"}}) { // second level, with a subfolder
            ChipRows rows;
            rows.update(ChipTree().source(), *Scope::fromId(scope));
            QCOMPARE(titles(rows.main()), QStringLiteral("Session,All,s,a,b,+"));
            QCOMPARE(titles(rows.sub()), QString(sub));
            QCOMPARE(rows.subVisible(), *sub != 0);
            QCOMPARE(titles(rows.main(), true), QString(mainLit));
            QCOMPARE(titles(rows.sub(), true), QString(subLit));
        }
    }

    // Scopes, folders, counts, one known symbol per kind; a root without children has no sub row.
    void chipDefs() {
        ChipTree tree;
        ChipRows rows;
        rows.update(tree.source(), Scope::folder("/s/a"));
        const auto& main = rows.main();
        const auto& sub = rows.sub();
        QVERIFY(*main[0].def.scope == Scope::session() && *main[1].def.scope == Scope::all());
        QVERIFY(*main[3].def.scope == Scope::folder("/s/a"));
        QCOMPARE(main[2].def.path, QStringLiteral("/s"));
        QVERIFY(main[5].def.kind == ChipKind::add && main[5].def.path.isEmpty() &&
                !main[5].def.scope);
        QCOMPARE(sub.back().def.path, QStringLiteral("/s/a"));
        QSet<QString> symbols;
        for (const auto* chip : {&main[0], &main[1], &main[2], &main[3], &main[4], &sub[0]}) {
            QVERIFY(Theme::symbol(chip->def.symbol));
            symbols << chip->def.symbol;
        }
        QCOMPARE(symbols.size(), 6);
        QCOMPARE(sub[1].def.symbol, main[3].def.symbol); // x holds deep, a holds x
        QCOMPARE(sub[2].def.symbol, main[4].def.symbol); // y and b are leaves
        QCOMPARE((QList<qint64>{main[0].count, main[1].count, main[3].count, sub[2].count}),
                 (QList<qint64>{4, 20, 12, 0}));

        QHash<QString, QStringList> empty;
        ChipSource bare;
        bare.root = "/shots";
        bare.childMap = &empty;
        bare.listed = [](const QString&) { return true; };
        QVERIFY(rows.update(bare, Scope::folder("/shots")).mainRebuilt);
        QCOMPARE(titles(rows.main()), QStringLiteral("Session,All,shots,+"));
        QVERIFY(!rows.subVisible());
    }

    // Only a changed row is rebuilt, and only touched chips are refreshed.
    void rebuildsOnlyOnSignatureChange() {
        ChipTree tree;
        ChipRows rows;
        ChipRows::Update u = rows.update(tree.source(), Scope::folder("/s/a/x"));
        QVERIFY(u.mainRebuilt && u.subRebuilt && u.subVisibleChanged);
        u = rows.update(tree.source(), Scope::folder("/s/a/y")); // x's level gives way to a's
        QVERIFY(!u.mainRebuilt && u.subRebuilt && !u.subVisibleChanged);
        u = rows.update(tree.source(), Scope::folder("/s/a/y"));
        QVERIFY(!u.mainRebuilt && !u.subRebuilt && !u.subVisibleChanged);
        QVERIFY(u.mainChanged.empty() && u.subChanged.empty());

        ChipSource counted = tree.source();
        counted.counts.perFolder["/s/b"] = 9;
        counted.counts.session = 5;
        u = rows.update(counted, Scope::folder("/s/a/y"));
        QVERIFY(!u.mainRebuilt && !u.subRebuilt);
        QCOMPARE(u.mainChanged, (std::vector<int>{0, 4}));
        QCOMPARE(rows.main()[4].count, 9);

        u = rows.update(counted, Scope::all());
        QVERIFY(u.subRebuilt && u.subVisibleChanged);
        QVERIFY(rows.sub().empty() && rows.subSignature().isEmpty());
        QCOMPARE(u.mainChanged, (std::vector<int>{1, 3})); // All lit, a no longer

        tree.childMap["/s"].append("/s/c");
        u = rows.update(tree.source(), Scope::all());
        QVERIFY(u.mainRebuilt && !u.subRebuilt);
        QCOMPARE(rows.main().size(), size_t(7));
        QCOMPARE(rows.firstActive(true), 1);
        QCOMPARE(rows.firstActive(false), -1);
    }

    // A selected folder the library no longer lists drops the sub row.
    void unlistedSelectionDropsTheSubRow() {
        ChipTree tree;
        ChipRows rows;
        rows.update(tree.source(), Scope::folder("/s/a"));
        QVERIFY(rows.subVisible());
        tree.listed.remove("/s/a");
        const ChipRows::Update u = rows.update(tree.source(), Scope::folder("/s/a"));
        QVERIFY(!rows.subVisible());
        QVERIFY(u.subRebuilt && u.subVisibleChanged);
        QVERIFY(rows.sub().empty());
    }
};

TAMBERK_TEST(tst_ChipRows)
#include "tst_ChipRows.moc"
