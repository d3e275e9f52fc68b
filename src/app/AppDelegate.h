#pragma once

#include <QFuture>
#include <QString>

/// The application's start-up and settings re-application. For now only the
/// one-time migration from the first generation lives here.
class AppDelegate {
public:
    /// Runs once, on the first launch (while "t2.launched" is false): carries
    /// the legacy "leftSide" over to "t2.side" and, on a background thread,
    /// removes the digits-only entries the first generation left in the caches
    /// folder. The future yields how many entries were removed (0 when the
    /// migration did not run). The start-up sets "t2.launched" afterwards.
    static QFuture<int> migrateFromV1();

    /// The application's caches folder: $XDG_CACHE_HOME/tamberk.
    static QString cachesPath();
};
