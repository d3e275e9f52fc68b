#pragma once

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

/// While alive, PATH holds only stubs that log each command line (tab-separated).
class Stubs {
public:
    Stubs()
        : m_oldPath(qgetenv("PATH")) {
        qputenv("PATH", QFile::encodeName(m_dir.path()));
    }
    ~Stubs() { qputenv("PATH", m_oldPath); }

    /// Adds a program `name`; `body` is shell code run after the call is logged.
    void add(const QString& name, const QByteArray& body = "exit 0\n") {
        QFile script(m_dir.filePath(name));
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\n{ printf '%s' '" + name.toUtf8() +
                     "'; for a in \"$@\"; do printf '\\t%s' \"$a\"; done; echo; } >> '" +
                     QFile::encodeName(m_dir.filePath("calls.log")) + "'\n" + body);
        script.setPermissions(script.permissions() | QFile::ExeOwner);
    }

    /// A gsettings whose `get` prints `printed`, or fails like a missing schema.
    void addGsettings(const QByteArray& printed = {}) {
        add("gsettings", printed.isEmpty() ? "echo 'No such schema' >&2; exit 1\n"
                                           : "echo \"" + printed + "\"\n");
    }

    QList<QStringList> calls() const {
        QFile log(m_dir.filePath("calls.log"));
        QList<QStringList> result;
        if (log.open(QIODevice::ReadOnly))
            for (const QByteArray& line : log.readAll().split('\n'))
                if (!line.isEmpty())
                    result.append(QString::fromUtf8(line).split(QLatin1Char('\t')));
        return result;
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};
