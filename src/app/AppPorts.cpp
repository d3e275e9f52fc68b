#include "app/AppPorts.h"

#include "library/Library.h"

QString LiveLibrary::root() const {
    return m_lib.root();
}

bool LiveLibrary::scanned() const {
    return m_lib.scanned();
}

void LiveLibrary::setRoot(const QString& path) {
    m_lib.setRoot(path);
}

void LiveLibrary::reload() {
    m_lib.reload();
}

void LiveLibrary::watchStrays() {
    m_lib.watchStrays();
}

void LiveLibrary::recognizeAll() {
    m_lib.text().enqueue(m_lib.all());
}

qint64 LiveLibrary::textPending() const {
    return m_lib.text().pending();
}

void LiveLibrary::newestText(std::function<void(std::optional<QString>)> done) {
    for (const ShotPtr& shot : m_lib.all()) {
        if (!shot->isVideo) {
            m_lib.text().readNow(shot, std::move(done));
            return;
        }
    }
    done(std::nullopt);
}

qint64 LiveLibrary::sessionCount() const {
    return m_lib.counts().session;
}

void LiveLibrary::observe(std::function<void()> changed) {
    QObject::connect(&m_lib, &Library::changed, &m_lib, std::move(changed));
}
