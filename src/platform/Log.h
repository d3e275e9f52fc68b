#pragma once

#include <QLoggingCategory>

// The process log. File-operation failures are written as one line that begins
// with the product name and ends in " failed: " plus the error's description.
Q_DECLARE_LOGGING_CATEGORY(lcTamberk)

/// Writes "Tamberk <what> failed: <error>" to the process log.
void logFailure(const char* what, const QString& error);
