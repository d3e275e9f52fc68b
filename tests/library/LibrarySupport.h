#pragma once

// The library tests' rig: a scanned library in a private home, and file system helpers.

#include "TestEnv.h"
#include "library/Library.h"
#include "settings/CaptureCache.h"
#include "settings/Prefs.h"

#include <QDirIterator>
#include <QSemaphore>
#include <QTest>
#include <filesystem>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>

#ifndef WAIT_FOR
#define WAIT_FOR(condition) QTRY_VERIFY_WITH_TIMEOUT(condition, 20000)
#endif

namespace LibrarySupport {

// While alive, this thread and those it starts obey file modes even as root.
class WithoutModeOverride {
public:
    WithoutModeOverride() {
        if (::geteuid() != 0 || ::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_active = ::syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~WithoutModeOverride() {
        if (m_active)
            ::syscall(SYS_capset, &m_header, m_saved);
    }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_active = false;
};

/// Writes `dir/relative` dated `age` seconds in the past.
inline QString shot(const QString& dir, const QString& relative, double age = 0) {
    const QString path = writeFile(dir + QLatin1Char('/') + relative);
    if (age > 0)
        setModified(path, double(QDateTime::currentSecsSinceEpoch()) - age);
    return path;
}

inline QStringList paths(const ShotList& shots) {
    QStringList result;
    for (const ShotPtr& s : shots)
        result.append(s->path);
    return result;
}

/// Every entry below `dir` by relative path: a file's bytes, "<dir>" or "-> link target".
inline QMap<QString, QByteArray> snapshot(const QString& dir) {
    QMap<QString, QByteArray> entries;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        QFile file(info.filePath());
        entries[QDir(dir).relativeFilePath(info.filePath())] =
            info.isSymLink() ? "-> " + QByteArray::fromStdString(
                                           std::filesystem::read_symlink(file.filesystemFileName()))
            : info.isDir() ? QByteArray("<dir>")
                           : (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    return entries;
}

inline QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// The names directly inside `dir`, hidden ones included, sorted.
inline QStringList names(const QString& dir) {
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

/// A private mount namespace for the test thread, once, so nothing reaches the host.
inline bool privateMounts() {
    static const bool made = ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
                             ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return made;
}

/// Mounts a small tmpfs on `dir` (another file system); false where impossible.
inline bool mountTmpfs(const QString& dir) {
    return privateMounts() && ::mount("tamberk-test", QFile::encodeName(dir).constData(), "tmpfs",
                                      0, "size=16m,mode=0755") == 0;
}

inline void unmount(const QString& dir) {
    ::umount2(QFile::encodeName(dir).constData(), MNT_DETACH);
}

// Every notification of a library, in the order it was emitted.
struct Events {
    QStringList log; // "changed" or "arrived"
    QList<ShotList> arrivals;
    QObject context; // disconnects when the events go

    explicit Events(Library& library) {
        QObject::connect(&library, &Library::changed, &context, [this] { log.append("changed"); });
        QObject::connect(&library, &Library::arrived, &context, [this](const ShotList& shots) {
            log.append("arrived");
            arrivals.append(shots);
        });
    }
    QStringList arrived() const {
        QStringList result;
        for (const ShotList& shots : arrivals)
            result += paths(shots);
        return result;
    }
};

// Holds every scan of a library at its gate until released, counting them.
struct Gate {
    QSemaphore release;
    std::atomic<int> entries{0};

    explicit Gate(Library& lib) {
        lib.setScanGate([this] {
            ++entries;
            release.acquire();
        });
    }
    void open() { release.release(100000); }
};

/// A library on `root` after its first reload, recognition off, pulling in from `stray`.
inline std::unique_ptr<Library> loaded(const QString& root, const QString& stray = {},
                                       const std::function<void(Library&)>& before = {}) {
    // Detected here, not in the background while tests change the environment.
    if (!CaptureCache::shared().known())
        CaptureCache::shared().detectNow();
    auto library = std::make_unique<Library>(root);
    library->setFeedText(false);
    library->setSystemLocation([folder = stray.isEmpty() ? root : stray] { return folder; });
    if (before)
        before(*library);
    library->reload();
    if (!QTest::qWaitFor([&] { return library->scanned(); }, 20000))
        return nullptr;
    return library;
}

/// A home with "Shots", the root, and "System", the tool's folder; the library and all it said.
struct LibraryRig {
    TestEnv env;
    QString root = env.mkdir("Shots");
    QString system = env.mkdir("System");
    std::unique_ptr<Library> lib;
    std::unique_ptr<Events> events;

    explicit LibraryRig(bool onlyShots = false) {
        Prefs::shared().set(Key::onlyShots, onlyShots);
        Prefs::shared().set(Key::includeSub, true);
        Prefs::shared().set(Key::syncSystem, true);
    }
    ~LibraryRig() {
        events.reset();
        lib.reset();
        unmount(system); // when a test mounted one there
    }

    /// Writes `files` below the root, then loads a library on `at` (the root by default).
    bool load(const QMap<QString, QByteArray>& files = {}, const QString& at = {},
              const QString& stray = {}) {
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            writeFile(root + '/' + it.key(), *it);
        lib = loaded(at.isEmpty() ? root : at, stray,
                     [this](Library& library) { events = std::make_unique<Events>(library); });
        return lib != nullptr;
    }

    ShotPtr find(const QString& relative) const {
        for (const ShotPtr& s : lib->all())
            if (s->path == root + '/' + relative)
                return s;
        return nullptr;
    }
    /// The listed shots, relative to the root, sorted.
    QStringList listed() const {
        QStringList names;
        for (const ShotPtr& s : lib->all())
            names.append(s->path.mid(root.size() + 1));
        names.sort();
        return names;
    }
    bool lists(const QString& path) const { return paths(lib->all()).contains(path); }
};

} // namespace LibrarySupport
