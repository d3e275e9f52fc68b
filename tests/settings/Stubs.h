#pragma once

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

/// Stand-ins for the desktop's command-line tools. While alive, PATH holds
/// only the stub folder, so every program the code under test starts is a
/// stub that records its command line (one line per call, fields separated
/// by tabs) and does nothing else unless a test gives it a body.
class Stubs {
public:
    Stubs()
        : m_oldPath(qgetenv("PATH")) {
        qputenv("PATH", QFile::encodeName(m_dir.path()));
    }
    ~Stubs() { qputenv("PATH", m_oldPath); }
    Stubs(const Stubs&) = delete;
    Stubs& operator=(const Stubs&) = delete;

    /// Adds a program `name`; `body` is shell code run after the call is logged.
    void add(const QString& name, const QByteArray& body = "exit 0\n") {
        const QString path = m_dir.filePath(name);
        QFile script(path);
        script.open(QIODevice::WriteOnly | QIODevice::Truncate);
        script.write("#!/bin/sh\n{ printf '%s' '" + name.toUtf8() +
                     "'; for a in \"$@\"; do printf '\\t%s' \"$a\"; done; printf '\\n'; } >> '" +
                     QFile::encodeName(logPath()) + "'\n" + body);
        script.close();
        script.setPermissions(script.permissions() | QFile::ExeOwner | QFile::ExeUser);
    }

    /// A gsettings whose `get` prints `printed`, or fails like a missing
    /// schema when that is empty.
    void addGsettings(const QByteArray& printed = {}) {
        QFile out(m_dir.filePath(QStringLiteral("gsettings.out")));
        out.open(QIODevice::WriteOnly);
        out.write(printed + '\n');
        add(QStringLiteral("gsettings"),
            printed.isEmpty() ? "echo 'No such schema' >&2; exit 1\n"
                              : "/bin/cat '" + QFile::encodeName(out.fileName()) + "'\n");
    }

    /// Every recorded call, oldest first, each as program + arguments.
    QList<QStringList> calls() const {
        QFile log(logPath());
        QList<QStringList> result;
        if (!log.open(QIODevice::ReadOnly))
            return result;
        for (const QByteArray& line : log.readAll().split('\n')) {
            if (!line.isEmpty())
                result.append(QString::fromUtf8(line).split(QLatin1Char('\t')));
        }
        return result;
    }

private:
    QString logPath() const { return m_dir.filePath(QStringLiteral("calls.log")); }

    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};
