#pragma once

#include "TestEnv.h"
#include "content/TextIndex.h"
#include "platform/TextRecognizer.h"
#include "settings/Prefs.h"

#include <QFileInfo>
#include <QMutex>
#include <QSemaphore>

// A recogniser answering from a table; it can hold a recognition in flight.
struct FakeEngine {
    QMutex mutex;
    QStringList calls;
    QHash<QString, QString> answers;
    std::atomic<bool> gated{false};
    // Answers end in the languages the calling thread reads, e.g. " [eng]".
    std::atomic<bool> tagLanguages{false};
    QSemaphore started;
    QSemaphore release;

    QString recognize(const QString& path) {
        QString answer;
        {
            QMutexLocker lock(&mutex);
            calls.append(path);
            answer = answers.value(path, QStringLiteral("text of ") + QFileInfo(path).fileName());
        }
        if (tagLanguages)
            answer += QStringLiteral(" [%1]").arg(TextRecognizer::threadLanguages());
        if (gated) {
            started.release();
            release.tryAcquire(1, 60000); // bounded, so a failed test cannot hang
        }
        return answer;
    }
    QStringList callList() {
        QMutexLocker lock(&mutex);
        return calls;
    }
    void answer(const QString& path, const QString& text) {
        QMutexLocker lock(&mutex);
        answers.insert(path, text);
    }
};

// A private home, recognition on, and text indexes on the fake engine.
struct IndexRig {
    TestEnv env;
    std::shared_ptr<FakeEngine> engine = std::make_shared<FakeEngine>();

    IndexRig() { Prefs::shared().set(Key::ocr, true); }
    ~IndexRig() { engine->release.release(1000); }

    QString indexFile() const { return env.dataHome() + "/Tamberk/text-index.json"; }
    std::unique_ptr<TextIndex> make() const {
        return std::make_unique<TextIndex>(
            indexFile(), [e = engine](const QString& path) { return e->recognize(path); });
    }
    /// What the index file holds, when it can be read.
    std::optional<TextIndex::Map> saved() const {
        QFile file(indexFile());
        return file.open(QIODevice::ReadOnly) ? TextIndex::decode(file.readAll()) : std::nullopt;
    }
    static ShotPtr at(const QString& path, double modified, bool isVideo = false) {
        return std::make_shared<Shot>(path, modified, modified, QSizeF(100, 100), isVideo, true);
    }
    static QStringList paths(const ShotList& shots) {
        QStringList result;
        for (const ShotPtr& s : shots)
            result.append(s->path);
        return result;
    }
    /// A new file "shots/`name`" created at `modified`.
    ShotPtr shot(const QString& name, double modified = 1, bool isVideo = false) const {
        return at(writeFile(env.home() + "/shots/" + name), modified, isVideo);
    }
    /// Shots s0 … s(n-1), shot i created at time i.
    ShotList listing(int n) const {
        ShotList shots;
        for (int i = 0; i < n; ++i)
            shots.append(shot(QStringLiteral("s%1.png").arg(i), i));
        return shots;
    }
};
