#pragma once

#include "library/Shot.h"

#include <QObject>
#include <QString>
#include <optional>

// Interface agreed between the library and the text index; the text-index
// work fills in the members and the implementation.
class TextIndex : public QObject {
    Q_OBJECT
public:
    explicit TextIndex(QObject* parent = nullptr);
    ~TextIndex() override;

    /// Queues the shots whose text is missing or stale and starts the worker.
    void enqueue(const ShotList& shots);
    /// Whether every space-separated piece of `query` occurs in the shot's
    /// lower-cased file name or recognised text.
    bool matches(const Shot& shot, const QString& query) const;
    /// The recognised text, or nothing when there is none.
    std::optional<QString> text(const Shot& shot) const;
    /// Moves an entry after the library renamed or moved its file.
    void rekey(const QString& oldPath, const QString& newPath);
    /// Drops entries whose files no longer exist.
    void prune();
};
