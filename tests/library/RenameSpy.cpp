#include "LibrarySupport.h"

#include <QMutex>
#include <atomic>
#include <dlfcn.h>
#include <pthread.h>

namespace {
// Static initialisation runs on the main thread, before any test.
const pthread_t g_main = pthread_self();
QMutex g_lock;
QByteArray g_prefix;
std::atomic<int> g_calls{0};
std::atomic<int> g_onMain{0};
} // namespace

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to,
                         unsigned flags) __THROW {
    using Real = int (*)(int, const char*, int, const char*, unsigned);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "renameat2"));
    {
        QMutexLocker locker(&g_lock);
        if (!g_prefix.isEmpty() && QByteArray(from).startsWith(g_prefix)) {
            ++g_calls;
            if (pthread_equal(pthread_self(), g_main))
                ++g_onMain;
        }
    }
    return real(fromDir, from, toDir, to, flags);
}

namespace RenameSpy {

void watch(const QByteArray& prefix) {
    QMutexLocker locker(&g_lock);
    g_prefix = prefix;
    g_calls = 0;
    g_onMain = 0;
}

int calls() {
    return g_calls.load();
}

int onMainThread() {
    return g_onMain.load();
}

} // namespace RenameSpy
