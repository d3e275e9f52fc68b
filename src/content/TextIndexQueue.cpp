// The text index's queue: what waits for recognition, in which order, on how
// many workers, and what becomes of each result.
#include "content/TextIndex.h"

#include "platform/TextRecognizer.h"
#include "settings/Prefs.h"

#include <QFileInfo>
#include <algorithm>

namespace {

// The backlog's order, kept oldest first so the newest is taken from the end.
bool newestLast(const ShotPtr& a, const ShotPtr& b) {
    return a->created != b->created ? a->created < b->created : a->path > b->path;
}

} // namespace

bool TextIndex::shutdown(int waitMs) {
    dropWaiting();
    // A pending save is written now rather than lost; the writer takes it
    // before it ends.
    if (saveScheduled) {
        m_saveTimer.stop();
        save();
    }
    const bool ended = m_pool.shutdown(waitMs);
    notePending();
    return ended;
}

void TextIndex::dropWaiting() {
    m_urgent.clear();
    m_front.clear();
    m_backlog.clear();
    queued.clear();
    const auto waiters = std::exchange(m_waiters, {});
    for (const auto& list : waiters)
        for (const auto& done : list)
            done(std::nullopt);
}

bool TextIndex::current(const Shot& shot) const {
    const auto it = map.constFind(shot.path);
    return it != map.cend() && it->m == shot.modified && it->l == m_languages;
}

bool TextIndex::unread(const Shot& shot) const {
    return !shot.isVideo && !current(shot);
}

void TextIndex::enqueue(const ShotList& shots) {
    m_listing = shots;
    if (m_unavailable || m_pool.isShutDown() || !Prefs::shared().boolean(Key::ocr))
        return;
    for (const ShotPtr& shot : shots) {
        if (!shot || shot->isVideo || current(*shot) || queued.contains(shot->path))
            continue;
        queued.insert(shot->path);
        m_backlog.push_back(shot);
        m_backlogSorted = false;
    }
    pump();
}

void TextIndex::enqueueFirst(const ShotList& shots) {
    if (m_unavailable || m_pool.isShutDown() || !Prefs::shared().boolean(Key::ocr))
        return;
    // Taken from the end so the newest ends up first.
    for (auto it = shots.crbegin(); it != shots.crend(); ++it) {
        const ShotPtr& shot = *it;
        if (!shot || shot->isVideo || current(*shot))
            continue;
        if (queued.contains(shot->path)) {
            const auto same = [&](const ShotPtr& s) { return s->path == shot->path; };
            const auto at = std::find_if(m_backlog.begin(), m_backlog.end(), same);
            if (at == m_backlog.end())
                continue; // already first, or being read
            m_backlog.erase(at);
        }
        queued.insert(shot->path);
        m_front.push_front(shot);
    }
    pump();
}

void TextIndex::readNow(const ShotPtr& shot, std::function<void(std::optional<QString>)> done) {
    if (!shot || shot->isVideo || m_unavailable || m_pool.isShutDown()) {
        done(std::nullopt);
        return;
    }
    if (current(*shot)) {
        done(text(*shot));
        return;
    }
    m_waiters[shot->path].push_back(std::move(done));
    if (queued.contains(shot->path)) {
        // Waiting behind others, it moves ahead of all; asked for already or
        // being read, that result serves this request too.
        const auto same = [&](const ShotPtr& s) { return s->path == shot->path; };
        if (const auto at = std::find_if(m_front.begin(), m_front.end(), same); at != m_front.end())
            m_front.erase(at);
        else if (const auto it = std::find_if(m_backlog.begin(), m_backlog.end(), same);
                 it != m_backlog.end())
            m_backlog.erase(it);
        else
            return;
    }
    queued.insert(shot->path);
    m_urgent.push_back(shot);
    pump();
}

QStringList TextIndex::queueOrder() const {
    QStringList order;
    for (const auto* list : {&m_urgent, &m_front})
        for (const ShotPtr& shot : *list)
            order.append(shot->path);
    std::vector<ShotPtr> backlog = m_backlog;
    std::stable_sort(backlog.begin(), backlog.end(), newestLast);
    for (auto it = backlog.crbegin(); it != backlog.crend(); ++it)
        order.append((*it)->path);
    return order;
}

qsizetype TextIndex::pending() const {
    if (m_pool.isShutDown() || (!Prefs::shared().boolean(Key::ocr) && m_urgent.empty()))
        return 0;
    return waiting() + m_pool.busy();
}

void TextIndex::notePending() {
    const qsizetype now = pending();
    if (now == m_shownPending)
        return;
    m_shownPending = now;
    emit pendingChanged(now);
}

ShotPtr TextIndex::takeNext(bool ocr) {
    ShotPtr shot;
    if (!m_urgent.empty()) {
        shot = m_urgent.front();
        m_urgent.pop_front();
    } else if (!ocr) {
        return nullptr;
    } else if (!m_front.empty()) {
        shot = m_front.front();
        m_front.pop_front();
    } else if (!m_backlog.empty()) {
        if (!m_backlogSorted) {
            std::stable_sort(m_backlog.begin(), m_backlog.end(), newestLast);
            m_backlogSorted = true;
        }
        shot = m_backlog.back();
        m_backlog.pop_back();
    }
    return shot;
}

void TextIndex::pump() {
    const bool ocr = Prefs::shared().boolean(Key::ocr);
    while (!m_pool.isShutDown()) {
        const int allowed = m_pool.allowed(waiting() + m_pool.busy());
        if (m_pool.busy() >= allowed)
            break;
        ShotPtr shot = takeNext(ocr);
        if (!shot)
            break;
        // The job holds only values; the pool hands the result back on the
        // main thread, where `this` still lives (it waits for the pool).
        const QString languages = m_languages;
        const bool started = m_pool.run(
            allowed, [this, shot, languages, recognizer = m_recognizer]() -> std::function<void()> {
                TextRecognizer::setThreadLanguages(languages);
                std::optional<QString> text = recognizer(shot->path);
                return [this, shot, languages, text = std::move(text)] {
                    finish(shot, languages, text);
                };
            });
        if (!started) {
            m_urgent.push_front(shot); // cannot happen while busy() < allowed
            break;
        }
        m_peakWorkers = std::max(m_peakWorkers, m_pool.busy());
    }
    notePending();
}

void TextIndex::finish(const ShotPtr& shot, const QString& languages,
                       const std::optional<QString>& text) {
    queued.remove(shot->path);
    const auto waiters = m_waiters.take(shot->path);
    if (!text) {
        // Empty text with the file's time would keep a later, working run
        // from ever reading it; the engine logged why it could not start.
        m_unavailable = true;
        for (const auto& done : waiters)
            done(std::nullopt);
        dropWaiting();
        notePending();
        return;
    }
    // A file that was deleted, renamed or moved meanwhile gets no entry (a
    // renamed one is read again under its new name). One that changed keeps
    // the time of the version that was read, so it is recognised again.
    // Text read with languages since replaced is stored (it is better than
    // none) under its languages, so it is read again too.
    const bool exists = QFileInfo::exists(shot->path);
    if (exists) {
        store(shot->path, Entry{shot->modified, *text, languages});
        scheduleSave();
        emit recognized(shot->path);
    }
    for (const auto& done : waiters)
        done(exists && !text->isEmpty() ? std::optional<QString>(*text) : std::nullopt);
    if (languages != m_languages && exists && !queued.contains(shot->path)) {
        queued.insert(shot->path);
        m_backlog.push_back(shot);
        m_backlogSorted = false;
    }
    pump();
}

void TextIndex::setForeground(bool on) {
    m_pool.setForeground(on);
    // Readers held back while the roll was shown start again.
    if (!on)
        pump();
}

void TextIndex::setAvailableLanguages(const QStringList& codes) {
    m_available = codes;
    applyLanguages();
}

void TextIndex::prefsChanged() {
    const QString wanted = Prefs::shared().string(Key::ocrLanguages);
    if (wanted != m_wanted) {
        m_wanted = wanted;
        applyLanguages();
    }
    notePending(); // "t2.ocr" may have changed
}

void TextIndex::applyLanguages() {
    const QString languages = TextRecognizer::effectiveLanguages(m_wanted, m_available);
    if (languages == m_languages)
        return;
    // Every file is read again, newest first; its old text stays searchable
    // until the new text replaces it.
    m_languages = languages;
    enqueue(m_listing);
}
