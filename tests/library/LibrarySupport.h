#pragma once

// Helpers of the library tests: dated shots and a library after its first scan.

#include "TestEnv.h"
#include "library/Library.h"
#include "settings/CaptureCache.h"
#include "settings/Prefs.h"

#include <QDateTime>
#include <QDir>
#include <QTest>
#include <linux/capability.h>
#include <memory>
#include <sys/syscall.h>
#include <unistd.h>

namespace LibrarySupport {

// While alive, the calling thread and the threads it starts lack the
// capabilities that let root ignore file modes, so a mode-000 folder is
// unreadable to the library's worker as it is to a user.
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

/// Writes `root/relative` dated `age` seconds in the past.
inline QString shot(const QString& root, const QString& relative, double age = 0) {
    const QString path = writeFile(root + QLatin1Char('/') + relative);
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

/// A library on `root` after its first reload, recognition off; the system
/// folder defaults to the root (no stray watcher).
inline std::unique_ptr<Library> loaded(const QString& root, const QString& systemFolder = {}) {
    // The tool's facts are taken here, on the test's thread, rather than by a
    // detection in the background while tests change the environment.
    if (!CaptureCache::shared().known())
        CaptureCache::shared().detectNow();
    auto library = std::make_unique<Library>(root);
    library->setFeedText(false);
    const QString system = systemFolder.isEmpty() ? root : systemFolder;
    library->setSystemLocation([system] { return system; });
    library->reload();
    if (!QTest::qWaitFor([&] { return library->scanned(); }, 20000))
        return nullptr;
    return library;
}

} // namespace LibrarySupport
