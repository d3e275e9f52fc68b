#include "content/TextIndex.h"

#include "content/TextSearch.h"
#include "platform/BandedText.h"
#include "platform/Log.h"
#include "platform/TextRecognizer.h"
#include "settings/Prefs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

namespace {

constexpr int kSaveDelayMs = 2000;
// More shots than any listing holds; bounds the matching memo's memory.
constexpr size_t kMemoLimit = 500000;

QStringView fileName(const QString& path) {
    return QStringView(path).mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// The lower-cased file name into `buffer`, without allocating for the usual
// ASCII names; `spill` holds the rest.
std::string_view lowerName(const QString& path, char (&buffer)[256], QByteArray& spill) {
    const QStringView name = fileName(path);
    if (name.size() <= qsizetype(sizeof buffer)) {
        qsizetype i = 0;
        for (; i < name.size(); ++i) {
            const char16_t c = name[i].unicode();
            if (c >= 0x80)
                break;
            buffer[i] = (c >= 'A' && c <= 'Z') ? char(c + 32) : char(c);
        }
        if (i == name.size())
            return {buffer, size_t(i)};
    }
    spill = name.toString().toLower().toUtf8();
    return {spill.constData(), size_t(spill.size())};
}

// The lower-cased haystack of an entry: file name, a line feed, the text.
QByteArray haystackBytes(const QString& path, const QString& text) {
    QByteArray bytes = fileName(path).toString().toLower().toUtf8();
    bytes += '\n';
    bytes += text.toLower().toUtf8();
    return bytes;
}

void appendJsonString(QByteArray& out, const QString& text) {
    static const char hex[] = "0123456789abcdef";
    const QByteArray utf8 = text.toUtf8();
    out += '"';
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

// Writes `bytes` atomically to `file`; first keeps an unreadable old file as
// "<file>.bad" when asked, so a damaged index is not destroyed silently.
bool writeIndex(const QString& file, const QByteArray& bytes, bool keepBad) {
    if (keepBad && QFileInfo::exists(file)) {
        const QString bad = file + QStringLiteral(".bad");
        QFile::remove(bad);
        if (!QFile::rename(file, bad))
            logFailure("text index backup", QStringLiteral("%1 could not be renamed").arg(file));
    }
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        logFailure("text index write", out.errorString());
        return false;
    }
    return true;
}

} // namespace

TextIndex::TextIndex(QObject* parent)
    : TextIndex(defaultFile(), &TextIndex::read, parent) {}

TextIndex::TextIndex(QString file, Recognizer recognizer, QObject* parent)
    : QObject(parent)
    , m_file(std::move(file))
    , m_recognizer(std::move(recognizer)) {
    // The environment is written here, on the main thread, before any worker
    // exists; each engine also keeps to its own thread when it starts.
    TextRecognizer::limitThreads();

    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(kSaveDelayMs);
    connect(&m_saveTimer, &QTimer::timeout, this, &TextIndex::save);

    m_io = new QThread(this);
    m_io->setObjectName(QStringLiteral("tamberk.ocr"));
    m_ioContext = new QObject;
    m_ioContext->moveToThread(m_io);
    m_io->start();

    m_available = TextRecognizer::installedLanguages();
    m_wanted = Prefs::shared().string(Key::ocrLanguages);
    m_languages = TextRecognizer::effectiveLanguages(m_wanted, m_available);
    connect(&Prefs::shared(), &Prefs::changed, this, &TextIndex::prefsChanged);

    if (!m_file.isEmpty()) {
        QDir().mkpath(QFileInfo(m_file).absolutePath());
        load();
    }
}

TextIndex::~TextIndex() {
    shutdown(-1);
    post([] { QThread::currentThread()->quit(); });
    m_io->wait();
    delete m_ioContext;
}

QString TextIndex::defaultFile() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return {};
    return base + QStringLiteral("/Tamberk/text-index.json");
}

QString TextIndex::recognize(const QString& path) {
    return read(path).value_or(QString());
}

std::optional<QString> TextIndex::read(const QString& path) {
    // Decoding comes first so that a file that is no image never starts an engine.
    QImage image = BandedText::load(path);
    const bool tall = !image.isNull();
    if (!tall)
        image = TextRecognizer::load(path);
    if (image.isNull())
        return QString();
    TextRecognizer& engine = TextRecognizer::forThisThread();
    if (!engine.ready())
        return std::nullopt;
    return tall ? BandedText::recognize(engine, image) : engine.recognize(image);
}

void TextIndex::post(std::function<void()> job) {
    QMetaObject::invokeMethod(m_ioContext, std::move(job), Qt::QueuedConnection);
}

void TextIndex::load() {
    QFile in(m_file);
    if (!in.exists())
        return;
    std::optional<Map> loaded;
    if (in.open(QIODevice::ReadOnly))
        loaded = decode(in.readAll());
    if (!loaded) {
        logFailure("text index read", QStringLiteral("%1 is not a readable index").arg(m_file));
        m_keepBad = true;
        return;
    }
    map = std::move(*loaded);
    // Entries of an index written before languages were recorded were read
    // with the default choice.
    const QString before = TextRecognizer::effectiveLanguages(QString(), m_available);
    for (Entry& entry : map) {
        if (entry.l.isNull())
            entry.l = before;
    }
    lower.reserve(map.size());
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        QByteArray bytes = haystackBytes(it.key(), it->t);
        const Pairs pairs = TextSearch::pairsOf(bytes);
        lower.insert(it.key(), Haystack{std::move(bytes), pairs});
    }
}

QByteArray TextIndex::encode(const Map& map) {
    QByteArray out;
    qsizetype size = 2;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        size += it.key().size() + it->t.size() + 40;
    out.reserve(size);
    out += '{';
    bool first = true;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        // JSON has no NaN or infinity; such an entry would make the file unreadable.
        if (!std::isfinite(it->m))
            continue;
        if (!first)
            out += ',';
        first = false;
        appendJsonString(out, it.key());
        out += ":{\"m\":";
        // The shortest form that reads back as the same double, so the
        // exact comparison of modification times holds after a restart.
        char number[32];
        const auto result = std::to_chars(number, number + sizeof number, it->m);
        out.append(number, result.ptr - number);
        out += ",\"t\":";
        appendJsonString(out, it->t);
        if (!it->l.isEmpty()) {
            out += ",\"l\":";
            appendJsonString(out, it->l);
        }
        out += '}';
    }
    out += '}';
    return out;
}

std::optional<TextIndex::Map> TextIndex::decode(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    Map result;
    result.reserve(object.size());
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (!it->isObject())
            return std::nullopt;
        const QJsonObject entry = it->toObject();
        const QJsonValue m = entry.value(QLatin1String("m"));
        const QJsonValue t = entry.value(QLatin1String("t"));
        const QJsonValue l = entry.value(QLatin1String("l"));
        if (!m.isDouble() || !t.isString() || !(l.isUndefined() || l.isString()))
            return std::nullopt;
        result.insert(it.key(), Entry{m.toDouble(), t.toString(), l.toString()});
    }
    return result;
}

void TextIndex::store(const QString& path, Entry entry) {
    changed();
    QByteArray bytes = haystackBytes(path, entry.t);
    const Pairs pairs = TextSearch::pairsOf(bytes);
    lower.insert(path, Haystack{std::move(bytes), pairs});
    map.insert(path, std::move(entry));
}

void TextIndex::scheduleSave() {
    if (saveScheduled)
        return;
    saveScheduled = true;
    m_saveTimer.start();
}

void TextIndex::save() {
    saveScheduled = false;
    if (m_file.isEmpty())
        return;
    const bool keepBad = std::exchange(m_keepBad, false);
    post([this, copy = map, file = m_file, keepBad] {
        const bool ok = writeIndex(file, encode(copy), keepBad);
        QMetaObject::invokeMethod(
            this, [this, ok] { emit saved(ok); }, Qt::QueuedConnection);
    });
}

TextIndex::Pieces TextIndex::pieces(const QString& query) {
    static quint64 passes = 0;
    Pieces result;
    result.pass = ++passes;
    const QString lowered = query.toLower();
    for (const QStringView piece :
         QStringView(lowered).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        result.words.append(piece.toUtf8());
        result.pairs.append(TextSearch::pairsOf(result.words.last()));
    }
    return result;
}

TextIndex::Haystack TextIndex::lookupHaystack(const QString& path) const {
    const auto it = lower.constFind(path);
    if (it != lower.cend())
        return *it;
    // A file without an entry is matched by its name alone.
    char buffer[256];
    QByteArray spill;
    const std::string_view name = lowerName(path, buffer, spill);
    QByteArray bytes(name.data(), qsizetype(name.size()));
    const Pairs pairs = TextSearch::pairsOf(bytes);
    return Haystack{std::move(bytes), pairs};
}

const TextIndex::Haystack& TextIndex::haystackFor(const Shot& shot, quint64 pass) const {
    if (m_memoGeneration != m_generation) {
        m_memo.clear();
        m_memoGeneration = m_generation;
    }
    if (pass != m_memoPass) {
        m_memoPass = pass;
        m_cursor = 0;
    }
    const auto same = [&](const QString& path) {
        return (path.constData() == shot.path.constData() && path.size() == shot.path.size()) ||
               path == shot.path;
    };
    if (m_cursor < m_memo.size() && same(m_memo[m_cursor].path))
        return m_memo[m_cursor++].hay;
    // A pass that was not announced by new pieces starts over at the top.
    if (!m_memo.empty() && same(m_memo.front().path)) {
        m_cursor = 1;
        return m_memo.front().hay;
    }
    // The listing differs from here on: record it anew, within a bound.
    if (m_cursor >= kMemoLimit)
        m_cursor = 0;
    m_memo.resize(std::min(m_cursor, m_memo.size()));
    m_memo.push_back(Memo{shot.path, lookupHaystack(shot.path)});
    m_cursor = m_memo.size();
    return m_memo.back().hay;
}

bool TextIndex::contains(const Haystack& hay, const Pieces& pieces) {
    for (qsizetype i = 0; i < pieces.words.size(); ++i) {
        const QByteArray& word = pieces.words[i];
        if (!TextSearch::hasPairs(hay.pairs, pieces.pairs[i]) ||
            !TextSearch::contains(hay.bytes.constData(), hay.bytes.size(), word.constData(),
                                  word.size()))
            return false;
    }
    return true;
}

bool TextIndex::matches(const Shot& shot, const QString& query) const {
    const Pieces split = pieces(query);
    return split.isEmpty() || contains(lookupHaystack(shot.path), split);
}

bool TextIndex::matches(const Shot& shot, const Pieces& pieces) const {
    return pieces.isEmpty() || contains(haystackFor(shot, pieces.pass), pieces);
}

std::optional<QString> TextIndex::text(const Shot& shot) const {
    const auto it = map.constFind(shot.path);
    if (it == map.cend() || it->t.isEmpty())
        return std::nullopt;
    return it->t;
}

void TextIndex::rekey(const QString& oldPath, const QString& newPath) {
    const auto it = map.constFind(oldPath);
    if (it == map.cend())
        return;
    Entry entry = *it;
    map.remove(oldPath);
    lower.remove(oldPath);
    changed();
    // The haystack starts with the file name, so it is rebuilt for the new one.
    store(newPath, std::move(entry));
    scheduleSave();
}

void TextIndex::prune() {
    post([this, paths = map.keys()] {
        QStringList missing;
        for (const QString& path : paths) {
            if (!QFileInfo::exists(path))
                missing.append(path);
        }
        QMetaObject::invokeMethod(
            this,
            [this, missing] {
                int removed = 0;
                for (const QString& path : missing) {
                    if (map.remove(path)) {
                        lower.remove(path);
                        changed();
                        ++removed;
                    }
                }
                if (removed > 0)
                    scheduleSave();
                emit pruned(removed);
            },
            Qt::QueuedConnection);
    });
}
