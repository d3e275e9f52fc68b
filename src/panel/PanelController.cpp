#include "panel/PanelController.h"

#include "grid/Clip.h"
#include "library/Library.h"
#include "panel/DialogPrompts.h"
#include "panel/ScreenChoice.h"
#include "panel/ShareMenu.h"
#include "platform/FileManager.h"
#include "platform/Log.h"
#include "shelf/BlockItem.h"
#include "shelf/Motion.h"

#include <QCursor>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QTimer>

PanelController::PanelController(Library& lib, PanelParts parts, PanelEnv env, QObject* parent)
    : QObject(parent)
    , m_lib(lib)
    , m_parts(parts)
    , m_env(std::move(env))
    , m_menus(*this) {
    m_deadlines =
        m_env.clock ? std::make_unique<Deadlines>(m_env.clock) : std::make_unique<Deadlines>();
    if (m_env.prompts) {
        m_prompts = m_env.prompts;
    } else {
        m_ownPrompts = std::make_unique<DialogPrompts>([this](bool on) {
            hold(on);
            // The dialog had the keyboard; an open panel takes it back.
            if (!on && expanded())
                m_parts.panel->makeKey(0);
        });
        m_prompts = m_ownPrompts.get();
    }
    if (!m_env.copyShot)
        m_env.copyShot = [](const ShotPtr& shot) { Clip::copy({shot}); };
    if (!m_env.copyShots)
        m_env.copyShots = [](const ShotList& shots) { Clip::copy(shots); };
    if (!m_env.openFiles)
        m_env.openFiles = [](const QStringList& paths, const PanelCommands::Failed& failed) {
            return FileManager::open(paths, failed);
        };
    if (!m_env.popup)
        m_env.popup = [](QMenu* menu, const QPoint& at) { menu->popup(at); };
    m_commands = std::make_unique<PanelCommands>(
        m_lib, *m_prompts,
        [this](const QString& text, const QString& action, std::function<void()> run) {
            toast(text, action, std::move(run));
        },
        m_env.copyShots, m_env.openFiles);
    Prefs& prefs = Prefs::shared();
    m_width = prefs.number(Key::width);
    m_storedThumb = prefs.number(Key::thumb);
    m_thumb = PanelGeometry::clampThumb(m_storedThumb);
    m_scope = Scope::fromId(prefs.string(Key::scope)).value_or(Scope::session());

    m_parts.shelf->setSide(prefs.side());
    m_parts.shelf->layoutAll();
    m_parts.grid->setTarget(m_thumb);
    m_parts.grid->setCaptions(prefs.boolean(Key::captions));
    m_parts.shelf->setSliderValue(m_thumb);
    m_parts.shelf->updatePin(prefs.boolean(Key::pinned));

    connect(&m_lib, &Library::changed, this, &PanelController::libChanged);
    connect(&m_lib, &Library::arrived, this, &PanelController::libArrived);
    connect(&m_lib.text(), &TextIndex::pendingChanged, this, &PanelController::readingChanged);
    m_parts.shelf->setReading(m_lib.text().pending());

    m_parts.shelf->setEmptyState({EmptyState::Kind::loading, {}});
    m_parts.panel->setWindowFrame(windowFrame());
    applyCard();
    m_parts.tab->show();
}

PanelController::~PanelController() {
    // Only the ticker callbacks: the windows may already be gone.
    stopTween();
}

motion::Animator& PanelController::animator() const {
    return m_env.animator ? *m_env.animator : motion::Animator::shared();
}

ScreenFrames PanelController::screen() const {
    if (m_env.screen)
        return m_env.screen();
    // A screen unplugged while the panel was open on it: the tab's screen.
    QScreen* on = m_onScreen.isEmpty() ? nullptr : ScreenChoice::byName(m_onScreen);
    return ScreenFrames::of(on ? on : ScreenChoice::tabScreen());
}

QPointF PanelController::pointer() const {
    return m_env.pointer ? m_env.pointer() : QPointF(QCursor::pos());
}

bool PanelController::pointerInCard() {
    m_lastPointer = pointer();
    return cardScreenFrame().contains(m_lastPointer);
}

// Opening and closing

void PanelController::expand(bool makeKey, quint32 timestamp, Where where) {
    m_deadlines->cancel(collapseWork);
    m_deadlines->cancel(hoverWork);
    if (!expanded()) {
        const QScreen* on =
            where == Where::choice ? ScreenChoice::openScreen(pointer().toPoint()) : nullptr;
        m_onScreen = on && on != ScreenChoice::tabScreen() ? on->name() : QString();
    }
    if (makeKey)
        m_keyboardOpen = true;
    if (expanded()) {
        if (makeKey) {
            m_parts.panel->makeKey(timestamp);
            m_parts.grid->focus();
        }
        return;
    }
    m_state = State::expanded;
    m_lib.text().setForeground(true);
    m_unseen = 0;
    m_parts.tab->setUnseen(0);
    reload(false, {});

    m_parts.panel->setWindowFrame(windowFrame());
    applyCard();
    const DockSide side = Prefs::shared().side();
    QPointer<PanelController> self(this);
    m_parts.panel->present(side, [self] {
        if (self)
            self->m_parts.grid->updateVisible();
    });
    m_parts.grid->cascadeIn(side != DockSide::left);
    m_parts.tab->hide();

    m_mouseInside = pointerInCard();
    startPassThrough();
    if (makeKey) {
        m_parts.panel->makeKey(timestamp);
        m_parts.grid->focus();
    }
    emit expandedChanged(true);
}

void PanelController::collapse(bool force) {
    if (!expanded())
        return;
    if (!force && (m_holds > 0 || Prefs::shared().boolean(Key::pinned)))
        return;
    if (force)
        m_holds = 0;
    m_state = State::collapsed;
    m_lib.text().setForeground(false);
    m_keyboardOpen = false;
    m_deadlines->cancel(collapseWork);
    stopPassThrough();
    m_parts.grid->closePreview();

    QPointer<PanelController> self(this);
    m_parts.panel->dismiss(Prefs::shared().side(), [self] {
        // An expand that came in during the fade keeps the panel on screen.
        if (self && !self->expanded())
            self->m_parts.panel->orderOut();
    });
    m_parts.panel->resignFocus();
    m_parts.tab->show();
    if (m_parts.shelf->searchVisible() && m_query.isEmpty())
        m_parts.shelf->hideSearch();
    emit expandedChanged(false);
}

void PanelController::scheduleCollapse(double delay, bool ignoreEditing) {
    if (!expanded() || Prefs::shared().boolean(Key::pinned) || m_holds != 0)
        return;
    if (!ignoreEditing && m_parts.shelf->isEditingSearch())
        return;
    m_deadlines->schedule(collapseWork, delay, [this] {
        if (!m_mouseInside && m_holds == 0 && !Prefs::shared().boolean(Key::pinned))
            collapse(false);
    });
}

void PanelController::hold(bool on) {
    const int n = m_holds + (on ? 1 : -1);
    m_holds = std::max(n, 0);
    if (n > 0)
        return;
    m_mouseInside = pointerInCard();
    pointerCheck();
    if (m_mouseInside)
        return;
    if (!m_keyboardOpen) {
        scheduleCollapse(PanelDelay::released, false);
        return;
    }
    // A panel opened from the keyboard never waited for the pointer: it stays
    // for the keys (and the Undo of what they just did) once it has the
    // keyboard back, and closes only when it did not get it.
    if (Prefs::shared().boolean(Key::pinned))
        return;
    m_deadlines->schedule(collapseWork, PanelDelay::released, [this] {
        if (!m_mouseInside && m_holds == 0 && !m_parts.panel->isKey() &&
            !Prefs::shared().boolean(Key::pinned))
            collapse(false);
    });
}

void PanelController::togglePin() {
    Prefs& prefs = Prefs::shared();
    prefs.set(Key::pinned, !prefs.boolean(Key::pinned));
    const bool pinned = prefs.boolean(Key::pinned);
    m_parts.shelf->updatePin(pinned);
    if (pinned)
        expand(false);
    else if (!m_mouseInside)
        scheduleCollapse(PanelDelay::released, false);
}

void PanelController::escape() {
    if (m_parts.shelf->isEditingSearch()) {
        if (!m_parts.shelf->searchText().isEmpty())
            m_parts.shelf->clearSearch();
        else
            m_parts.shelf->hideSearch();
    } else if (m_parts.grid->selectionCount() > 0) {
        m_parts.grid->clearSelection();
    } else {
        collapse(true);
    }
}

void PanelController::resignedKey() {
    if (expanded() && !m_mouseInside)
        scheduleCollapse(PanelDelay::resignedKey, true);
}

// Pointer tracking

bool PanelController::wantsIgnore(bool inside) const {
    if (inside || m_resizing)
        return false;
    // While held the panel keeps the pointer, except for a drag-out, whose
    // drop has to reach the window below.
    return m_holds == 0 ? true : m_draggingOut;
}

void PanelController::pointerCheck() {
    if (!expanded())
        return;
    const bool inside = pointerInCard();
    const bool ignore = wantsIgnore(inside);
    if (m_parts.panel->ignoresMouse() != ignore)
        m_parts.panel->setIgnoresMouse(ignore);
    if (inside != m_mouseInside)
        mouseInPanel(inside);
}

void PanelController::mouseInPanel(bool inside) {
    m_mouseInside = inside;
    // Once the pointer has been in, the panel closes as pointer-opened ones do.
    if (inside)
        m_keyboardOpen = false;
    if (expanded()) {
        const bool ignore = wantsIgnore(inside);
        if (m_parts.panel->ignoresMouse() != ignore)
            m_parts.panel->setIgnoresMouse(ignore);
    }
    if (!inside)
        scheduleCollapse(PanelDelay::pointerLeft, false);
    else
        m_deadlines->cancel(collapseWork);
    // The pointer moves: it is followed closely again.
    if (m_polling) {
        m_pollDelay = kPollFast;
        m_deadlines->schedule(pointerWork, m_pollDelay, [this] { pollPointer(); });
    }
}

void PanelController::startPassThrough() {
    stopPassThrough();
    m_polling = true;
    m_pollDelay = kPollFast;
    pollPointer();
}

void PanelController::pollPointer() {
    // The pointer is read only while the panel is open: at frame rate while it
    // moves, and ever more rarely while it rests, so an open panel left alone
    // costs next to nothing. Events of the panel's own windows poll at once.
    const QPointF before = m_lastPointer;
    pointerCheck();
    // A pending close is called off by the pointer's return: that is watched closely.
    const bool resting = m_lastPointer == before && !m_deadlines->pending(collapseWork);
    m_pollDelay = resting ? std::min(m_pollDelay * 2, kPollSlow) : kPollFast;
    if (m_polling)
        m_deadlines->schedule(pointerWork, m_pollDelay, [this] { pollPointer(); });
}

void PanelController::stopPassThrough() {
    m_polling = false;
    m_deadlines->cancel(pointerWork);
    m_parts.panel->setIgnoresMouse(false);
}

void PanelController::gridDrag(GridView*, bool active) {
    m_draggingOut = active;
    pointerCheck();
}

void PanelController::gridDragMoved(GridView*) {
    pointerCheck();
}

// The tab

void PanelController::tabHover(bool hovering) {
    m_deadlines->cancel(hoverWork);
    if (!hovering || !Prefs::shared().boolean(Key::reveal) || expanded())
        return;
    m_deadlines->schedule(hoverWork, PanelDelay::hoverOpen, [this] {
        expand(false);
        scheduleCollapse(PanelDelay::hoverClose, false);
    });
}

std::optional<QString> PanelController::recognizedText(const Shot& shot) const {
    return m_lib.text().text(shot);
}

void PanelController::tabPressed() {
    m_deadlines->cancel(hoverWork);
}

void PanelController::tabClicked(quint32 timestamp) {
    if (expanded())
        collapse(true);
    else
        expand(true, timestamp);
}

void PanelController::menuWillOpen() {
    hold(true);
}

void PanelController::menuDidClose() {
    // A command chosen from the menu runs before the hold goes.
    BlockItem::afterChosen(this, [this] { hold(false); });
}

// The library

void PanelController::libArrived(const ShotList& shots) {
    if (shots.isEmpty())
        return;
    if (Prefs::shared().boolean(Key::autoCopy) && !shots.first()->isVideo)
        m_env.copyShot(shots.first());

    QSet<QString> arrived;
    for (const ShotPtr& shot : shots)
        arrived.insert(shot->path);
    bool inView = false;
    for (const ShotPtr& shot : m_parts.grid->shots())
        inView = inView || arrived.contains(shot->path);
    if (!expanded() && !inView && m_scope.kind() != Scope::Kind::session)
        select(Scope::session());

    m_parts.grid->develop(arrived);
    m_parts.tab->advance(int(shots.size()));
    if (expanded()) {
        if (const auto frame = m_parts.grid->frameOf(shots.first()->path))
            m_parts.grid->scrollToVisible(frame->adjusted(0, -14, 0, 14));
        return;
    }
    m_unseen += int(shots.size());
    m_parts.tab->setUnseen(m_unseen);
    if (Prefs::shared().boolean(Key::peek) && !m_parts.grid->shots().isEmpty()) {
        expand(false);
        scheduleCollapse(PanelDelay::peekClose, false);
    }
}

void PanelController::libChanged() {
    reload(expanded(), {});
}

void PanelController::select(const Scope& scope) {
    if (scope == m_scope)
        return;
    m_scope = scope;
    Prefs::shared().set(Key::scope, scope.id());
    m_parts.grid->clearSelection();
    reload(false, {});
    m_parts.grid->scrollToTop();
}

void PanelController::setQuery(const QString& text) {
    m_query = text;
    m_deadlines->schedule(queryWork, PanelDelay::query, [this] { reload(true, {}); });
}

void PanelController::reload(bool animated, const QSet<QString>& fresh) {
    if (m_scope.kind() == Scope::Kind::folder && !m_lib.listing().contains(m_scope.path())) {
        m_scope = Scope::session();
        Prefs::shared().set(Key::scope, m_scope.id());
    }
    const ShotList shots = m_lib.shots(m_scope, m_query);
    m_parts.grid->setCaptions(Prefs::shared().boolean(Key::captions));
    m_parts.grid->setShots(shots, animated, fresh);
    m_parts.shelf->updateChips(m_lib, m_scope);

    const QString t = m_query.trimmed();
    const qsizetype total = t.isEmpty() ? 0 : m_lib.shots(m_scope, {}).size();
    m_parts.shelf->setCount(shots.size(), total, t.isEmpty());

    using Kind = EmptyState::Kind;
    EmptyState state;
    if (!m_lib.scanned())
        state = {Kind::loading, {}};
    else if (!m_lib.readable())
        state = {Kind::unreadable, QFileInfo(m_lib.root()).fileName()};
    else if (!shots.isEmpty())
        state = {Kind::none, {}};
    else if (t.isEmpty())
        state = {m_scope.kind() == Scope::Kind::folder ? Kind::emptyFolder : Kind::noShots, {}};
    else
        state = {Kind::noMatches, t, m_lib.text().pending()};
    m_parts.shelf->setEmptyState(state);
    m_parts.shelf->updateSelection(m_parts.grid->selectionCount());
}

void PanelController::readingChanged(qsizetype pending) {
    m_parts.shelf->setReading(pending);
    // Text just read may match the search being shown: it is run again, as
    // if typed, and the hint under "Nothing matches" follows the count.
    if (!m_query.trimmed().isEmpty())
        m_deadlines->schedule(queryWork, PanelDelay::query, [this] { reload(false, {}); });
}

void PanelController::replaceScope(const Scope& scope) {
    m_scope = scope;
    Prefs::shared().set(Key::scope, scope.id());
    reload(false, {});
}
