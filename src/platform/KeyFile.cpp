#include "platform/KeyFile.h"

#include "platform/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

QString unescape(const QString& raw) {
    QString result;
    result.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != QLatin1Char('\\') || i + 1 == raw.size()) {
            result.append(c);
            continue;
        }
        const QChar next = raw.at(++i);
        switch (next.unicode()) {
        case 's':
            result.append(QLatin1Char(' '));
            break;
        case 'n':
            result.append(QLatin1Char('\n'));
            break;
        case 't':
            result.append(QLatin1Char('\t'));
            break;
        case 'r':
            result.append(QLatin1Char('\r'));
            break;
        default:
            result.append(next);
        }
    }
    return result;
}

QString escape(const QString& value) {
    QString result;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\'))
            result.append(QLatin1String("\\\\"));
        else if (c == QLatin1Char('\n'))
            result.append(QLatin1String("\\n"));
        else if (c == QLatin1Char('\r'))
            result.append(QLatin1String("\\r"));
        else if (c == QLatin1Char('\t'))
            result.append(QLatin1String("\\t"));
        // Leading blanks would be trimmed by every reader of the format.
        else if (c == QLatin1Char(' ') && i == 0)
            result.append(QLatin1String("\\s"));
        else
            result.append(c);
    }
    return result;
}

bool isHeader(const QString& trimmed) {
    return trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'));
}

} // namespace

KeyFile KeyFile::load(const QString& path) {
    KeyFile file;
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return file;
    // Settings files are a few kilobytes; anything far larger is not one.
    const QByteArray bytes = in.read(4 * 1024 * 1024);
    file.m_lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    if (!file.m_lines.isEmpty() && file.m_lines.last().isEmpty())
        file.m_lines.removeLast();
    return file;
}

QList<KeyFile::Entry> KeyFile::entries() const {
    QList<Entry> result;
    QString group;
    for (int i = 0; i < m_lines.size(); ++i) {
        const QString trimmed = m_lines.at(i).trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')) ||
            trimmed.startsWith(QLatin1Char(';')))
            continue;
        if (isHeader(trimmed)) {
            group = trimmed.mid(1, trimmed.size() - 2);
            continue;
        }
        const qsizetype eq = trimmed.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        QString key = trimmed.left(eq).trimmed();
        // "key[$e]" carries flags for the reader; "key[de]" is a translation.
        if (const qsizetype bracket = key.indexOf(QLatin1Char('[')); bracket > 0) {
            if (key.mid(bracket + 1, 1) != QLatin1String("$"))
                continue;
            key.truncate(bracket);
        }
        result.append({group, key, unescape(trimmed.mid(eq + 1).trimmed()), i});
    }
    return result;
}

std::optional<QString> KeyFile::value(const QString& group, const QString& key) const {
    std::optional<QString> found;
    // A key given twice counts with its last value, as the tools read it.
    for (const Entry& entry : entries()) {
        if (entry.group == group && entry.key == key)
            found = entry.value;
    }
    return found;
}

std::optional<QString> KeyFile::find(const QString& key) const {
    for (const Entry& entry : entries()) {
        if (entry.key == key)
            return value(entry.group, key);
    }
    return std::nullopt;
}

bool KeyFile::hasGroup(const QString& group) const {
    if (group.isEmpty())
        return true;
    const QString header = QLatin1Char('[') + group + QLatin1Char(']');
    for (const QString& line : m_lines) {
        if (line.trimmed() == header)
            return true;
    }
    return false;
}

int KeyFile::groupEnd(const QString& group) const {
    // The line after the group's last non-blank line.
    QString current;
    int end = -1;
    bool inside = group.isEmpty();
    if (inside)
        end = 0;
    for (int i = 0; i < m_lines.size(); ++i) {
        const QString trimmed = m_lines.at(i).trimmed();
        if (isHeader(trimmed)) {
            current = trimmed.mid(1, trimmed.size() - 2);
            inside = current == group;
            if (inside)
                end = i + 1;
            continue;
        }
        if (inside && !trimmed.isEmpty())
            end = i + 1;
    }
    return end;
}

void KeyFile::set(const QString& group, const QString& key, const QString& value) {
    const QString line = key + QLatin1Char('=') + escape(value);
    int last = -1;
    for (const Entry& entry : entries()) {
        if (entry.group == group && entry.key == key)
            last = entry.line;
    }
    if (last >= 0) {
        m_lines[last] = line;
        return;
    }
    const int end = groupEnd(group);
    if (end >= 0) {
        m_lines.insert(end, line);
        return;
    }
    if (!m_lines.isEmpty() && !m_lines.last().trimmed().isEmpty())
        m_lines.append(QString());
    m_lines.append(QLatin1Char('[') + group + QLatin1Char(']'));
    m_lines.append(line);
}

void KeyFile::setAnywhere(const QString& key, const QString& value, const QString& fallbackGroup) {
    for (const Entry& entry : entries()) {
        if (entry.key == key) {
            set(entry.group, key, value);
            return;
        }
    }
    set(fallbackGroup, key, value);
}

QByteArray KeyFile::text() const {
    QByteArray bytes = m_lines.join(QLatin1Char('\n')).toUtf8();
    if (!bytes.isEmpty())
        bytes.append('\n');
    return bytes;
}

bool KeyFile::save(const QString& path) const {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(text()) < 0 || !out.commit()) {
        logFailure("settings write", out.errorString());
        return false;
    }
    return true;
}
