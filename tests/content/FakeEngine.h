#pragma once

#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QStringList>
#include <atomic>

#include "platform/TextRecognizer.h"

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
