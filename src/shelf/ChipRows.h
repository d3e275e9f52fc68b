#pragma once

#include "library/Library.h"
#include "library/Scope.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

class Library;

/// What a chip stands for.
enum class ChipKind { scope, folder, add };

/// One chip as built: fixed for the chip's life.
struct ChipDef {
    ChipKind kind = ChipKind::scope;
    std::optional<Scope> scope; // absent for the add chip
    QString path;               // the folder; empty for Session, All and the root's add chip
    QString title;
    QString symbol;
};

/// What the chip rows read of the library, as plain values and lookups so the
/// rules run without a scanned library.
struct ChipSource {
    QString root;
    const QHash<QString, QStringList>* childMap = nullptr;
    std::function<bool(const QString&)> listed; // whether a folder is known
    Library::Counts counts;
    std::function<QString(const QString&)> name; // a folder's display name

    /// The library's state, read at this moment.
    static ChipSource of(const Library& library);
    /// The immediate subfolders of `path`; empty when the map has no entry.
    QStringList children(const QString& path) const;
};

/// The two chip rows: which chips exist, and their counts and active flags.
/// A row is rebuilt only when its signature (its parent and the folders at that
/// level, in order) changes; otherwise counts and flags change in place.
class ChipRows {
public:
    struct Chip {
        ChipDef def;
        qint64 count = 0;
        bool active = false;
    };

    /// What an update changed, so the view touches only that.
    struct Update {
        bool mainRebuilt = false;
        bool subRebuilt = false;
        bool subVisibleChanged = false;
        std::vector<int> mainChanged; // chips whose count or flag changed (not rebuilt ones)
        std::vector<int> subChanged;
    };

    Update update(const ChipSource& source, const Scope& scope);

    const std::vector<Chip>& main() const { return m_main; }
    const std::vector<Chip>& sub() const { return m_sub; }
    bool subVisible() const { return m_subVisible; }
    const QString& mainSignature() const { return m_mainSignature; }
    const QString& subSignature() const { return m_subSignature; }
    /// The first active chip of a row, or -1.
    int firstActive(bool mainRow) const;

    /// The parent folder of the sub row for `scope`, if the sub row shows.
    static std::optional<QString> subParent(const ChipSource& source, const Scope& scope);
    static QString signature(const QString& parent, const QStringList& children);
    static std::vector<ChipDef> buildMain(const ChipSource& source);
    static std::vector<ChipDef> buildSub(const ChipSource& source, const QString& parent);

private:
    // Refreshes one chip's count and flag; true when either changed.
    static bool refreshState(Chip& chip, bool mainRow, const ChipSource& source,
                             const Scope& scope);

    std::vector<Chip> m_main;
    std::vector<Chip> m_sub;
    QString m_mainSignature;
    QString m_subSignature;
    bool m_subVisible = false;
};
