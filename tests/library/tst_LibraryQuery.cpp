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

    // A shot in A/B counts for A but not the root or AB; queries are trimmed
    // and need every piece.
    void nestedFoldersAndSiblingPrefixes() {
        LibraryRig r(true);
        const QStringList all{shot(r.root, "A/B/deep.png", 10), shot(r.root, "AB/sibling.png", 20),
                              shot(r.root, "Screenshot top.png", 30)};
        QVERIFY(r.load());
        QCOMPARE(r.lib->counts().perFolder.value(r.root + "/A"), 1);
        QCOMPARE(r.lib->counts().perFolder.value(r.root), 1);
        QCOMPARE(paths(r.lib->shots(Scope::folder(r.root + "/A"), {})), QStringList{all[0]});
        QCOMPARE(paths(r.lib->shots(Scope::all(), {})), all);
        QCOMPARE(paths(r.lib->shots(Scope::all(), "\n \t")), all); // a blank query is none
        QCOMPARE(paths(r.lib->shots(Scope::all(), "  top SCREENSHOT\n")), QStringList{all[2]});
        QVERIFY(r.lib->shots(Scope::all(), "deep sibling").isEmpty());
        Prefs::shared().set(Key::includeSub, false);
        QCOMPARE(r.lib->counts().all, 1);
    }

    // The session starts exactly at its start second and honours "only screenshots".
    void sessionContents() {
        LibraryRig r(true);
        // After the boot, which may be only minutes ago on a fresh machine.
        const double start =
            std::max(double(QDateTime::currentSecsSinceEpoch()) - 1000, Prefs::bootDate() + 2);
        setModified(shot(r.root, "Screenshot before.png"), start - 1);
        const QString at = shot(r.root, "Screenshot at.png");
        setModified(at, start);
        setModified(shot(r.root, "Sub/holiday.png"), start + 10);
        QVERIFY(r.load());
        Prefs::shared().set(Key::sessionReset, start);
        QCOMPARE(paths(r.lib->shots(Scope::session(), {})), QStringList{at});
        Prefs::shared().set(Key::onlyShots, false);
        QCOMPARE(r.lib->counts().session, 2);
    }

    // `unique` never hands out a taken name, not even a dangling link's.
    void uniqueNames() {
        TestEnv env;
        const QString dir = env.home();
        writeFile(dir + "/photo.png");
        writeFile(dir + "/photo 2.png");
        writeFile(dir + "/.hidden");
        QVERIFY(QFile::link(dir + "/nowhere", dir + "/link.png"));
        QCOMPARE(Library::unique(dir + "/photo.png"), dir + "/photo 3.png");
        QCOMPARE(Library::unique(env.mkdir("Archive")), dir + "/Archive 2");
        QCOMPARE(Library::unique(dir + "/.hidden"), dir + "/.hidden 2");
        QCOMPARE(Library::unique(dir + "/link.png"), dir + "/link 2.png");
    }
};

TAMBERK_TEST(tst_LibraryQuery)
#include "tst_LibraryQuery.moc"
