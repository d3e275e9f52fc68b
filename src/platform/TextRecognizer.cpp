#include "platform/TextRecognizer.h"

#include "platform/ImageDecoder.h"

#include "platform/Log.h"
#include "platform/TextImage.h"

#include <QDir>
#include <QMutex>
#include <QRegularExpression>
#include <QSet>
#include <dlfcn.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

namespace {
thread_local std::unique_ptr<TextRecognizer> t_engine;
thread_local QString t_wanted;
thread_local const std::atomic<bool>* t_cancel = nullptr;

bool cancelled(void* flag, int) {
    return static_cast<const std::atomic<bool>*>(flag)->load(std::memory_order_relaxed);
}

// Where the engine looks for its data when TESSDATA_PREFIX is not set.
QStringList dataDirs() {
    QStringList dirs;
    if (const QString prefix = qEnvironmentVariable("TESSDATA_PREFIX"); !prefix.isEmpty())
        return {prefix, prefix + QStringLiteral("/tessdata")};
    for (const char* dir :
         {"/usr/share/tesseract-ocr/5/tessdata", "/usr/share/tesseract-ocr/4.00/tessdata",
          "/usr/share/tessdata", "/usr/local/share/tessdata"})
        dirs.append(QString::fromLatin1(dir));
    return dirs;
}
} // namespace

TextRecognizer::TextRecognizer(const QString& languages)
    : m_api(std::make_unique<tesseract::TessBaseAPI>()) {
    limitThreads();
    // The engine's own diagnostics ("guessing pitch as xheight", ...) would fill
    // the app's log; our failure lines say what matters.
    m_api->SetVariable("debug_file", "/dev/null");
    if (m_api->Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY) != 0) {
        logFailure("text recognition", QStringLiteral("no English language data"));
        return;
    }
    std::vector<std::string> installed;
    m_api->GetAvailableLanguagesAsVector(&installed);
    QStringList available;
    for (const std::string& name : installed)
        available.append(QString::fromStdString(name));
    m_languages = effectiveLanguages(languages, available);
    if (m_languages != QLatin1String("eng")) {
        m_api->End();
        if (m_api->Init(nullptr, m_languages.toUtf8().constData(), tesseract::OEM_LSTM_ONLY) != 0) {
            m_languages = QStringLiteral("eng");
            if (m_api->Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY) != 0)
                return;
        }
    }
    m_api->SetPageSegMode(tesseract::PSM_AUTO);
    m_ready = true;
}

TextRecognizer::~TextRecognizer() {
    if (m_api)
        m_api->End();
}

TextRecognizer& TextRecognizer::forThisThread() {
    if (!t_engine || t_engine->m_wanted != t_wanted) {
        t_engine.reset();
        t_engine = std::make_unique<TextRecognizer>(t_wanted);
        t_engine->m_wanted = t_wanted;
    }
    return *t_engine;
}

void TextRecognizer::setThreadLanguages(const QString& languages) {
    t_wanted = languages;
}

QString TextRecognizer::threadLanguages() {
    return t_wanted;
}

void TextRecognizer::setThreadCancel(const std::atomic<bool>* cancel) {
    t_cancel = cancel;
}

QStringList TextRecognizer::installedLanguages() {
    QStringList codes;
    for (const QString& dir : dataDirs()) {
        for (const QString& file :
             QDir(dir).entryList({QStringLiteral("*.traineddata")}, QDir::Files)) {
            const QString code = file.chopped(int(sizeof ".traineddata") - 1);
            if (code != QLatin1String("osd") && !codes.contains(code))
                codes.append(code);
        }
        if (!codes.isEmpty())
            break; // the engine reads from the first folder that holds data
    }
    codes.sort();
    return codes;
}

QString TextRecognizer::effectiveLanguages(const QString& wanted, const QStringList& available) {
    if (wanted.trimmed().isEmpty())
        return languagesFor(QLocale::system(), available);
    static QMutex mutex;
    static QSet<QString> logged;
    QStringList kept;
    static const QRegularExpression separators(QStringLiteral("[+,\\s]+"));
    for (const QString& code : wanted.split(separators, Qt::SkipEmptyParts)) {
        if (available.contains(code)) {
            if (!kept.contains(code))
                kept.append(code);
            continue;
        }
        QMutexLocker lock(&mutex);
        if (!logged.contains(code)) {
            logged.insert(code);
            logFailure("text recognition",
                       QStringLiteral("no language data for \"%1\"; it is left out").arg(code));
        }
    }
    return kept.isEmpty() ? QStringLiteral("eng") : kept.join(QLatin1Char('+'));
}

QString TextRecognizer::displayName(const QString& code) {
    if (code == QLatin1String("chi_sim"))
        return QStringLiteral("Chinese (Simplified)");
    if (code == QLatin1String("chi_tra"))
        return QStringLiteral("Chinese (Traditional)");
    // Engine codes are ISO 639-2, mostly the terminological form ("deu"),
    // a few the bibliographic one; a suffix names a script or variant.
    const QString base = code.section(QLatin1Char('_'), 0, 0);
    QLocale::Language language = QLocale::codeToLanguage(base, QLocale::ISO639Part2T);
    if (language == QLocale::AnyLanguage)
        language = QLocale::codeToLanguage(base, QLocale::ISO639Part2B);
    return language == QLocale::AnyLanguage ? code : QLocale::languageToString(language);
}

void TextRecognizer::releaseThreadEngine() {
    t_engine.reset();
}

void TextRecognizer::limitThreads() {
    if (qEnvironmentVariableIsEmpty("OMP_THREAD_LIMIT"))
        qputenv("OMP_THREAD_LIMIT", "1");
    // The OpenMP runtime reads its environment when it is loaded, at process
    // start, so a limit set later does not reach it. With no nested level
    // allowed, every parallel region the calling thread opens runs on that
    // thread alone; the engine's thread calls this before it recognises.
    using SetLevels = void (*)(int);
    static const auto setLevels =
        reinterpret_cast<SetLevels>(::dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
    if (setLevels)
        setLevels(0);
}

QString TextRecognizer::languageCode(const QLocale& locale) {
    switch (locale.language()) {
    case QLocale::C:
    case QLocale::AnyLanguage:
        return {};
    case QLocale::Chinese:
        return locale.script() == QLocale::TraditionalChineseScript ||
                       (locale.script() == QLocale::AnyScript &&
                        (locale.territory() == QLocale::Taiwan ||
                         locale.territory() == QLocale::HongKong))
                   ? QStringLiteral("chi_tra")
                   : QStringLiteral("chi_sim");
    default:
        return QLocale::languageToCode(locale.language(), QLocale::ISO639Part2T);
    }
}

QString TextRecognizer::languagesFor(const QLocale& locale, const QStringList& available) {
    const QString code = languageCode(locale);
    if (code.isEmpty() || code == QLatin1String("eng") || !available.contains(code))
        return QStringLiteral("eng");
    return QStringLiteral("eng+") + code;
}

QImage TextRecognizer::load(const QString& path) {
    // The thumbnail decoder applies the orientation, reads HEIC through
    // libheif and refuses images that would not fit its memory budget.
    return ImageDecoder::thumbnail(path, kMaxSide);
}

QImage TextRecognizer::prepare(const QImage& image) {
    // Light text on a dark theme costs the engine a second, inverted try of
    // every such line, and white words on a coloured button or pill are lost
    // when the page is thresholded as a whole. Each piece of ink is therefore
    // drawn dark on white against its own surroundings; the engine's own
    // inversion still catches what that gets wrong.
    return TextImage::normalize(image.convertToFormat(QImage::Format_Grayscale8)).image;
}

QString TextRecognizer::recognize(const QString& path) {
    const QImage image = load(path);
    if (image.isNull())
        return {};
    return recognize(image);
}

QString TextRecognizer::recognize(const QImage& image) {
    return arrange(words(image));
}

QList<TextRecognizer::Word> TextRecognizer::words(const QImage& source) {
    if (!m_ready || source.isNull() || source.width() < 3 || source.height() < 3)
        return {};
    const QImage image = prepare(source);
    m_api->SetImage(image.constBits(), image.width(), image.height(), 1, int(image.bytesPerLine()));
    m_api->SetSourceResolution(96);
    tesseract::ETEXT_DESC monitor;
    if (t_cancel) {
        monitor.cancel = &cancelled;
        monitor.cancel_this = const_cast<std::atomic<bool>*>(t_cancel);
    }
    if (m_api->Recognize(t_cancel ? &monitor : nullptr) != 0 || (t_cancel && t_cancel->load())) {
        m_api->Clear();
        return {};
    }
    QList<Word> words;
    std::unique_ptr<tesseract::ResultIterator> it(m_api->GetIterator());
    if (it && !it->Empty(tesseract::RIL_WORD)) {
        int block = -1, line = -1;
        do {
            if (it->IsAtBeginningOf(tesseract::RIL_BLOCK))
                ++block;
            if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE))
                ++line;
            std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_WORD));
            int left = 0, top = 0, right = 0, bottom = 0;
            if (!text || !it->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom))
                continue;
            const QString word = QString::fromUtf8(text.get()).trimmed();
            if (!word.isEmpty())
                words.append(
                    {word, QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)), block, line});
        } while (it->Next(tesseract::RIL_WORD));
    }
    m_api->Clear();
    return words;
}

QString TextRecognizer::arrange(const QList<Word>& words) {
    // The engine's lines, cut where a gap is wider than twice the line's
    // height: such a gap parts columns, not words of one phrase.
    struct Line {
        int block;
        QRect box;
        QStringList words;
    };
    std::vector<Line> lines;
    for (int i = 0; i < words.size(); ++i) {
        const Word& word = words[i];
        const bool sameLine = i > 0 && words[i - 1].line == word.line;
        if (sameLine) {
            Line& last = lines.back();
            const int gap = word.box.left() - last.box.right();
            if (gap <= 2 * std::max(last.box.height(), word.box.height())) {
                last.box |= word.box;
                last.words.append(word.text);
                continue;
            }
        }
        lines.push_back({word.block, word.box, {word.text}});
    }
    // Within a block, rows top to bottom and the pieces of a row left to
    // right; a piece joins a row when its middle lies within the row.
    std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
        if (a.block != b.block)
            return a.block < b.block;
        return a.box.top() < b.box.top();
    });
    QStringList out;
    for (size_t start = 0; start < lines.size();) {
        size_t end = start + 1;
        const int block = lines[start].block;
        int rowBottom = lines[start].box.bottom();
        while (end < lines.size() && lines[end].block == block &&
               lines[end].box.center().y() <= rowBottom) {
            rowBottom = std::max(rowBottom, lines[end].box.bottom());
            ++end;
        }
        std::stable_sort(lines.begin() + long(start), lines.begin() + long(end),
                         [](const Line& a, const Line& b) { return a.box.left() < b.box.left(); });
        for (size_t i = start; i < end; ++i)
            out.append(lines[i].words.join(QLatin1Char(' ')));
        start = end;
    }
    return out.join(QLatin1Char('\n'));
}
