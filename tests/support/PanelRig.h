#pragma once

// A real PanelController on a manual clock, against recording fakes or the real card.

#include "../library/LibrarySupport.h"
#include "panel/CardPorts.h"
#include "panel/PanelController.h"
#include "shelf/Scheduler.h"
#include "shelf/ShelfView.h"

#include <QKeyEvent>
#include <QMenu>
#include <QPointer>

/// Answers prompts from a script, a name per complaint until one is taken; records the asks.
struct ScriptedPrompts : Prompts {
    QStringList answers;
    QList<bool> confirmations;
    QStringList asked; ///< title|info|initial of a prompt, title|info of a confirmation
    QStringList problems;
    std::optional<QString> prompt(const QString& title, const QString& info, const QString& initial,
                                  const QString&, const Attempt& attempt) override {
        asked << title + "|" + info + "|" + initial;
        while (!answers.isEmpty()) {
            const QString name = answers.takeFirst().trimmed();
            const QString why = attempt ? attempt(name) : QString();
            if (why.isEmpty())
                return name;
            problems << why;
        }
        return std::nullopt;
    }
    bool confirm(const QString& title, const QString& info, const QString&) override {
        asked << title + "|" + info;
        return !confirmations.isEmpty() && confirmations.takeFirst();
    }
};

class FakePanel : public PanelWindow {
public:
    void setWindowFrame(const QRectF& frame) override { windowFrame = frame; }
    void setCardRect(const QRectF& card) override { card_ = card; }
    QRectF cardRect() const override { return card_; }
    void present(DockSide, std::function<void()>) override {
        shown = true;
        ++presents;
    }
    void dismiss(DockSide, std::function<void()> done) override { fadedOut = std::move(done); }
    void orderOut() override { shown = false; }
    bool isShown() const override { return shown; }
    void setIgnoresMouse(bool ignore) override { ignoring = ignore; }
    bool ignoresMouse() const override { return ignoring; }
    void makeKey(quint32 timestamp) override {
        key = true;
        keyTimestamps.append(timestamp);
    }
    void resignFocus() override { key = false; }
    bool isKey() const override { return key; }

    /// Ends the running fade-out the way the window's animation would.
    void finishFadeOut() {
        if (auto done = std::exchange(fadedOut, nullptr))
            done();
    }

    QRectF windowFrame, card_;
    bool shown = false, ignoring = false, key = false;
    int presents = 0;
    QList<quint32> keyTimestamps;
    std::function<void()> fadedOut;
};

/// Records the controller's calls; what the real tab makes of them: tst_PanelCard.
class FakeTab : public TabWindow {
public:
    void show() override { visible = true; }
    void hide() override { visible = false; }
    void position() override { ++positions; }
    void setUnseen(int n) override { count = n; }
    int unseen() const override { return count; }
    void advance(int arrived) override { advances.append(arrived); }

    bool visible = false;
    int positions = 0, count = 0;
    QList<int> advances;
};

class FakeShelf : public ShelfPort {
public:
    bool isEditingSearch() const override { return editing; }
    bool searchVisible() const override { return searchShown; }
    QString searchText() const override { return text; }
    void clearSearch() override { text.clear(); }
    void hideSearch() override {
        searchShown = false;
        editing = false;
    }
    void updatePin(bool) override {}
    void setSide(DockSide s) override { side = s; }
    void layoutAll() override {}
    void layoutGrid(bool animated) override { gridLayouts.append(animated); }
    void setSliderValue(double t) override { slider = t; }
    void updateChips(const Library&, const Scope&) override { ++chipUpdates; }
    void setCount(qsizetype shown, qsizetype total, bool plain) override {
        count = {shown, total, plain};
    }
    void setEmptyState(const EmptyState& state) override { empty = state; }
    void setReading(qsizetype) override {}
    void updateSelection(qsizetype) override {}
    void showSearch(bool focus, const std::optional<QString>& seed) override {
        searchShown = true;
        editing = editing || focus;
        if (seed)
            text = *seed;
    }
    void editSearch(int) override {}
    void showToast(const QString& t, const QString& action, std::function<void()> run) override {
        toasts << (action.isEmpty() ? t : t + " [" + action + "]");
        toastAction = std::move(run);
    }

    QStringList toasts;
    std::function<void()> toastAction;
    bool editing = false, searchShown = false;
    QString text;
    DockSide side = DockSide::right;
    QList<bool> gridLayouts;
    double slider = 0;
    int chipUpdates = 0;
    std::tuple<qsizetype, qsizetype, bool> count{0, 0, true};
    EmptyState empty;
};

class FakeGrid : public GridPort {
public:
    ShotList shots() const override { return list; }
    void setShots(const ShotList& s, bool, const QSet<QString>&) override { list = s; }
    void setTarget(double t) override { target = t; }
    void setCaptions(bool) override {}
    qsizetype selectionCount() const override { return selected; }
    void clearSelection() override { selected = 0; }
    void develop(const QSet<QString>& paths) override { developed.append(paths); }
    void cascadeIn(bool) override {}
    void updateVisible() override {}
    std::optional<QRectF> frameOf(const QString& path) const override {
        for (qsizetype i = 0; i < list.size(); ++i)
            if (list[i]->path == path)
                return QRectF(6, 10 + 200.0 * double(i), 224, 190);
        return std::nullopt;
    }
    void scrollToVisible(const QRectF& r) override { scrolledTo.append(r); }
    void scrollToTop() override { ++topScrolls; }
    void focus() override { ++focuses; }
    void closePreview() override {}
    void togglePreview() override { log << "preview"; }
    ShotList selectedShots() const override { return chosen; }
    void selectAll() override { chosen = list; }
    ShotList draggedShots() const override { return dragged; }
    bool command(QKeyEvent*) override {
        ++commands;
        return takesCommands;
    }

    QStringList log; ///< what the controller asked of the grid and of the desktop
    ShotList list, chosen, dragged;
    bool takesCommands = false;
    int commands = 0, topScrolls = 0, focuses = 0;
    double target = 0;
    qsizetype selected = 0;
    QList<QSet<QString>> developed;
    QList<QRectF> scrolledTo;
};

/// A fresh settings store and a loaded library of (name, age in seconds) under <tmp>/Shots.
struct PanelLibrary {
    explicit PanelLibrary(const QList<std::pair<QString, double>>& shots,
                          const std::function<void(const QString& root)>& beforeLoad = {}) {
        QFile::remove(Prefs::shared().storePath());
        Prefs::resetSharedForTesting();
        root = dir.path() + "/Shots";
        for (const auto& [name, age] : shots)
            LibrarySupport::shot(root, name, age);
        if (beforeLoad)
            beforeLoad(root);
        lib = LibrarySupport::loaded(root);
    }
    ShotPtr byName(const QString& name) const {
        for (const ShotPtr& s : lib->all())
            if (QFileInfo(s->path).fileName() == name)
                return s;
        qFatal("no shot %s", qPrintable(name));
    }

    QTemporaryDir dir;
    QString root;
    std::unique_ptr<Library> lib;
};

/// A 1440 × 900 screen whose top 25 pixels belong to a desktop panel.
inline ScreenFrames standardScreen() {
    return {QRectF(0, 0, 1440, 900), QRectF(0, 25, 1440, 875)};
}

/// A controller on a manual clock, the pointer on the tab's pill; `realCard`: a real ShelfView.
struct PanelRig {
    explicit PanelRig(Library& lib, bool realCard = false) {
        PanelEnv env;
        env.animator = &animator;
        env.clock = [this] { return animator.now(); };
        env.pointer = [this] {
            ++pointerReads;
            return pointer;
        };
        env.screen = [this] { return screen; };
        env.copyShot = [this](const ShotPtr& shot) { copied.append(shot); };
        env.copyShots = [this](const ShotList& shots) { copied.append(shots); };
        env.openFiles = [this](const QStringList& paths, const PanelCommands::Failed& failed) {
            grid.log << "open " + paths.join(',');
            for (const QString& path : paths)
                if (unopenable.contains(path))
                    failed(path);
            return int(paths.size());
        };
        env.prompts = &prompts;
        env.popup = [this](QMenu* menu, const QPoint& at) {
            popped.append(menu);
            poppedAt.append(at);
        };
        PanelParts parts{&panel, &tab, &shelf, &grid};
        if (realCard) {
            card = std::make_unique<ShelfView>(nullptr, &animator, &scheduler);
            card->resize(268, 800);
            cardShelf = std::make_unique<ShelfViewPort>(*card);
            cardGrid = std::make_unique<GridViewPort>(*card->grid());
            parts.shelf = cardShelf.get();
            parts.grid = cardGrid.get();
        }
        ctl = std::make_unique<PanelController>(lib, parts, env);
        if (card)
            connectCard(*card, *ctl);
    }
    ~PanelRig() {
        if (card)
            disconnectCard(*card);
    }

    /// Moves time to `t` seconds, running each delayed task at its own deadline
    /// and one animation frame per step of about 16 ms on the way.
    void advanceTo(double t) {
        while (animator.now() < t) {
            double next = std::min(t, animator.now() + 0.016);
            const double due = ctl->deadlines().next();
            if (due >= 0 && due < next)
                next = std::max(due, animator.now());
            scheduler.advanceTo(next);
            ctl->deadlines().runDue();
            if (next == t)
                break;
        }
        ctl->deadlines().runDue();
    }
    void advanceBy(double dt) { advanceTo(animator.now() + dt); }

    /// A Ctrl chord (or other keys) as the panel window passes it on.
    bool press(int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier,
               const QString& text = {}) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
        return ctl->handleKeyEquivalent(&event);
    }

    /// A point inside the card as it sits now.
    QPointF inCard() const { return ctl->cardScreenFrame().center(); }

    motion::Animator animator{0};
    ManualScheduler scheduler{0, &animator};
    QPointF pointer{1436, 450};
    int pointerReads = 0;
    ScreenFrames screen = standardScreen();
    FakePanel panel;
    FakeTab tab;
    FakeShelf shelf;
    FakeGrid grid;
    ShotList copied;
    QStringList unopenable; ///< files no application opens
    ScriptedPrompts prompts;
    QList<QPointer<QMenu>> popped;
    QList<QPoint> poppedAt;
    std::unique_ptr<ShelfView> card;
    std::unique_ptr<ShelfViewPort> cardShelf;
    std::unique_ptr<GridViewPort> cardGrid;
    std::unique_ptr<PanelController> ctl;
};

/// The row of a menu with this text, or null.
inline QAction* menuRow(const QMenu* menu, const QString& title) {
    for (QAction* action : menu->actions())
        if (action->text() == title)
            return action;
    return nullptr;
}
