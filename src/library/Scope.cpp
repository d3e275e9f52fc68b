#include "library/Scope.h"

namespace {
const QString kFolderPrefix = QStringLiteral("folder:");
}

std::optional<Scope> Scope::fromId(const QString& id) {
    if (id == QLatin1String("session"))
        return session();
    if (id == QLatin1String("all"))
        return all();
    if (id.startsWith(kFolderPrefix))
        return folder(id.mid(kFolderPrefix.size()));
    return std::nullopt;
}

QString Scope::id() const {
    switch (m_kind) {
    case Kind::session:
        return QStringLiteral("session");
    case Kind::all:
        return QStringLiteral("all");
    case Kind::folder:
        break;
    }
    return kFolderPrefix + m_path;
}
