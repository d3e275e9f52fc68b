#pragma once

#include <QImage>
#include <QList>
#include <QLocale>
#include <QRect>
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>

namespace tesseract {
class TessBaseAPI;
}

/// On-device text recognition of still images with the Tesseract engine
/// (LSTM, dictionaries on, automatic inversion of light-on-dark lines). One
/// engine per thread, created on first use and reused for every image.
class TextRecognizer {
public:
    /// The longest side an image is scaled down to before recognition.
    static constexpr int kMaxSide = 2600;

    /// An engine for `languages` ("eng+deu"; empty: English plus the
    /// locale's language when installed). Codes whose data is missing are
    /// left out; English is the last resort.
    explicit TextRecognizer(const QString& languages = QString());
    ~TextRecognizer();
    TextRecognizer(const TextRecognizer&) = delete;
    TextRecognizer& operator=(const TextRecognizer&) = delete;

    /// Whether the engine started (its language data was found).
    bool ready() const { return m_ready; }
    /// The languages the engine loaded, "eng" or e.g. "eng+deu".
    QString languages() const { return m_languages; }
    /// The text of an image file: one line per text line in reading order,
    /// joined by "\n"; "" when the file cannot be decoded or nothing is found.
    QString recognize(const QString& path);
    /// The same for an image already in memory.
    QString recognize(const QImage& image);

    /// A word the engine read, with its box and the numbers of its block and
    /// line in the engine's order.
    struct Word {
        QString text;
        QRect box;
        int block = 0;
        int line = 0;
    };
    /// The text of the words: one line per line of the engine, cut in two
    /// where a gap wider than twice the line's height parts columns; lines
    /// top to bottom within each block, pieces of one row left to right.
    static QString arrange(const QList<Word>& words);
    /// The words the engine reads in an image already in memory, in the
    /// engine's order; none when it is not ready or finds nothing.
    QList<Word> words(const QImage& image);

    /// The engine of the calling thread, created on first use and again
    /// when the thread's languages changed.
    static TextRecognizer& forThisThread();
    /// The languages the calling thread's engine is to read (empty: the
    /// default choice); takes effect at the next forThisThread().
    static void setThreadLanguages(const QString& languages);
    static QString threadLanguages();
    /// A flag that, once set, makes the calling thread's recognitions stop
    /// early with no words; null for none. Must outlive its use.
    static void setThreadCancel(const std::atomic<bool>* cancel);
    /// Destroys the calling thread's engine (before the thread ends).
    static void releaseThreadEngine();

    /// Decodes an image with its orientation applied and its longest side
    /// bounded by kMaxSide; a null image on failure.
    static QImage load(const QString& path);
    /// What the engine is given: grayscale, every piece of text dark on white.
    static QImage prepare(const QImage& image);
    /// Keeps the engine to one thread: OpenMP threads slow it down several
    /// times on small machines. Sets OMP_THREAD_LIMIT=1 unless it is set and
    /// keeps the calling thread's parallel regions on that thread.
    static void limitThreads();
    /// The engine language for a locale ("deu" for German), empty for none.
    static QString languageCode(const QLocale& locale);
    /// English plus the locale's language when its data is among `available`.
    static QString languagesFor(const QLocale& locale, const QStringList& available);
    /// The language codes whose data is installed, sorted ("osd" left out).
    static QStringList installedLanguages();
    /// What the engine loads for the wanted codes ("eng+deu", also split at
    /// commas or spaces): those among `available` in the given order, each
    /// missing one logged once; the default choice when `wanted` is empty,
    /// English when nothing is left.
    static QString effectiveLanguages(const QString& wanted, const QStringList& available);
    /// The name of a language code in the user's language ("Deutsch" is
    /// "German" to an English user); the code itself when it is not known.
    static QString displayName(const QString& code);

private:
    std::unique_ptr<tesseract::TessBaseAPI> m_api;
    QString m_languages;
    bool m_ready = false;
    QString m_wanted; // what the languages were made from
};
