#pragma once

#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

// Registers a QtTest class with the subsystem's test executable.
#define TAMBERK_TEST(Class)                                                                        \
    static const bool Class##_registered = TestRegistry::add(                                      \
        #Class, []() -> std::unique_ptr<QObject> { return std::make_unique<Class>(); });

namespace TestRegistry {
using Factory = std::function<std::unique_ptr<QObject>()>;
bool add(const char* name, Factory factory);
std::vector<std::pair<QString, Factory>>& all();
/// Runs the registered classes `include` accepts (all without it), each in
/// its own TestEnv, and returns how many failed; `--class Name` runs just
/// that one, the other arguments go to QtTest. A QSKIP in initTestCase()
/// leaves QtTest (6.4) skipping every later class silently: skip in init().
int run(int argc, char** argv, const std::function<bool(const QString&)>& include = {});
} // namespace TestRegistry

/// A private home for one test: HOME and the XDG folders point into a fresh
/// temporary directory while this object lives, and the settings store is
/// reopened there, so no test touches the user's files.
class TestEnv {
public:
    TestEnv();
    ~TestEnv();
    TestEnv(const TestEnv&) = delete;
    TestEnv& operator=(const TestEnv&) = delete;

    QString home() const { return m_dir.path(); }
    QString configHome() const { return home() + "/.config"; }
    QString dataHome() const { return home() + "/.local/share"; }
    QString cacheHome() const { return home() + "/.cache"; }
    /// Creates (with parents) and returns home() + "/" + relative.
    QString mkdir(const QString& relative) const;

private:
    QTemporaryDir m_dir;
    std::vector<std::pair<QByteArray, QByteArray>> m_saved;
};

/// Writes a file of the given bytes, creating parent folders; returns its path.
QString writeFile(const QString& path, const QByteArray& bytes = QByteArray("x"));
/// A plain PNG of the given size, encoded in memory.
QByteArray pngBytes(int width, int height);
/// Sets a file's modification time (seconds since 1970).
bool setModified(const QString& path, double seconds);
