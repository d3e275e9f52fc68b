#include "shelf/ChipRows.h"

#include <QDir>

namespace {

QString lastComponent(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString parentOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

} // namespace

ChipSource ChipSource::of(const Library& library) {
    ChipSource source;
    source.root = library.root();
    source.childMap = &library.childMap();
    const auto* listing = &library.listing();
    source.listed = [listing](const QString& path) { return listing->contains(path); };
    source.counts = library.counts();
    source.name = [&library](const QString& path) { return library.name(path); };
    return source;
}

QStringList ChipSource::children(const QString& path) const {
    if (!childMap)
        return {};
    return childMap->value(path);
}

QString ChipRows::signature(const QString& parent, const QStringList& children) {
    QString out = parent;
    for (const QString& child : children) {
        out += QLatin1Char('|');
        out += child;
    }
    if (children.isEmpty())
        out += QLatin1Char('|');
    return out;
}

std::vector<ChipDef> ChipRows::buildMain(const ChipSource& source) {
    const QString& root = source.root;
    // The home folder reads "Home", like the file manager shows it.
    const QString rootTitle = root == QDir::homePath()
                                  ? QStringLiteral("Home")
                                  : (source.name ? source.name(root) : lastComponent(root));
    std::vector<ChipDef> chips;
    chips.push_back({ChipKind::scope,
                     Scope::session(),
                     {},
                     QStringLiteral("Session"),
                     QStringLiteral("clock")});
    chips.push_back({ChipKind::scope,
                     Scope::all(),
                     {},
                     QStringLiteral("All"),
                     QStringLiteral("square.grid.2x2")});
    chips.push_back(
        {ChipKind::folder, Scope::folder(root), root, rootTitle, QStringLiteral("tray")});
    for (const QString& child : source.children(root)) {
        const bool nested = !source.children(child).isEmpty();
        chips.push_back({ChipKind::folder, Scope::folder(child), child, lastComponent(child),
                         nested ? QStringLiteral("folder.fill") : QStringLiteral("folder")});
    }
    chips.push_back({ChipKind::add, std::nullopt, {}, {}, QStringLiteral("plus")});
    return chips;
}

std::vector<ChipDef> ChipRows::buildSub(const ChipSource& source, const QString& parent) {
    const QString name = source.name ? source.name(parent) : lastComponent(parent);
    std::vector<ChipDef> chips;
    chips.push_back({ChipKind::folder, Scope::folder(parent), parent, QStringLiteral("All ") + name,
                     QStringLiteral("square.stack")});
    for (const QString& child : source.children(parent)) {
        const bool nested = !source.children(child).isEmpty();
        chips.push_back({ChipKind::folder, Scope::folder(child), child, lastComponent(child),
                         nested ? QStringLiteral("folder.fill") : QStringLiteral("folder")});
    }
    chips.push_back({ChipKind::add, std::nullopt, parent, {}, QStringLiteral("plus")});
    return chips;
}

std::optional<QString> ChipRows::subParent(const ChipSource& source, const Scope& scope) {
    if (scope.kind() != Scope::Kind::folder || scope.path() == source.root)
        return std::nullopt;
    const QString& selected = scope.path();
    // A folder with subfolders shows its own level; a leaf shows its parent's.
    const QString parent = source.children(selected).isEmpty() ? parentOf(selected) : selected;
    if (parent == source.root || !source.listed || !source.listed(parent))
        return std::nullopt;
    return parent;
}

bool ChipRows::refreshState(Chip& chip, bool mainRow, const ChipSource& source,
                            const Scope& scope) {
    qint64 count = chip.count;
    bool active = chip.active;
    const ChipDef& def = chip.def;
    if (def.kind == ChipKind::add)
        return false;
    if (def.kind == ChipKind::scope && def.scope) {
        const bool session = def.scope->kind() == Scope::Kind::session;
        count = session ? source.counts.session : source.counts.all;
        active = scope == *def.scope;
    } else {
        const QString& p = def.path;
        count = source.counts.perFolder.value(p, 0);
        active = scope == Scope::folder(p);
        // A first-level chip stays lit while one of its descendants is selected.
        if (!active && mainRow && scope.kind() == Scope::Kind::folder &&
            scope.path() != source.root && p != source.root)
            active = scope.path().startsWith(p + QLatin1Char('/'));
    }
    if (count == chip.count && active == chip.active)
        return false;
    chip.count = count;
    chip.active = active;
    return true;
}

ChipRows::Update ChipRows::update(const ChipSource& source, const Scope& scope) {
    Update out;
    const QString mainSig = signature(source.root, source.children(source.root));
    if (mainSig != m_mainSignature) {
        m_mainSignature = mainSig;
        m_main.clear();
        for (ChipDef& def : buildMain(source))
            m_main.push_back(Chip{std::move(def), 0, false});
        out.mainRebuilt = true;
    }

    const bool wasVisible = m_subVisible;
    const std::optional<QString> parent = subParent(source, scope);
    if (!parent) {
        m_subVisible = false;
        if (!m_sub.empty()) {
            m_sub.clear();
            m_subSignature.clear();
            out.subRebuilt = true;
        }
    } else {
        m_subVisible = true;
        const QString subSig = signature(*parent, source.children(*parent));
        if (subSig != m_subSignature) {
            m_subSignature = subSig;
            m_sub.clear();
            for (ChipDef& def : buildSub(source, *parent))
                m_sub.push_back(Chip{std::move(def), 0, false});
            out.subRebuilt = true;
        }
    }
    out.subVisibleChanged = wasVisible != m_subVisible;

    for (size_t i = 0; i < m_main.size(); ++i)
        if (refreshState(m_main[i], true, source, scope) && !out.mainRebuilt)
            out.mainChanged.push_back(int(i));
    for (size_t i = 0; i < m_sub.size(); ++i)
        if (refreshState(m_sub[i], false, source, scope) && !out.subRebuilt)
            out.subChanged.push_back(int(i));
    return out;
}

int ChipRows::firstActive(bool mainRow) const {
    const auto& row = mainRow ? m_main : m_sub;
    for (size_t i = 0; i < row.size(); ++i)
        if (row[i].active)
            return int(i);
    return -1;
}
