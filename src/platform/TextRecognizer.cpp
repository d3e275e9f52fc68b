#include "platform/TextRecognizer.h"

#include "platform/ImageDecoder.h"

#include "platform/Log.h"

#include <dlfcn.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

namespace {
thread_local std::unique_ptr<TextRecognizer> t_engine;
} // namespace

TextRecognizer::TextRecognizer()
    : m_api(std::make_unique<tesseract::TessBaseAPI>()) {
    limitThreads();
    if (m_api->Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY) != 0) {
        logFailure("text recognition", QStringLiteral("no English language data"));
        return;
    }
    std::vector<std::string> installed;
    m_api->GetAvailableLanguagesAsVector(&installed);
    QStringList available;
    for (const std::string& name : installed)
        available.append(QString::fromStdString(name));
    m_languages = languagesFor(QLocale::system(), available);
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
    if (!t_engine)
        t_engine = std::make_unique<TextRecognizer>();
    return *t_engine;
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
    QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    invertDarkBlocks(gray);
    return gray;
}

void TextRecognizer::invertDarkBlocks(QImage& gray) {
    // Light text on a dark theme costs the engine a second, inverted try of
    // every such line. Turning each dark block light first made recognition
    // about a quarter faster, with recall as good or better; the engine's own
    // inversion still catches what a block-wise decision gets wrong.
    constexpr int kBlock = 48;
    for (int top = 0; top < gray.height(); top += kBlock) {
        const int bottom = std::min(top + kBlock, gray.height());
        for (int left = 0; left < gray.width(); left += kBlock) {
            const int right = std::min(left + kBlock, gray.width());
            int histogram[256] = {};
            for (int y = top; y < bottom; ++y) {
                const uchar* row = gray.constScanLine(y);
                for (int x = left; x < right; ++x)
                    ++histogram[row[x]];
            }
            // The median is the background: text covers less than half a block.
            const int half = (bottom - top) * (right - left) / 2;
            int below = 0, median = 0;
            while (median < 255 && (below += histogram[median]) <= half)
                ++median;
            if (median >= 128)
                continue;
            for (int y = top; y < bottom; ++y) {
                uchar* row = gray.scanLine(y);
                for (int x = left; x < right; ++x)
                    row[x] = uchar(255 - row[x]);
            }
        }
    }
}

QString TextRecognizer::recognize(const QString& path) {
    const QImage image = load(path);
    if (image.isNull())
        return {};
    return recognize(image);
}

QString TextRecognizer::recognize(const QImage& source) {
    if (!m_ready || source.isNull() || source.width() < 3 || source.height() < 3)
        return {};
    const QImage image = prepare(source);
    m_api->SetImage(image.constBits(), image.width(), image.height(), 1, int(image.bytesPerLine()));
    m_api->SetSourceResolution(96);
    if (m_api->Recognize(nullptr) != 0) {
        m_api->Clear();
        return {};
    }
    QStringList lines;
    std::unique_ptr<tesseract::ResultIterator> it(m_api->GetIterator());
    if (it) {
        do {
            std::unique_ptr<char[]> line(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
            if (!line)
                continue;
            const QString text = QString::fromUtf8(line.get()).trimmed();
            if (!text.isEmpty())
                lines.append(text);
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    m_api->Clear();
    return lines.join(QLatin1Char('\n'));
}
