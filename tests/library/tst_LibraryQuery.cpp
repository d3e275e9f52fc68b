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
    void scopeIdentifiers_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("path");
        QTest::newRow("session") << "session" << true << int(Scope::Kind::session) << "";
        QTest::newRow("all") << "all" << true << int(Scope::Kind::all) << "";
        QTest::newRow("folder") << "folder:/a/b c" << true << int(Scope::Kind::folder) << "/a/b c";
        QTest::newRow("empty folder") << "folder:" << true << int(Scope::Kind::folder) << "";
        QTest::newRow("capital") << "Session" << false << 0 << "";
        QTest::newRow("padded") << " all" << false << 0 << "";
        QTest::newRow("empty") << "" << false << 0 << "";
    }
    void scopeIdentifiers() {
        QFETCH(QString, id);
        QFETCH(bool, valid);
        const auto scope = Scope::fromId(id);
        QCOMPARE(scope.has_value(), valid);
        if (!valid)
            return;
        QFETCH(int, kind);
        QFETCH(QString, path);
        QCOMPARE(int(scope->kind()), kind);
        QCOMPARE(scope->path(), path);
        QCOMPARE(scope->id(), id);
        QVERIFY(*scope == *Scope::fromId(scope->id()));
    }

    void scopeEquality() {
        QVERIFY(Scope::folder(QStringLiteral("/a")) == Scope::folder(QStringLiteral("/a")));
        QVERIFY(!(Scope::folder(QStringLiteral("/a")) == Scope::folder(QStringLiteral("/A"))));
        QVERIFY(!(Scope::all() == Scope::session()));
        QVERIFY(Scope::session() == Scope::session());
    }

    // With subfolders excluded, `all` is the root's own shots and its count
    // is the root's entry; with them included both cover the subfolders.
    void includeSubfoldersSetting() {
        shot(m_root, QStringLiteral("Screenshot root.png"), 30);
        shot(m_root, QStringLiteral("A/in a.png"), 20);
        shot(m_root, QStringLiteral("A/B/in b.png"), 10);
        auto lib = loaded(m_root);
        QVERIFY(lib);

        Prefs::shared().set(Key::includeSub, false);
        QCOMPARE(lib->shots(Scope::all(), {}).size(), 1);
        QCOMPARE(lib->counts().all, 1);
        QCOMPARE(lib->counts().all, lib->counts().perFolder.value(lib->root()));

        Prefs::shared().set(Key::includeSub, true);
        // Newest first.
        QCOMPARE(paths(lib->shots(Scope::all(), {})),
                 QStringList({m_root + "/A/B/in b.png", m_root + "/A/in a.png",
                              m_root + "/Screenshot root.png"}));
        QCOMPARE(lib->counts().all, 3);
    }

    // A shot in root/A/B counts for A/B and A but not for the root; the scope
    // of A includes it, the scope of the root does not, and the sibling AB
    // is a different folder altogether.
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
        QVERIFY(!counts.perFolder.contains(m_root + "/Empty"));

        QCOMPARE(paths(lib->shots(Scope::folder(m_root + "/A"), {})),
                 QStringList{m_root + "/A/B/deep.png"});
        QCOMPARE(paths(lib->shots(Scope::folder(m_root), {})),
                 QStringList{m_root + "/Screenshot top.png"});
        QCOMPARE(paths(lib->shots(Scope::folder(m_root + "/AB"), {})),
                 QStringList{m_root + "/AB/sibling.png"});
        QCOMPARE(lib->folders(),
                 QStringList({m_root + "/A", m_root + "/A/B", m_root + "/AB", m_root + "/Empty"}));
    }

    // Folder order is numeric-aware and ignores case.
    void foldersSortNaturally() {
        for (const char* name : {"Folder 10", "folder 9", "Folder 1"})
            QDir().mkpath(m_root + QLatin1Char('/') + QLatin1String(name));
        auto lib = loaded(m_root);
        QVERIFY(lib);
        QCOMPARE(lib->folders(),
                 QStringList({m_root + "/Folder 1", m_root + "/folder 9", m_root + "/Folder 10"}));
    }

    // With "only screenshots", a plain image in a subfolder is listed under
    // its folder and under `all`, but is not part of the session.
    void sessionHoldsOnlyScreenshots() {
        shot(m_root, QStringLiteral("Sub/holiday.png"), 10);
        shot(m_root, QStringLiteral("Sub/Screenshot 1.png"), 10);
        auto lib = loaded(m_root);
        QVERIFY(lib);
        QCOMPARE(lib->shots(Scope::all(), {}).size(), 2);
        QCOMPARE(lib->shots(Scope::folder(m_root + "/Sub"), {}).size(), 2);
        QCOMPARE(paths(lib->shots(Scope::session(), {})),
                 QStringList{m_root + "/Sub/Screenshot 1.png"});
        QCOMPARE(lib->counts().session, 1);

        Prefs::shared().set(Key::onlyShots, false);
        QCOMPARE(lib->shots(Scope::session(), {}).size(), 2);
        QCOMPARE(lib->counts().session, 2);
    }

    // The session starts exactly at its start second: a shot one second
    // earlier is out, one at the start is in. The start is read per query.
    void sessionBoundaryToTheSecond() {
        const double start = nowSeconds() - 1000;
        setModified(shot(m_root, QStringLiteral("Screenshot before.png")), start - 1);
        setModified(shot(m_root, QStringLiteral("Screenshot at.png")), start);
        auto lib = loaded(m_root);
        QVERIFY(lib);
        Prefs::shared().set(Key::sessionReset, start);
        QCOMPARE(paths(lib->shots(Scope::session(), {})),
                 QStringList{m_root + "/Screenshot at.png"});
        QCOMPARE(lib->counts().session, 1);
        Prefs::shared().set(Key::sessionReset, start - 1);
        QCOMPARE(lib->counts().session, 2);
    }

    // A query is trimmed of spaces and line breaks; one of only spaces is no
    // query; every piece must match, in the name or the text.
    void queriesAreTrimmed() {
        shot(m_root, QStringLiteral("Screenshot invoice march.png"), 20);
        shot(m_root, QStringLiteral("Screenshot receipt.png"), 10);
        auto lib = loaded(m_root);
        QVERIFY(lib);
        const QStringList invoice{m_root + "/Screenshot invoice march.png"};
        QCOMPARE(lib->shots(Scope::all(), QStringLiteral("   ")).size(), 2);
        QCOMPARE(lib->shots(Scope::all(), QStringLiteral("\n \t")).size(), 2);
        QCOMPARE(paths(lib->shots(Scope::all(), QStringLiteral("invoice"))), invoice);
        QCOMPARE(paths(lib->shots(Scope::all(), QStringLiteral("  INVOICE\n"))), invoice);
        QCOMPARE(paths(lib->shots(Scope::all(), QStringLiteral("march invoice"))), invoice);
        QVERIFY(lib->shots(Scope::all(), QStringLiteral("invoice receipt")).isEmpty());
        QCOMPARE(lib->shots(Scope::session(), QStringLiteral("screenshot")).size(), 2);
    }

    // `unique` adds " 2", " 3", … before the extension, for files and folders.
    void uniqueNames() {
        writeFile(m_root + QStringLiteral("/photo.png"));
        writeFile(m_root + QStringLiteral("/photo 2.png"));
        QDir().mkpath(m_root + QStringLiteral("/Archive"));
        writeFile(m_root + QStringLiteral("/.hidden"));
        QCOMPARE(Library::unique(m_root + "/photo.png"), m_root + "/photo 3.png");
        QCOMPARE(Library::unique(m_root + "/Archive"), m_root + "/Archive 2");
        QCOMPARE(Library::unique(m_root + "/free.png"), m_root + "/free.png");
        QCOMPARE(Library::unique(m_root + "/.hidden"), m_root + "/.hidden 2");
        // A dangling link still takes its name.
        QVERIFY(QFile::link(m_root + "/nowhere", m_root + "/link.png"));
        QCOMPARE(Library::unique(m_root + "/link.png"), m_root + "/link 2.png");
    }

    // A chip's name is the last component, for the root too.
    void folderNames() {
        Library lib(m_root);
        QCOMPARE(lib.name(lib.root()), QStringLiteral("Shots"));
        QCOMPARE(lib.name(m_root + "/A/B c"), QStringLiteral("B c"));
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
        QVERIFY(lib.readable());
        QVERIFY(lib.all().isEmpty());
    }

private:
    QTemporaryDir m_dir;
    QString m_root;
};

TAMBERK_TEST(tst_LibraryQuery)
#include "tst_LibraryQuery.moc"
