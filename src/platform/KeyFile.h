#pragma once

#include <QString>
#include <QStringList>
#include <optional>

/// A desktop key file ("[Group]" headers, "key=value" lines) as the desktop
/// tools keep their settings. Edits keep every other line, comment and the
/// order of the file as they were, so a value changed here is the only
/// difference the tool sees.
class KeyFile {
public:
    /// The file at `path`; a missing or unreadable file reads as empty.
    static KeyFile load(const QString& path);

    /// The value of `key` in `group` (an empty group is the part before the
    /// first header), unescaped; nothing when the key is absent.
    std::optional<QString> value(const QString& group, const QString& key) const;
    /// The value of `key` in the first group that has it.
    std::optional<QString> find(const QString& key) const;
    /// Whether the file has a header for `group`.
    bool hasGroup(const QString& group) const;

    /// Replaces the value of `key` in `group`, or adds the line at the end of
    /// the group (creating the group when it is missing).
    void set(const QString& group, const QString& key, const QString& value);
    /// Replaces `key` wherever it is; adds it to `fallbackGroup` when absent.
    void setAnywhere(const QString& key, const QString& value, const QString& fallbackGroup);

    QByteArray text() const;
    /// Writes the file atomically; false (and a log line) on failure.
    bool save(const QString& path) const;

private:
    struct Entry {
        QString group;
        QString key;
        QString value;
        int line;
    };
    QList<Entry> entries() const;
    int groupEnd(const QString& group) const;

    QStringList m_lines;
};
