#include "LibrarySupport.h"

using namespace LibrarySupport;

class tst_LibraryQuery : public QObject {
    Q_OBJECT
private slots:
    // Scope identifiers round-trip; anything else, even another capitalisation, gives no scope.
    void scopeIdentifiers() {
        for (const char* id : {"session", "all", "folder:/a/b c", "folder:"})
            QCOMPARE(Scope::fromId(id)->id(), QString(id));
        for (const char* id : {"Session", " all", "folder"})
            QVERIFY(!Scope::fromId(id));
    }

    // A shot in A/B counts for A but not the root or AB; queries are trimmed and need every piece.
    void nestedFoldersAndSiblingPrefixes() {
        LibraryRig r(true);
        shot(r.root, "A/B/deep.png", 10);
        shot(r.root, "AB/sibling.png", 20);
        shot(r.root, "Screenshot top.png", 30);
        QVERIFY(r.load());
        Library* lib = r.lib.get();
        QCOMPARE(lib->counts().perFolder.value(r.root + "/A"), 1);
        QCOMPARE(lib->counts().perFolder.value(r.root), 1);
        QCOMPARE(paths(lib->shots(Scope::folder(r.root + "/A"), {})),
                 QStringList{r.root + "/A/B/deep.png"});
        QCOMPARE(paths(lib->shots(Scope::all(), {})),
                 QStringList({r.root + "/A/B/deep.png", r.root + "/AB/sibling.png",
                              r.root + "/Screenshot top.png"}));
        QCOMPARE(lib->shots(Scope::all(), "\n \t").size(), 3); // a blank query is none
        QCOMPARE(paths(lib->shots(Scope::all(), "  top SCREENSHOT\n")),
                 QStringList{r.root + "/Screenshot top.png"});
        QVERIFY(lib->shots(Scope::all(), "deep sibling").isEmpty()); // every piece must match
        Prefs::shared().set(Key::includeSub, false);
        QCOMPARE(lib->counts().all, 1);
    }

    // The session starts exactly at its start second and honours "only screenshots".
    void sessionContents() {
        LibraryRig r(true);
        // After the boot, which may be only minutes ago on a fresh machine.
        const double start =
            std::max(double(QDateTime::currentSecsSinceEpoch()) - 1000, Prefs::bootDate() + 2);
        setModified(shot(r.root, "Screenshot before.png"), start - 1);
        setModified(shot(r.root, "Screenshot at.png"), start);
        setModified(shot(r.root, "Sub/holiday.png"), start + 10);
        QVERIFY(r.load());
        Library* lib = r.lib.get();
        Prefs::shared().set(Key::sessionReset, start);
        QCOMPARE(paths(lib->shots(Scope::session(), {})),
                 QStringList{r.root + "/Screenshot at.png"});
        Prefs::shared().set(Key::onlyShots, false);
        QCOMPARE(lib->counts().session, 2);
    }

    // `unique` never hands out a taken name, not even a dangling link's.
    void uniqueNames() {
        LibraryRig r(true);
        writeFile(r.root + "/photo.png");
        writeFile(r.root + "/photo 2.png");
        QDir().mkpath(r.root + "/Archive");
        writeFile(r.root + "/.hidden");
        QVERIFY(QFile::link(r.root + "/nowhere", r.root + "/link.png"));
        QCOMPARE(Library::unique(r.root + "/photo.png"), r.root + "/photo 3.png");
        QCOMPARE(Library::unique(r.root + "/Archive"), r.root + "/Archive 2");
        QCOMPARE(Library::unique(r.root + "/.hidden"), r.root + "/.hidden 2");
        QCOMPARE(Library::unique(r.root + "/link.png"), r.root + "/link 2.png");
    }
};

TAMBERK_TEST(tst_LibraryQuery)
#include "tst_LibraryQuery.moc"
