#include "platform/Log.h"

Q_LOGGING_CATEGORY(lcTamberk, "tamberk")

void logFailure(const char* what, const QString& error) {
    qCWarning(lcTamberk).noquote()
        << QStringLiteral("Tamberk %1 failed: %2").arg(QLatin1String(what), error);
}
