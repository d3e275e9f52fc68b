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
        failures += QTest::qExec(test.get(), int(args.size()), args.data());
    }
    return failures;
}
} // namespace TestRegistry

TestEnv::TestEnv() {
    const std::pair<const char*, QString> isolated[] = {{"HOME", home()},
                                                        {"XDG_CONFIG_HOME", configHome()},
                                                        {"XDG_DATA_HOME", dataHome()},
                                                        {"XDG_CACHE_HOME", cacheHome()}};
    for (const auto& [name, path] : isolated) {
        m_saved.emplace_back(name, qgetenv(name));
        QDir().mkpath(path);
        qputenv(name, QFile::encodeName(path));
    }
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

QString TestEnv::mkdir(const QString& relative) const {
    const QString path = home() + "/" + relative;
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
    const double whole = std::floor(seconds);
    const timespec time{time_t(whole), long((seconds - whole) * 1e9)};
    const timespec times[2] = {time, time};
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}
