#pragma once

// The shelf's rig: a recording receiver, a folder tree for the chips, a shelf on a manual clock.

#include "shelf/ChipView.h"
#include "shelf/Scheduler.h"
#include "shelf/SearchBox.h"
#include "shelf/ShelfReceiver.h"
#include "shelf/ShelfView.h"

#include <QLineEdit>
#include <QTest>

/// Records every call the shelf makes, as "name(argument)" lines.
class FakeReceiver final : public ShelfReceiver {
public:
    QStringList calls;
    QStringList queries;
    QStringList menusAsked;

    void mouseInPanel(bool inside) override { calls << QString("mouseInPanel(%1)").arg(inside); }
    void setQuery(const QString& text) override {
        queries << text;
        calls << "setQuery(" + text + ")";
    }
    void togglePin() override { calls << "togglePin()"; }
    void collapse(bool force) override { calls << QString("collapse(%1)").arg(force); }
    void undo() override { calls << "undo()"; }
    void showSettings() override { calls << "showSettings()"; }
    void makeKey() override { calls << "makeKey()"; }
    void select(const Scope& scope) override { calls << "select(" + scope.id() + ")"; }
    void newFolderPrompt(const ShotList& moving, const QString& parent) override {
        calls << QString("newFolderPrompt(%1,%2)").arg(moving.size()).arg(parent);
    }
    void dropSelection(const QString& folder) override { calls << "dropSelection(" + folder + ")"; }
    QMenu* folderMenu(const QString& folder) override {
        menusAsked << folder;
        return nullptr; // a real menu would block the test in exec()
    }
};

/// A library of /s with a (holding a/x and a/y, a/x holding a/x/deep) and b.
struct ChipTree {
    QHash<QString, QStringList> childMap{
        {"/s", {"/s/a", "/s/b"}},
        {"/s/a", {"/s/a/x", "/s/a/y"}},
        {"/s/a/x", {"/s/a/x/deep"}},
    };
    QSet<QString> listed{"/s", "/s/a", "/s/b", "/s/a/x", "/s/a/y", "/s/a/x/deep"};
    qint64 bCount = 8;

    ChipSource source() const {
        ChipSource src;
        src.root = "/s";
        src.childMap = &childMap;
        src.listed = [this](const QString& path) { return listed.contains(path); };
        src.counts.session = 4;
        src.counts.all = 20;
        src.counts.perFolder = {{"/s", 20}, {"/s/a", 12}, {"/s/a/x", 5}, {"/s/b", bCount}};
        src.name = [](const QString& path) { return path.mid(path.lastIndexOf('/') + 1); };
        return src;
    }
};

/// A shelf on a manual clock, shown, with a recording receiver.
struct ShelfRig {
    motion::Animator animator{0.0};
    ManualScheduler scheduler{0, &animator};
    FakeReceiver receiver;
    std::unique_ptr<ShelfView> shelf;

    explicit ShelfRig(QSize size = QSize(268, 700)) {
        shelf = std::make_unique<ShelfView>(nullptr, &animator, &scheduler);
        shelf->setReceiver(&receiver);
        shelf->resize(size);
        shelf->show();
    }
    ~ShelfRig() { shelf->setReceiver(nullptr); }

    void advance(double seconds) { scheduler.advanceTo(scheduler.now() + seconds); }
    QLineEdit* field() const { return shelf->search()->field(); }
    void key(int key) { QTest::keyClick(field(), Qt::Key(key)); }
    ChipView* chip(const QString& title) const {
        for (const auto* row : {&shelf->chips(), &shelf->subChips()})
            for (ChipView* c : *row)
                if (c->def().title == title)
                    return c;
        return nullptr;
    }
};

/// A left click in the middle of `w`.
inline void click(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
}
