#pragma once

#include <QList>
#include <QString>

/// One undoable file operation of the library: what the user did ("Trash",
/// "Move", "Rename") and where each file went.
struct UndoBatch {
    struct Move {
        QString current;  // where the file is now
        QString original; // where it was before
    };

    QString label;
    QList<Move> moves;
};
