#pragma once

// Recording fakes of the panel's windows, card and grid, and a rig that runs
// a real PanelController on a manual clock against them.

#include "../library/LibrarySupport.h"
#include "panel/PanelController.h"
#include "shelf/Motion.h"

#include <QCoreApplication>
#include <QMenu>
#include <QPointer>

/// Types the scripted names into a prompt one after another, as a person
/// would after each complaint (recorded in `problems`), until one is taken.
inline std::optional<QString> scriptedName(QList<std::optional<QString>>& answers,
                                           const Prompts::Attempt& attempt, QStringList& problems) {
    while (!answers.isEmpty()) {
        const std::optional<QString> typed = answers.takeFirst();
        if (!typed)
            return std::nullopt;
        const QString name = typed->trimmed();
        if (name.isEmpty())
            continue;
        const QString why = attempt ? attempt(name) : QString();
        if (why.isEmpty())
            return name;
        problems << why;
    }
    return std::nullopt;
}

/// Answers the panel's prompts from a script and records what was asked.
struct ScriptedPrompts : Prompts {
    QList<std::optional<QString>> answers;
    QList<bool> confirmations;
    QStringList asked; // title + "|" + info
    std::optional<QString> prompt(const QString& title, const QString& info, const QString&,
                                  const QString&, const Attempt& attempt) override {
        asked << title + "|" + info;
        return scriptedName(answers, attempt, problems);
    }
    bool confirm(const QString& title, const QString& info, const QString&) override {
        asked << title + "|" + info;
        return !confirmations.isEmpty() && confirmations.takeFirst();
    }
    QStringList problems; // what the prompt said under its field
};

class FakePanel : public PanelWindow {
public:
    void setWindowFrame(const QRectF& frame) override { windowFrame = frame; }
    void setCardRect(const QRectF& card) override {
        cardRect_ = card;
        ++cardSets;
    }
    QRectF cardRect() const override { return cardRect_; }
    void present(DockSide, std::function<void()> faded) override {
        shown = true;
        ++presents;
        fadedIn = std::move(faded);
    }
    void dismiss(DockSide, std::function<void()> done) override {
        ++dismisses;
        fadedOut = std::move(done);
    }
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

    QRectF windowFrame;
    QRectF cardRect_;
    int cardSets = 0;
    bool shown = false;
    int presents = 0;
    int dismisses = 0;
    bool ignoring = false;
    bool key = false;
    QList<quint32> keyTimestamps;
    std::function<void()> fadedIn;
    std::function<void()> fadedOut;
};

class FakeTab : public TabWindow {
public:
    void show() override {
        visible = Prefs::shared().boolean(Key::showTab);
        ++shows;
    }
    void hide() override { visible = false; }
    void position() override { ++positions; }
    void setUnseen(int n) override {
        if (n != count)
            ++relayouts;
        count = n;
    }
    int unseen() const override { return count; }
    void advance(int arrived) override { advances.append(arrived); }

    bool visible = false;
    int shows = 0;
    int positions = 0;
    int count = 0;
    int relayouts = 0;
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
    void updatePin(bool p) override { pinned = p; }
    void setSide(DockSide s) override { side = s; }
    void layoutAll() override { ++fullLayouts; }
    void layoutGrid(bool animated) override { gridLayouts.append(animated); }
    void setSliderValue(double t) override { slider = t; }
    void updateChips(const Library&, const Scope&) override { ++chipUpdates; }
    void setCount(qsizetype shown, qsizetype total, bool plain) override {
        count = {shown, total, plain};
    }
    void setEmptyState(const EmptyState& state) override { empty = state; }
    void setReading(qsizetype n) override { reading = n; }
    void updateSelection(qsizetype n) override { selection = n; }
    void showSearch(bool focus, const std::optional<QString>& seed) override {
        searchShown = true;
        editing = editing || focus;
        if (seed)
            text = *seed;
        searches.append(seed.value_or(QStringLiteral("<none>")));
    }
    void editSearch(int key) override { edits.append(key); }
    void showToast(const QString& t, const QString& action, std::function<void()> run) override {
        toasts << (action.isEmpty() ? t : t + " [" + action + "]");
        toastAction = std::move(run);
    }

    QStringList searches;
    QList<int> edits;
    QStringList toasts;
    std::function<void()> toastAction;
    bool editing = false;
    bool searchShown = false;
    QString text;
    bool pinned = false;
    DockSide side = DockSide::right;
    int fullLayouts = 0;
    QList<bool> gridLayouts;
    double slider = 0;
    int chipUpdates = 0;
    std::tuple<qsizetype, qsizetype, bool> count{0, 0, true};
    EmptyState empty;
    qsizetype reading = 0;
    qsizetype selection = 0;
};

class FakeGrid : public GridPort {
public:
    ShotList shots() const override { return list; }
    void setShots(const ShotList& s, bool, const QSet<QString>&) override { list = s; }
    void setTarget(double t) override { target = t; }
    void setCaptions(bool c) override { captions = c; }
    qsizetype selectionCount() const override { return selected; }
    void clearSelection() override { selected = 0; }
    void develop(const QSet<QString>& paths) override { developed.append(paths); }
    void cascadeIn(bool fromRight) override { cascades.append(fromRight); }
    void updateVisible() override { ++visibleUpdates; }
    std::optional<QRectF> frameOf(const QString& path) const override {
        for (qsizetype i = 0; i < list.size(); ++i)
            if (list[i]->path == path)
                return QRectF(6, 10 + 200.0 * double(i), 224, 190);
        return std::nullopt;
    }
    void scrollToVisible(const QRectF& r) override { scrolledTo.append(r); }
    void scrollToTop() override { ++topScrolls; }
    void focus() override { ++focuses; }
    void closePreview() override { ++previewCloses; }
    void togglePreview() override { ++previewToggles; }
    ShotList selectedShots() const override { return chosen; }
    void selectAll() override { chosen = list; }
    ShotList draggedShots() const override { return dragged; }
    bool command(QKeyEvent*) override {
        ++commands;
        return takesCommands;
    }

    ShotList chosen;
    ShotList dragged;
    int previewToggles = 0;
    int commands = 0;
    bool takesCommands = false;
    ShotList list;
    double target = 0;
    bool captions = false;
    qsizetype selected = 0;
    QList<QSet<QString>> developed;
    QList<bool> cascades;
    int visibleUpdates = 0;
    QList<QRectF> scrolledTo;
    int topScrolls = 0;
    int focuses = 0;
    int previewCloses = 0;
};

/// A 1440 × 900 screen whose top 25 pixels belong to a desktop panel.
inline ScreenFrames standardScreen() {
    return {QRectF(0, 0, 1440, 900), QRectF(0, 25, 1440, 875)};
}

/// A controller on a manual clock. The pointer starts on the tab's pill at the
/// right edge, just outside where the card will be.
struct PanelRig {
    explicit PanelRig(Library& lib) {
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
            opened.append(paths);
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
        ctl = std::make_unique<PanelController>(lib, PanelParts{&panel, &tab, &shelf, &grid}, env);
    }

    /// Moves time to `t` seconds, running each delayed task at its own deadline
    /// and one animation frame per step of about 16 ms on the way.
    void advanceTo(double t) {
        while (animator.now() < t) {
            double next = std::min(t, animator.now() + 0.016);
            const double due = ctl->deadlines().next();
            if (due >= 0 && due < next)
                next = std::max(due, animator.now());
            animator.advanceTo(next);
            ctl->deadlines().runDue();
            if (next == t)
                break;
        }
        ctl->deadlines().runDue();
    }
    void advanceBy(double dt) { advanceTo(animator.now() + dt); }

    /// A point inside the card as it sits now.
    QPointF inCard() const { return ctl->cardScreenFrame().center(); }

    motion::Animator animator{0};
    QPointF pointer{1436, 450};
    int pointerReads = 0;
    ScreenFrames screen = standardScreen();
    FakePanel panel;
    FakeTab tab;
    FakeShelf shelf;
    FakeGrid grid;
    ShotList copied;
    QStringList opened;
    QStringList unopenable; ///< paths whose opener reports that no application took them
    ScriptedPrompts prompts;
    QList<QPointer<QMenu>> popped;
    QList<QPoint> poppedAt;
    std::unique_ptr<PanelController> ctl;
};
