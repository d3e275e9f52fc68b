#include "TestEnv.h"

#include "settings/Prefs.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTest>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace TestRegistry {
std::vector<std::pair<QString, Factory>>& all() {
    static std::vector<std::pair<QString, Factory>> registry;
    return registry;
}

bool add(const char* name, Factory factory) {
    all().emplace_back(QString::fromLatin1(name), std::move(factory));
    return true;
}

int run(int argc, char** argv, const std::function<bool(const QString&)>& include) {
    QString only;
    std::vector<char*> args{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--class") == 0 && i + 1 < argc)
            only = QString::fromLocal8Bit(argv[++i]);
        else
            args.push_back(argv[i]);
    }
    int failures = 0;
    for (const auto& [name, factory] : all()) {
        if ((!only.isEmpty() && name != only) || (include && !include(name)))
            continue;
        TestEnv env;
        std::unique_ptr<QObject> test = factory();
        failures += QTest::qExec(test.get(), static_cast<int>(args.size()), args.data());
    }
    return failures;
}
} // namespace TestRegistry

static const char* const kIsolated[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                        "XDG_CACHE_HOME"};

TestEnv::TestEnv() {
    for (const char* name : kIsolated)
        m_saved.emplace_back(name, qgetenv(name));
    const QString root = m_dir.path();
    QDir().mkpath(root + "/.config");
    QDir().mkpath(root + "/.local/share");
    QDir().mkpath(root + "/.cache");
    qputenv("HOME", QFile::encodeName(root));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome()));
    Prefs::resetSharedForTesting();
}

TestEnv::~TestEnv() {
    for (const auto& [name, value] : m_saved) {
        if (value.isNull())
            qunsetenv(name.constData());
        else
            qputenv(name.constData(), value);
    }
    Prefs::resetSharedForTesting();
}

QString TestEnv::configHome() const {
    return m_dir.path() + "/.config";
}
QString TestEnv::dataHome() const {
    return m_dir.path() + "/.local/share";
}
QString TestEnv::cacheHome() const {
    return m_dir.path() + "/.cache";
}

QString TestEnv::mkdir(const QString& relative) const {
    const QString path = m_dir.path() + "/" + relative;
    QDir().mkpath(path);
    return path;
}

QString writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write(bytes);
    return path;
}

QByteArray pngBytes(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

bool setModified(const QString& path, double seconds) {
    struct timespec times[2];
    double whole = std::floor(seconds);
    times[0].tv_sec = static_cast<time_t>(whole);
    times[0].tv_nsec = static_cast<long>((seconds - whole) * 1e9);
    times[1] = times[0];
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}
