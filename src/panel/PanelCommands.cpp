#include "panel/PanelCommands.h"

#include "library/Library.h"
#include "panel/PanelGeometry.h"
#include "panel/PanelMenus.h"
#include "settings/Prefs.h"

PanelKey panelKey(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
    if (!(modifiers & Qt::ControlModifier))
        return PanelKey::none;
    const bool shift = modifiers & Qt::ShiftModifier;
    switch (key) {
    case Qt::Key_Comma:
        return PanelKey::settings;
    case Qt::Key_F:
        return PanelKey::search;
    case Qt::Key_W:
        return PanelKey::close;
    case Qt::Key_Z:
        return PanelKey::undo;
    case Qt::Key_N:
        return shift ? PanelKey::moveToNew : PanelKey::newFolder;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        return PanelKey::larger;
    case Qt::Key_Minus:
        return PanelKey::smaller;
    case Qt::Key_1:
        return PanelKey::session;
    case Qt::Key_2:
        return PanelKey::all;
    default:
        break;
    }
    // Keyboards that reach "+" or "1" only through Shift report the symbol's
    // key code above; others report the text alone.
    if (text == QLatin1String("+") || text == QLatin1String("="))
        return PanelKey::larger;
    if (text == QLatin1String("-"))
        return PanelKey::smaller;
    return PanelKey::none;
}

PanelCommands::PanelCommands(Library& lib, Prompts& prompts, Toast toast, Copy copy, Open open)
    : m_lib(lib)
    , m_prompts(prompts)
    , m_toast(std::move(toast))
    , m_copy(std::move(copy))
    , m_open(std::move(open)) {}

void PanelCommands::copy(const ShotList& shots) {
    if (shots.isEmpty())
        return;
    m_copy(shots);
    m_toast(shots.size() == 1 ? QStringLiteral("Copied")
                              : QStringLiteral("Copied %1 frames").arg(shots.size()),
            {}, {});
}

void PanelCommands::trash(const ShotList& shots) {
    if (shots.isEmpty())
        return;
    const qsizetype n = shots.size();
    if (Prefs::shared().boolean(Key::confirmDelete)) {
        const QString title = n == 1 ? QStringLiteral("Delete this screenshot?")
                                     : QStringLiteral("Delete %1 screenshots?").arg(n);
        const QString info = (n == 1 ? QStringLiteral("It goes") : QStringLiteral("They go")) +
                             QStringLiteral(" to the Trash. You can undo with Ctrl+Z.");
        if (!m_prompts.confirm(title, info, QStringLiteral("Move to Trash")))
            return;
    }
    const int moved = m_lib.trash(shots);
    if (moved <= 0)
        return;
    m_toast(moved == 1 ? QStringLiteral("Moved to Trash")
                       : QStringLiteral("Moved %1 frames to Trash").arg(moved),
            QStringLiteral("Undo"), [this] { undo(); });
}

void PanelCommands::undo() {
    const std::optional<Library::Undone> undone = m_lib.undo();
    if (!undone)
        m_toast(QStringLiteral("Nothing to undo"), {}, {});
    else if (!undone->restored)
        // The batch is gone either way; say that nothing came back rather
        // than pretend it did (the Trash was emptied, the files moved on).
        m_toast(QStringLiteral("Couldn't undo %1: the files are gone").arg(undone->label.toLower()),
                {}, {});
    else
        m_toast(QStringLiteral("Undid ") + undone->label.toLower(), {}, {});
}

void PanelCommands::open(const ShotList& shots) {
    QStringList paths;
    for (const ShotPtr& shot : shots)
        paths << shot->path;
    if (!paths.isEmpty())
        m_open(paths);
}

double PanelCommands::steppedThumb(double thumb, bool larger) {
    using PanelGeometry::resizeStep;
    return PanelGeometry::clampThumb(larger ? thumb * resizeStep : thumb / resizeStep);
}
