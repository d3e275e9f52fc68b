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

    // A shot in A/B counts for A but not the root or AB; queries are trimmed and need every
    // piece; the session starts exactly at its start second and honours "only screenshots".
    void countsAndQueries() {
        LibraryRig r(true);
        // After the boot, which may be only minutes ago on a fresh machine.
        const double start =
            std::max(double(QDateTime::currentSecsSinceEpoch()) - 1000, Prefs::bootDate() + 2);
        const QStringList all{shot(r.root, "A/B/deep.png"), shot(r.root, "AB/sibling.png"),
                              shot(r.root, "Screenshot top.png")};
        for (int i = 0; i < 3; ++i)
            setModified(all[i], start - i);
        setModified(shot(r.root, "Screenshot before.png"), start - 3);
        QVERIFY(r.load());
        QCOMPARE(r.lib->counts().perFolder.value(r.root + "/A"), 1);
        QCOMPARE(r.lib->counts().perFolder.value(r.root), 2);
        QCOMPARE(paths(r.lib->shots(Scope::folder(r.root + "/A"), {})), QStringList{all[0]});
        QCOMPARE(paths(r.lib->shots(Scope::all(), "\n \t")).mid(0, 3),
                 all); // a blank query is none
        QCOMPARE(paths(r.lib->shots(Scope::all(), "  top SCREENSHOT\n")), QStringList{all[2]});
        QVERIFY(r.lib->shots(Scope::all(), "deep sibling").isEmpty());
        Prefs::shared().set(Key::sessionReset, start - 2);
        QCOMPARE(paths(r.lib->shots(Scope::session(), {})), QStringList{all[2]});
        Prefs::shared().set(Key::onlyShots, false);
        QCOMPARE(r.lib->counts().session, 3);
        Prefs::shared().set(Key::includeSub, false);
        QCOMPARE(r.lib->counts().all, 2);
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
