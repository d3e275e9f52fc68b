#include "grid/DragPayload.h"

#include "platform/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <QThread>
#include <QThreadPool>
#include <QUuid>
#include <QtConcurrent>
#include <sys/stat.h>

namespace {

const QString kUriList = QStringLiteral("text/uri-list");
// The URI list as it is announced. Qt's X11 clipboard and drag code offer any
// "text/uri-list" also as text/plain and text/x-moz-url, which would paste
// cache paths into text fields. This spelling, with a trailing NUL, reaches X
// under the same atom (atom names are C strings) without being recognised.
const QString kUriListAnnounced = kUriList + QChar(0);
const QString kGnomeCopied = QStringLiteral("x-special/gnome-copied-files");
const QString kKdeCut = QStringLiteral("application/x-kde-cutselection");

std::vector<DragPayload::ProviderPtr>& liveProviders() {
    static std::vector<DragPayload::ProviderPtr> providers;
    return providers;
}

std::optional<dev_t> deviceOf(const QString& path) {
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return st.st_dev;
}

} // namespace

PayloadMime::PayloadMime(QList<QUrl> urls) {
    for (const QUrl& url : urls)
        m_urls << QtFuture::makeReadyFuture(url);
}

PayloadMime::PayloadMime(QList<QFuture<QUrl>> urls)
    : m_urls(std::move(urls)) {}

QList<QUrl> PayloadMime::fileUrls() const {
    QList<QUrl> urls;
    for (const QFuture<QUrl>& url : m_urls)
        urls << url.result();
    return urls;
}

void PayloadMime::offer(const QString& type, std::function<QByteArray()> produce) {
    m_type = type;
    m_produce = std::move(produce);
}

QStringList PayloadMime::formats() const {
    QStringList list;
    if (!m_type.isEmpty())
        list << m_type;
    if (!m_urls.isEmpty())
        list << kUriListAnnounced << kGnomeCopied << kKdeCut;
    return list;
}

bool PayloadMime::hasFormat(const QString& mimeType) const {
    return formats().contains(mimeType == kUriList ? kUriListAnnounced : mimeType);
}

QByteArray PayloadMime::uriList() const {
    QByteArray list;
    for (const QUrl& url : fileUrls())
        list += url.toEncoded() + "\r\n";
    return list;
}

QVariant PayloadMime::retrieveData(const QString& mimeType, QMetaType type) const {
    if ((mimeType == kUriList || mimeType == kUriListAnnounced) && !m_urls.isEmpty()) {
        // QMimeData::urls() asks for a list; X11 receivers get the bytes.
        if (type.id() == QMetaType::QVariantList || type.id() == QMetaType::QUrl) {
            QVariantList urls;
            for (const QUrl& url : fileUrls())
                urls << url;
            return urls;
        }
        return uriList();
    }
    if (mimeType == kGnomeCopied && !m_urls.isEmpty()) {
        QByteArrayList lines{"copy"};
        for (const QUrl& url : fileUrls())
            lines << url.toEncoded();
        return lines.join('\n');
    }
    if (mimeType == kKdeCut && !m_urls.isEmpty())
        return QByteArray("0");
    if (mimeType == m_type && m_produce) {
        const QByteArray bytes = m_produce();
        return bytes.isEmpty() ? QVariant() : QVariant(bytes);
    }
    return {};
}

namespace DragPayload {

Provider::Provider(QFuture<QUrl> url, QString type)
    : type(std::move(type))
    , m_url(std::move(url)) {}

QUrl Provider::url() const {
    return m_url.result();
}

QByteArray Provider::bytes() const {
    QFile file(url().toLocalFile());
    if (!file.open(QIODevice::ReadOnly)) {
        logFailure("drag data", file.errorString());
        return {};
    }
    return file.readAll();
}

QString dropRoot() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/tamberk/Drag");
}

QUrl shareableURL(const QUrl& url) {
    return publish(url).result();
}

QFuture<QUrl> publish(const QUrl& url) {
    if (!url.isLocalFile())
        return QtFuture::makeReadyFuture(url);
    const QString root = dropRoot();
    QDir().mkpath(root);
    // Copying is only cheap within one file system; across them the file's
    // own URL is handed out instead.
    const std::optional<dev_t> fileDevice = deviceOf(url.toLocalFile());
    const std::optional<dev_t> rootDevice = deviceOf(root);
    if (!fileDevice || !rootDevice || *fileDevice != *rootDevice)
        return QtFuture::makeReadyFuture(url);

    // One thread, in order: a receiver waits for the copies of its files only.
    static QThreadPool* const copies = [] {
        auto* threads = new QThreadPool;
        threads->setMaxThreadCount(1);
        return threads;
    }();
    const QString dir =
        root + '/' + QUuid::createUuid().toString(QUuid::WithoutBraces).left(8).toLower();
    return QtConcurrent::run(copies, [url, dir] {
        const QString dest = dir + '/' + QFileInfo(url.toLocalFile()).fileName();
        if (!QDir().mkpath(dir)) {
            logFailure("drag copy", QStringLiteral("cannot create ") + dir);
            return url;
        }
        QFile source(url.toLocalFile());
        if (source.copy(dest))
            return QUrl::fromLocalFile(dest);
        logFailure("drag copy", source.errorString());
        QDir(dir).removeRecursively();
        return url;
    });
}

QString dataType(const QUrl& url) {
    if (!url.isLocalFile())
        return {};
    const QString path = url.toLocalFile();
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    if (!mime.isValid() || mime.isDefault())
        return {};
    const QString name = mime.name();
    if (name.startsWith(QLatin1String("image/")))
        return name;
    if (name.startsWith(QLatin1String("video/")) || name.startsWith(QLatin1String("audio/"))) {
        const QFileInfo info(path);
        if (!info.exists() || info.size() > maxRecordingBytes)
            return {};
        return name;
    }
    return {};
}

int sweep(const QString& root, const QDateTime& now) {
    const QDir dir(root);
    if (!dir.exists())
        return 0;
    // A drop folder is written once, when its file is copied in, so its
    // modification time is its creation time; unlike birth times it exists on
    // every file system.
    const qint64 cutoff = now.toSecsSinceEpoch() - sweepAge;
    int removed = 0;
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString path = dir.filePath(name);
        struct stat st;
        const bool known = ::lstat(QFile::encodeName(path).constData(), &st) == 0;
        if (known && st.st_mtime >= cutoff)
            continue;
        const bool gone =
            known && S_ISDIR(st.st_mode) ? QDir(path).removeRecursively() : QFile::remove(path);
        if (gone)
            ++removed;
    }
    return removed;
}

QFuture<int> beginSession() {
    liveProviders().clear();
    // One low-priority thread: sweeps never compete with the drag itself.
    static QThreadPool* const pool = [] {
        auto* threads = new QThreadPool;
        threads->setMaxThreadCount(1);
        threads->setThreadPriority(QThread::LowPriority);
        return threads;
    }();
    return QtConcurrent::run(pool, [root = dropRoot(), now = QDateTime::currentDateTimeUtc()] {
        return sweep(root, now);
    });
}

PayloadMime* mimeData(const QList<QUrl>& files) {
    QList<QFuture<QUrl>> published;
    for (const QUrl& url : files)
        published << publish(url);
    auto* mime = new PayloadMime(published);
    // One format carries one file's bytes, so only a single file offers them;
    // with several, receivers read the files from the URI list. The copy has
    // the file's name and size, so the file answers for its type.
    if (published.size() == 1) {
        const QString type = dataType(files.front());
        if (!type.isEmpty()) {
            auto provider = std::make_shared<const Provider>(published.front(), type);
            liveProviders().push_back(provider);
            mime->offer(type, [provider] { return provider->bytes(); });
        }
    }
    return mime;
}

const std::vector<ProviderPtr>& live() {
    return liveProviders();
}

} // namespace DragPayload
