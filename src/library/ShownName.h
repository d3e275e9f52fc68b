#pragma once

#include <QString>

/// A file or folder name as the interface draws it. Control characters show
/// as visible symbols (a line break as ↵, others as U+FFFD), so a name stays
/// on one line and hides nothing; direction overrides, embeddings, isolates
/// and marks show as U+FFFD, so a name cannot reorder itself to disguise its extension; and a
/// name with right-to-left letters becomes a first-strong isolate, so it and
/// the sentence around it (a toast, a question) never reorder each other. For display only: paths
/// and the text of rename fields keep the name as it is.
QString shownName(const QString& name);
