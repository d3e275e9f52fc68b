#include "panel/PanelMenus.h"

#include "library/Library.h"
#include "library/ShownName.h"
#include "panel/ShareMenu.h"
#include "platform/FileManager.h"
#include "shelf/BlockItem.h"
#include "shelf/Theme.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QTimer>

namespace {

// A shot is directly in a folder when its file's parent directory is that folder.
bool directlyIn(const Shot& shot, const QString& folder) {
    return QFileInfo(shot.path).absolutePath() == folder;
}

bool anyOutside(const ShotList& shots, const QString& folder) {
    return std::any_of(shots.cbegin(), shots.cend(),
                       [&](const ShotPtr& shot) { return !directlyIn(*shot, folder); });
}

// The path with symbolic links resolved and "." and ".." removed.
QString resolved(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

QStringList pathsOf(const ShotList& shots) {
    QStringList paths;
    for (const ShotPtr& shot : shots)
        paths << shot->path;
    return paths;
}

BlockItem* item(QMenu* menu, const QString& title, const char* symbol, std::function<void()> run,
                bool enabled = true) {
    auto* action = new BlockItem(title, QString::fromLatin1(symbol), {}, std::move(run), menu);
    action->setEnabled(enabled);
    menu->addAction(action);
    return action;
}

} // namespace

PanelMenus::PanelMenus(MenuHost& host)
    : m_host(host) {}

QString PanelMenus::displayName(const QString& path) {
    if (QDir::cleanPath(path) == QDir::cleanPath(QDir::homePath()))
        return QStringLiteral("Home");
    if (path == QLatin1String("/"))
        return path;
    return QDir::cleanPath(path).section(QLatin1Char('/'), -1);
}

void PanelMenus::reveal(const QStringList& paths) {
    QPointer<QObject> alive(&m_releases);
    FileManager::reveal(paths, {}, [this, alive] {
        if (alive)
            m_host.toast(QStringLiteral("No file manager to show it in"));
    });
}

void PanelMenus::openFolder(const QString& folder) {
    QPointer<QObject> alive(&m_releases);
    FileManager::open({folder}, [this, alive, folder](const QString&) {
        if (alive)
            m_host.toast(QStringLiteral("Couldn't open “%1”").arg(shownName(displayName(folder))));
    });
}

QMenu* PanelMenus::held(QMenu* menu) {
    MenuHost* host = &m_host;
    QObject* releases = &m_releases;
    QObject::connect(menu, &QMenu::aboutToShow, menu, [host] { host->hold(true); });
    // Not in the menu's context: whoever showed the menu may delete it as soon
    // as it closed, and the release must come all the same.
    QObject::connect(menu, &QMenu::aboutToHide, menu, [host, releases] {
        BlockItem::afterChosen(releases, [host] { host->hold(false); });
    });
    return menu;
}

QMenu* PanelMenus::gridMenu(const ShotList& shots, QWidget* parent) {
    auto* menu = held(new QMenu(parent));
    Library& lib = m_host.library();
    const qsizetype n = shots.size();
    if (n == 0) {
        item(menu, QStringLiteral("New Folder…"), "folder.badge.plus",
             [this] { newFolderPrompt({}); });
        item(menu, QStringLiteral("Select All"), "checkmark.circle",
             [this] { m_host.selectAll(); });
        menu->addSeparator();
        const QString root = lib.root();
        item(menu, QStringLiteral("Open %1 in File Manager").arg(displayName(root)), "folder",
             [this, root] { openFolder(root); });
        return menu;
    }
    const QString s = n == 1 ? QString() : QStringLiteral(" %1 Frames").arg(n);
    item(menu, QStringLiteral("Open") + s, "arrow.up.forward.app",
         [this, shots] { m_host.open(shots); });
    item(menu, QStringLiteral("Preview"), "eye", [this] { m_host.togglePreview(); });
    menu->addSeparator();
    item(menu, n == 1 ? QStringLiteral("Copy Image") : QStringLiteral("Copy") + s, "doc.on.doc",
         [this, shots] { m_host.copy(shots); });
    if (n == 1) {
        if (const std::optional<QString> text = lib.text().text(*shots.first());
            text && !text->isEmpty())
            item(menu, QStringLiteral("Copy Text"), "text.viewfinder",
                 [this, t = *text] { copyText(t); });
    }
    item(menu, n == 1 ? QStringLiteral("Copy Path") : QStringLiteral("Copy Paths"), "link",
         [this, shots] { copyPaths(shots); });
    menu->addMenu(held(ShareMenu::create(
        pathsOf(shots), [this](const QString& text) { m_host.toast(text); }, menu)));
    menu->addSeparator();
    QMenu* moveTo = moveMenu(shots, menu);
    moveTo->setTitle(QStringLiteral("Move to"));
    moveTo->setIcon(Theme::symbolIcon(u"folder"));
    menu->addMenu(moveTo);
    if (n == 1)
        item(menu, QStringLiteral("Rename…"), "pencil",
             [this, shot = shots.first()] { rename(shot); });
    item(menu, QStringLiteral("Show in File Manager"), "magnifyingglass",
         [this, paths = pathsOf(shots)] { reveal(paths); });
    menu->addSeparator();
    item(menu, QStringLiteral("Move to Trash"), "trash", [this, shots] { m_host.trash(shots); });
    return menu;
}

QMenu* PanelMenus::moveMenu(const ShotList& shots, QWidget* parent) {
    auto* menu = held(new QMenu(parent));
    Library& lib = m_host.library();
    const QString root = lib.root();
    item(
        menu, displayName(root), "tray", [this, shots, root] { move(shots, root); },
        anyOutside(shots, root));
    const QStringList children = lib.childMap().value(root);
    if (!children.isEmpty()) {
        menu->addSeparator();
        for (const QString& child : children)
            addMoveItem(menu, child, shots);
    }
    menu->addSeparator();
    item(menu, QStringLiteral("New Folder…"), "folder.badge.plus",
         [this, shots] { newFolderPrompt(shots); });
    return menu;
}

void PanelMenus::addMoveItem(QMenu* menu, const QString& folder, const ShotList& shots) {
    const QString name = shownName(QFileInfo(folder).fileName());
    const bool enabled = anyOutside(shots, folder);
    const QStringList children = m_host.library().childMap().value(folder);
    if (children.isEmpty()) {
        item(
            menu, name, "folder", [this, shots, folder] { move(shots, folder); }, enabled);
        return;
    }
    QMenu* sub = held(new QMenu(name, menu));
    sub->setIcon(Theme::symbolIcon(u"folder.fill"));
    item(
        sub, QStringLiteral("Into “%1”").arg(name), "arrow.down.to.line",
        [this, shots, folder] { move(shots, folder); }, enabled);
    sub->addSeparator();
    for (const QString& child : children)
        addMoveItem(sub, child, shots);
    sub->addSeparator();
    item(sub, QStringLiteral("New Folder Here…"), "folder.badge.plus",
         [this, shots, folder] { newFolderPrompt(shots, folder); });
    menu->addMenu(sub);
}

QMenu* PanelMenus::folderMenu(const QString& folder, QWidget* parent) {
    auto* menu = held(new QMenu(parent));
    item(menu, QStringLiteral("Open in File Manager"), "folder",
         [this, folder] { openFolder(folder); });
    item(menu, QStringLiteral("New Folder Inside…"), "folder.badge.plus",
         [this, folder] { newFolderPrompt({}, folder); });
    item(menu, QStringLiteral("Rename…"), "pencil", [this, folder] { renameFolder(folder); });
    menu->addSeparator();
    item(menu, QStringLiteral("Move Folder to Trash…"), "trash",
         [this, folder] { trashFolder(folder); });
    return menu;
}

void PanelMenus::trashFolder(const QString& folder) {
    Library& lib = m_host.library();
    const qsizetype n = lib.shots(Scope::folder(folder), {}).size();
    const QString info = n == 0
                             ? QStringLiteral("The folder is empty.")
                             : QStringLiteral("It contains %1 frame%2. You can undo with Ctrl+Z.")
                                   .arg(n)
                                   .arg(n == 1 ? QString() : QStringLiteral("s"));
    const QString title =
        QStringLiteral("Move “%1” to the Trash?").arg(shownName(QFileInfo(folder).fileName()));
    if (!m_host.prompts().confirm(title, info, QStringLiteral("Move to Trash")))
        return;
    if (lib.trashFolder(folder))
        m_host.toast(QStringLiteral("Moved folder to Trash"), QStringLiteral("Undo"),
                     [host = &m_host] { host->undo(); });
}

void PanelMenus::newFolderPrompt(const ShotList& moving, const QString& parent) {
    Library& lib = m_host.library();
    const QString parentName =
        parent.isEmpty() ? displayName(lib.root()) : lib.name(resolved(parent));
    QString info;
    if (moving.isEmpty())
        info = QStringLiteral("It goes inside “%1”.").arg(shownName(parentName));
    else if (moving.size() == 1)
        info = QStringLiteral("The selected frame will move into it.");
    else
        info = QStringLiteral("The %1 selected frames will move into it.").arg(moving.size());
    std::optional<QString> created;
    const QString base = parent.isEmpty() ? lib.root() : parent;
    const auto attempt = [&](const QString& name) -> QString {
        if (const QString problem = nameProblem(name); !problem.isEmpty())
            return problem;
        created = lib.createFolder(name, parent);
        if (created)
            return {};
        return QFileInfo(base).isDir() ? QStringLiteral("Couldn't create a folder here")
                                       : QStringLiteral("The folder it goes in is gone");
    };
    m_host.prompts().prompt(QStringLiteral("New Folder"), info, {}, QStringLiteral("Create"),
                            attempt);
    if (!created)
        return;
    if (moving.isEmpty())
        m_host.toast(QStringLiteral("Created “%1”").arg(shownName(QFileInfo(*created).fileName())));
    else
        move(moving, *created);
}

QString PanelMenus::nameProblem(const QString& name) {
    if (name.startsWith(QLatin1Char('.')))
        return QStringLiteral("A name can't start with a dot");
    return {};
}

void PanelMenus::rename(const ShotPtr& shot) {
    const QFileInfo file(shot->path);
    Library& lib = m_host.library();
    const auto attempt = [&](const QString& name) -> QString {
        if (const QString problem = nameProblem(name); !problem.isEmpty())
            return problem;
        if (lib.rename(shot, name))
            return {};
        // The library keeps the extension; a name taken with it is the usual cause.
        QString target = Library::cleanName(name);
        if (QFileInfo(target).suffix().compare(file.suffix(), Qt::CaseInsensitive) != 0)
            target += QLatin1Char('.') + file.suffix();
        return QFileInfo::exists(file.absolutePath() + QLatin1Char('/') + target)
                   ? QStringLiteral("That name is taken")
                   : QStringLiteral("Couldn't rename it");
    };
    m_host.prompts().prompt(QStringLiteral("Rename Frame"), shownName(file.fileName()),
                            file.completeBaseName(), QStringLiteral("Rename"), attempt);
}

void PanelMenus::renameFolder(const QString& folder) {
    const QString last = QFileInfo(folder).fileName();
    // Taken before the rename: the library's change notice during the rename
    // already finds the old folder gone and drops a scope on it.
    const Scope scope = m_host.scope();
    std::optional<QString> renamed;
    const auto attempt = [&](const QString& name) -> QString {
        if (const QString problem = nameProblem(name); !problem.isEmpty())
            return problem;
        renamed = m_host.library().renameFolder(folder, name);
        if (renamed)
            return {};
        const QString target =
            QFileInfo(folder).absolutePath() + QLatin1Char('/') + Library::cleanName(name);
        return QFileInfo::exists(target) ? QStringLiteral("That name is taken")
                                         : QStringLiteral("Couldn't rename the folder");
    };
    m_host.prompts().prompt(QStringLiteral("Rename Folder"), shownName(last), last,
                            QStringLiteral("Rename"), attempt);
    if (!renamed)
        return;
    // A scope on the folder or inside it follows it to its new place.
    if (scope.kind() != Scope::Kind::folder)
        return;
    const QString current = scope.path();
    if (current == folder || current.startsWith(folder + QLatin1Char('/')))
        m_host.replaceScope(Scope::folder(*renamed + current.mid(folder.size())));
}

void PanelMenus::move(const ShotList& shots, const QString& folder) {
    Library& lib = m_host.library();
    const int moved = lib.move(shots, folder);
    if (moved == 0)
        return;
    const QString name =
        shownName(folder == lib.root() ? displayName(folder) : QFileInfo(folder).fileName());
    const QString text = moved == 1
                             ? QStringLiteral("Moved to “%1”").arg(name)
                             : QStringLiteral("Moved %1 frames to “%2”").arg(moved).arg(name);
    m_host.toast(text, QStringLiteral("Undo"), [host = &m_host] { host->undo(); });
}

void PanelMenus::dropSelection(const QString& folder) {
    move(m_host.draggedOrSelected(), folder);
}

void PanelMenus::copyPaths(const ShotList& shots) {
    QGuiApplication::clipboard()->clear();
    QGuiApplication::clipboard()->setText(pathsOf(shots).join(QLatin1Char('\n')));
    m_host.toast(shots.size() == 1 ? QStringLiteral("Path copied")
                                   : QStringLiteral("%1 paths copied").arg(shots.size()));
}

void PanelMenus::copyText(const QString& text) {
    QGuiApplication::clipboard()->clear();
    QGuiApplication::clipboard()->setText(text);
    m_host.toast(QStringLiteral("Text copied"));
}
