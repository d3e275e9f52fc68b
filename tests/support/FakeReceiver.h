#pragma once

#include "shelf/ShelfReceiver.h"

#include <QMenu>
#include <QStringList>

/// Records every call the shelf makes, as "name(argument)" lines.
class FakeReceiver final : public ShelfReceiver {
public:
    QStringList calls;
    QStringList queries;
    QStringList menusAsked;

    void mouseInPanel(bool inside) override {
        calls << QStringLiteral("mouseInPanel(%1)").arg(inside);
    }
    void setQuery(const QString& text) override {
        queries << text;
        calls << QStringLiteral("setQuery(%1)").arg(text);
    }
    void togglePin() override { calls << QStringLiteral("togglePin()"); }
    void collapse(bool force) override { calls << QStringLiteral("collapse(%1)").arg(force); }
    void undo() override { calls << QStringLiteral("undo()"); }
    void showSettings() override { calls << QStringLiteral("showSettings()"); }
    void makeKey() override { calls << QStringLiteral("makeKey()"); }
    void select(const Scope& scope) override {
        calls << QStringLiteral("select(%1)").arg(scope.id());
    }
    void newFolderPrompt(const ShotList& moving, const QString& parent) override {
        calls << QStringLiteral("newFolderPrompt(%1,%2)").arg(moving.size()).arg(parent);
    }
    void dropSelection(const QString& folder) override {
        calls << QStringLiteral("dropSelection(%1)").arg(folder);
    }
    QMenu* folderMenu(const QString& folder) override {
        menusAsked << folder;
        return nullptr; // a real menu would block the test in exec()
    }

    int count(const QString& prefix) const {
        int n = 0;
        for (const QString& call : calls)
            n += call.startsWith(prefix) ? 1 : 0;
        return n;
    }
};
