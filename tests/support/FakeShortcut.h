#pragma once

#include "platform/GlobalShortcut.h"

#include <QStringList>

/// A global shortcut that grabs nothing: it logs "grab KEYS" and, when a grab
/// is released, "ungrab" (into `log`, or the list given); keys in `taken` are
/// held by another program.
class FakeShortcut final : public GlobalShortcut {
public:
    explicit FakeShortcut(QStringList* sharedLog = nullptr)
        : m_log(sharedLog ? sharedLog : &log) {}

    Status grab(const QString& keys) override {
        *m_log << QStringLiteral("grab ") + keys;
        setStatus(taken.contains(keys) ? Status::conflict : Status::grabbed);
        return status();
    }
    void ungrab() override {
        if (status() == Status::grabbed)
            *m_log << QStringLiteral("ungrab");
        setStatus(Status::none);
    }
    /// The user pressed the keys at X time `time`.
    void press(quint32 time) { emit activated(time); }

    QStringList log;
    QStringList taken;

private:
    QStringList* m_log;
};
