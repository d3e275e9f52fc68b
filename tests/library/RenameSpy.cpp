#include "LibrarySupport.h"

#include <QMutex>
#include <dlfcn.h>
#include <pthread.h>

namespace {
const pthread_t g_main = pthread_self(); // static initialisation runs on the main thread
QMutex g_lock;
QByteArray g_prefix;
std::atomic<int> g_calls{0}, g_onMain{0};
} // namespace

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to,
                         unsigned flags) __THROW {
    using Real = int (*)(int, const char*, int, const char*, unsigned);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "renameat2"));
    QMutexLocker locker(&g_lock);
    if (!g_prefix.isEmpty() && QByteArray(from).startsWith(g_prefix)) {
        ++g_calls;
        g_onMain += pthread_equal(pthread_self(), g_main) ? 1 : 0;
    }
    locker.unlock();
    return real(fromDir, from, toDir, to, flags);
}

void RenameSpy::watch(const QByteArray& prefix) {
    QMutexLocker locker(&g_lock);
    g_prefix = prefix;
    g_calls = g_onMain = 0;
}

int RenameSpy::calls() {
    return g_calls.load();
}

int RenameSpy::onMainThread() {
    return g_onMain.load();
}
