#pragma once

#include <QString>
#include <optional>

/// Which shots the panel shows: one folder (with its subtree, or the root
/// alone), the current session, or the whole library.
class Scope {
public:
    enum class Kind { folder, session, all };

    /// One folder, given by its full path string.
    static Scope folder(const QString& path) { return Scope(Kind::folder, path); }
    /// The shots taken since the session start.
    static Scope session() { return Scope(Kind::session, {}); }
    /// The whole library.
    static Scope all() { return Scope(Kind::all, {}); }

    /// The scope stored under `id` ("session", "all", "folder:" + path), or
    /// nothing for any other string; the test is case-sensitive.
    static std::optional<Scope> fromId(const QString& id);

    /// The persistent identifier: "session", "all" or "folder:" + path.
    QString id() const;

    Kind kind() const { return m_kind; }
    /// The folder's path; empty for the other kinds.
    const QString& path() const { return m_path; }

    bool operator==(const Scope& other) const {
        return m_kind == other.m_kind && (m_kind != Kind::folder || m_path == other.m_path);
    }

private:
    Scope(Kind kind, QString path)
        : m_kind(kind)
        , m_path(std::move(path)) {}

    Kind m_kind;
    QString m_path;
};
