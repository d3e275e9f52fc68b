#include "LibrarySupport.h"

#include <QTemporaryDir>

using namespace LibrarySupport;

class tst_LibraryQuery : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_root = m_dir.path() + "/Shots";
        QDir().mkpath(m_root);
        Prefs::shared().set(Key::onlyShots, true);
        Prefs::shared().set(Key::includeSub, true);
        Prefs::shared().set(Key::session, QStringLiteral("boot"));
        Prefs::shared().set(Key::sessionReset, 0.0);
    }

    void cleanup() {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    // Scope identifiers round-trip; anything else, even another capitalisation, gives no scope.
    void scopeIdentifiers() {
        for (const char* id : {"session", "all", "folder:/a/b c", "folder:"})
            QCOMPARE(Scope::fromId(id)->id(), QString(id));
        for (const char* id : {"Session", " all", "folder"})
            QVERIFY(!Scope::fromId(id));
    }

    // A shot in A/B counts for A but not the root or AB; queries are trimmed and need every piece.
    void nestedFoldersAndSiblingPrefixes() {
        shot(m_root, "A/B/deep.png", 10);
        shot(m_root, "AB/sibling.png", 20);
        shot(m_root, "Screenshot top.png", 30);
        auto lib = loaded(m_root);
        QVERIFY(lib);
        QCOMPARE(lib->counts().perFolder.value(m_root + "/A"), 1);
        QCOMPARE(lib->counts().perFolder.value(m_root), 1);
        QCOMPARE(paths(lib->shots(Scope::folder(m_root + "/A"), {})),
                 QStringList{m_root + "/A/B/deep.png"});
        QCOMPARE(paths(lib->shots(Scope::all(), {})),
                 QStringList({m_root + "/A/B/deep.png", m_root + "/AB/sibling.png",
                              m_root + "/Screenshot top.png"}));
        QCOMPARE(lib->shots(Scope::all(), "\n \t").size(), 3); // a blank query is none
        QCOMPARE(paths(lib->shots(Scope::all(), "  top SCREENSHOT\n")),
                 QStringList{m_root + "/Screenshot top.png"});
        QVERIFY(lib->shots(Scope::all(), "deep sibling").isEmpty()); // every piece must match
        Prefs::shared().set(Key::includeSub, false);
        QCOMPARE(lib->counts().all, 1);
    }

    // The session starts exactly at its start second and honours "only screenshots".
    void sessionContents() {
        // After the boot, which may be only minutes ago on a fresh machine.
        const double start =
            std::max(double(QDateTime::currentSecsSinceEpoch()) - 1000, Prefs::bootDate() + 2);
        setModified(shot(m_root, "Screenshot before.png"), start - 1);
        setModified(shot(m_root, "Screenshot at.png"), start);
        setModified(shot(m_root, "Sub/holiday.png"), start + 10);
        auto lib = loaded(m_root);
        QVERIFY(lib);
        Prefs::shared().set(Key::sessionReset, start);
        QCOMPARE(paths(lib->shots(Scope::session(), {})),
                 QStringList{m_root + "/Screenshot at.png"});
        Prefs::shared().set(Key::onlyShots, false);
        QCOMPARE(lib->counts().session, 2);
    }

    // `unique` never hands out a taken name, not even a dangling link's.
    void uniqueNames() {
        writeFile(m_root + "/photo.png");
        writeFile(m_root + "/photo 2.png");
        QDir().mkpath(m_root + "/Archive");
        writeFile(m_root + "/.hidden");
        QVERIFY(QFile::link(m_root + "/nowhere", m_root + "/link.png"));
        QCOMPARE(Library::unique(m_root + "/photo.png"), m_root + "/photo 3.png");
        QCOMPARE(Library::unique(m_root + "/Archive"), m_root + "/Archive 2");
        QCOMPARE(Library::unique(m_root + "/.hidden"), m_root + "/.hidden 2");
        QCOMPARE(Library::unique(m_root + "/link.png"), m_root + "/link 2.png");
    }

private:
    QTemporaryDir m_dir;
    QString m_root;
};

TAMBERK_TEST(tst_LibraryQuery)
#include "tst_LibraryQuery.moc"
