#pragma once

#include "settings/Prefs.h"

#include <QString>

/// The settings the application delegate re-applies when they change, read
/// from the store in one go. Width, thumbnail size, scope, reveal, peek,
/// auto-copy, confirm-delete, double-click and the launched flag are left
/// out on purpose: their readers read them at the moment of use.
struct PrefsSnapshot {
    /// Reads every field from Prefs::shared() now.
    PrefsSnapshot();

    QString folder; // the effective folder's path
    DockSide side = DockSide::right;
    qint64 hotkey = 1;
    bool showTab = true;
    QString screen; // "t2.screen"
    bool captions = true;
    bool onlyShots = true;
    bool includeSub = true;
    SessionMode session = SessionMode::boot;
    double sessionReset = 0; // seconds since 1970
    bool ocr = true;
    bool pinned = false;
    bool hide = true;
    bool sync = true;

    bool operator==(const PrefsSnapshot& other) const = default;
};
