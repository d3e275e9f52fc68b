#pragma once

#include "platform/RemoteControl.h"

#include <QStringList>
#include <QTimer>

/// The running instance as the remote control sees it: records the commands
/// it is given and answers State() and CopyText() like an open panel.
class FakeTarget : public RemoteTarget {
public:
    void toggle(const QString& token) override { calls << QStringLiteral("toggle:") + token; }
    void show(const QString& token) override { calls << QStringLiteral("show:") + token; }
    void hide() override { calls << QStringLiteral("hide"); }
    void quit() override { calls << QStringLiteral("quit"); }
    void copyText(std::function<void(bool)> done) override {
        calls << QStringLiteral("copyText");
        // Answered later, as when the newest screenshot must be read first.
        QTimer::singleShot(20, [done, copied = hasText] { done(copied); });
    }
    QVariantMap state() const override {
        return {{QStringLiteral("expanded"), true},
                {QStringLiteral("unseen"), 3},
                {QStringLiteral("scope"), QStringLiteral("session")}};
    }
    QStringList calls;
    bool hasText = true;
};
