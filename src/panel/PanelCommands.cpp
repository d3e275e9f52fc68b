#include "panel/PanelCommands.h"

#include "library/Library.h"
#include "library/ShownName.h"
#include "panel/PanelGeometry.h"
#include "panel/PanelMenus.h"
#include "settings/Prefs.h"

#include <QFileInfo>
#include <cerrno>

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
    int failure = 0;
    const int moved = m_lib.trash(shots, &failure);
    if (moved <= 0) {
        // The files stay where they were; say so rather than nothing.
        if (failure)
            m_toast(trashFailure(int(n), failure), {}, {});
        return;
    }
    QString text = moved == 1 ? QStringLiteral("Moved to Trash")
                              : QStringLiteral("Moved %1 frames to Trash").arg(moved);
    if (moved < n)
        text = QStringLiteral("Moved %1 of %2 frames to Trash").arg(moved).arg(n);
    m_toast(text, QStringLiteral("Undo"), [this] { undo(); });
}

QString PanelCommands::trashFailure(int count, int error) {
    QString text = count == 1 ? QStringLiteral("Couldn't move it to the Trash")
                              : QStringLiteral("Couldn't move them to the Trash");
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return text + QStringLiteral(": the disk is full");
    case EACCES:
    case EPERM:
    case EROFS:
        return text + QStringLiteral(": not allowed here");
    default:
        return text;
    }
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
    if (paths.isEmpty())
        return;
    // The toast may come after the opener ended, when this object may be gone:
    // it captures only the toast function.
    m_open(paths, [toast = m_toast](const QString& path) {
        toast(QStringLiteral("Couldn't open “%1”").arg(shownName(QFileInfo(path).fileName())), {},
              {});
    });
}

double PanelCommands::steppedThumb(double thumb, bool larger) {
    using PanelGeometry::resizeStep;
    return PanelGeometry::clampThumb(larger ? thumb * resizeStep : thumb / resizeStep);
}
