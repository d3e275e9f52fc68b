#include "LibrarySupport.h"

#include <QTemporaryDir>

using namespace LibrarySupport;

class tst_LibraryQuery : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_root = m_dir.path() + QStringLiteral("/Shots");
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

    // Scope identifiers round-trip; anything else, including a differently
    // capitalised word, gives no scope.
    void scopeIdentifiers() {
        for (const char* id : {"session", "all", "folder:/a/b c", "folder:"})
            QCOMPARE(Scope::fromId(id)->id(), QString(id));
        for (const char* id : {"Session", " all", "folder"})
            QVERIFY(!Scope::fromId(id));
    }

    // A shot in root/A/B counts for A/B and A but not for the root; the scope
    // of A includes it, the scope of the root does not, and the sibling AB
    // is a different folder altogether. With subfolders excluded, `all` is
    // the root's own shots; with them included, every shot, newest first.
    void nestedFoldersAndSiblingPrefixes() {
        shot(m_root, QStringLiteral("A/B/deep.png"), 10);
        shot(m_root, QStringLiteral("AB/sibling.png"), 20);
        shot(m_root, QStringLiteral("Screenshot top.png"), 30);
        QDir().mkpath(m_root + QStringLiteral("/Empty"));
        auto lib = loaded(m_root);
        QVERIFY(lib);
        const Library::Counts counts = lib->counts();
        QCOMPARE(counts.perFolder.value(m_root + "/A/B"), 1);
        QCOMPARE(counts.perFolder.value(m_root + "/A"), 1);
        QCOMPARE(counts.perFolder.value(m_root + "/AB"), 1);
        QCOMPARE(counts.perFolder.value(m_root), 1);
        QCOMPARE(paths(lib->shots(Scope::folder(m_root + "/A"), {})),
                 QStringList{m_root + "/A/B/deep.png"});
        QCOMPARE(paths(lib->shots(Scope::folder(m_root), {})),
                 QStringList{m_root + "/Screenshot top.png"});
        QCOMPARE(lib->folders(),
                 QStringList({m_root + "/A", m_root + "/A/B", m_root + "/AB", m_root + "/Empty"}));
        QCOMPARE(paths(lib->shots(Scope::all(), {})),
                 QStringList({m_root + "/A/B/deep.png", m_root + "/AB/sibling.png",
                              m_root + "/Screenshot top.png"}));
        QCOMPARE(counts.all, 3);
        Prefs::shared().set(Key::includeSub, false);
        QCOMPARE(lib->shots(Scope::all(), {}).size(), 1);
        QCOMPARE(lib->counts().all, 1);
    }

    // The session holds only screenshots when "only screenshots" is on, and
    // starts exactly at its start second, read per query.
    void sessionContents() {
        const double start = nowSeconds() - 1000;
        setModified(shot(m_root, QStringLiteral("Screenshot before.png")), start - 1);
        setModified(shot(m_root, QStringLiteral("Screenshot at.png")), start);
        setModified(shot(m_root, QStringLiteral("Sub/holiday.png")), start + 10);
        auto lib = loaded(m_root);
        QVERIFY(lib);
        Prefs::shared().set(Key::sessionReset, start);
        QCOMPARE(lib->shots(Scope::all(), {}).size(), 3);
        QCOMPARE(paths(lib->shots(Scope::session(), {})),
                 QStringList{m_root + "/Screenshot at.png"});
        QCOMPARE(lib->counts().session, 1);
        Prefs::shared().set(Key::sessionReset, start - 1);
        QCOMPARE(lib->counts().session, 2);
        Prefs::shared().set(Key::onlyShots, false);
        QCOMPARE(lib->shots(Scope::session(), {}).size(), 3);
        QCOMPARE(lib->counts().session, 3);
    }

    // A query is trimmed of spaces and line breaks; one of only spaces is no
    // query; every piece must match.
    void queriesAreTrimmed() {
        shot(m_root, QStringLiteral("Screenshot invoice march.png"), 20);
        shot(m_root, QStringLiteral("Screenshot receipt.png"), 10);
        auto lib = loaded(m_root);
        QVERIFY(lib);
        const QStringList invoice{m_root + "/Screenshot invoice march.png"};
        QCOMPARE(lib->shots(Scope::all(), QStringLiteral("\n \t")).size(), 2);
        QCOMPARE(paths(lib->shots(Scope::all(), QStringLiteral("  INVOICE\n"))), invoice);
        QCOMPARE(paths(lib->shots(Scope::all(), QStringLiteral("march invoice"))), invoice);
        QVERIFY(lib->shots(Scope::all(), QStringLiteral("invoice receipt")).isEmpty());
    }

    // `unique` never hands out a taken name (file, folder, hidden entry or
    // dangling link): it adds " 2", " 3", … before the extension.
    void uniqueNames() {
        writeFile(m_root + QStringLiteral("/photo.png"));
        writeFile(m_root + QStringLiteral("/photo 2.png"));
        QDir().mkpath(m_root + QStringLiteral("/Archive"));
        writeFile(m_root + QStringLiteral("/.hidden"));
        QVERIFY(QFile::link(m_root + "/nowhere", m_root + "/link.png"));
        QCOMPARE(Library::unique(m_root + "/photo.png"), m_root + "/photo 3.png");
        QCOMPARE(Library::unique(m_root + "/Archive"), m_root + "/Archive 2");
        QCOMPARE(Library::unique(m_root + "/free.png"), m_root + "/free.png");
        QCOMPARE(Library::unique(m_root + "/.hidden"), m_root + "/.hidden 2");
        QCOMPARE(Library::unique(m_root + "/link.png"), m_root + "/link 2.png");
    }

    // The root is taken with links resolved, and nothing is scanned before
    // the first reload.
    void rootIsResolvedAndNotScannedAtConstruction() {
        const QString link = m_dir.path() + QStringLiteral("/link");
        QVERIFY(QFile::link(m_root, link));
        shot(m_root, QStringLiteral("Screenshot.png"));
        Library lib(link + QStringLiteral("/./"));
        QCOMPARE(lib.root(), QFileInfo(m_root).canonicalFilePath());
        QVERIFY(!lib.scanned());
        QVERIFY(lib.all().isEmpty());
    }

private:
    QTemporaryDir m_dir;
    QString m_root;
};

TAMBERK_TEST(tst_LibraryQuery)
#include "tst_LibraryQuery.moc"
