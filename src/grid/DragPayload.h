#pragma once

#include <QDateTime>
#include <QFuture>
#include <QList>
#include <QMimeData>
#include <QUrl>
#include <functional>
#include <memory>
#include <vector>

/// Clipboard and drag content produced on demand: a list of files in the forms
/// file managers read (a URI list, the GNOME and KDE copy markers) and at most
/// one data entry (an image, a recording) whose bytes are made only when a
/// receiver asks for them.
class PayloadMime : public QMimeData {
    Q_OBJECT
public:
    explicit PayloadMime(QList<QUrl> urls);
    /// URLs that may still be in the making (see DragPayload::publish); only
    /// a receiver that asks for them waits.
    explicit PayloadMime(QList<QFuture<QUrl>> urls);

    /// Offers `type`, whose bytes `produce` makes each time a receiver asks.
    void offer(const QString& type, std::function<QByteArray()> produce);

    /// The published URLs, waiting for copies still being written.
    QList<QUrl> fileUrls() const;
    QString offeredType() const { return m_type; }

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    QByteArray uriList() const;

    QList<QFuture<QUrl>> m_urls;
    QString m_type;
    std::function<QByteArray()> m_produce;
};

/// What leaves the application when frames are dragged out or copied: which
/// file URL to publish (a private copy in the drop folder when that is cheap,
/// else the file itself) and which raw data to offer.
namespace DragPayload {

/// Files whose bytes are offered besides their URL: images of any size, and
/// recordings of at most this many bytes (150 MiB).
inline constexpr qint64 maxRecordingBytes = 157286400;
/// Drop folders older than this many seconds (30 days) go at the next drag start.
inline constexpr qint64 sweepAge = 2592000;

/// Reads one published file's bytes when a receiver asks for them.
class Provider {
public:
    Provider(QFuture<QUrl> url, QString type);

    /// The published URL, once its copy is written.
    QUrl url() const;
    const QString type;

    /// The whole file; empty when it cannot be read.
    QByteArray bytes() const;

private:
    QFuture<QUrl> m_url;
};
using ProviderPtr = std::shared_ptr<const Provider>;

/// $XDG_CACHE_HOME/tamberk/Drag.
QString dropRoot();

/// The URL to hand out for `url`: a copy in a new dropRoot()/<8 hex>/ folder,
/// under the same name, when the file lies on the drop folder's volume; the
/// file's own URL when it does not, or when anything about the copy fails.
QUrl shareableURL(const QUrl& url);
/// The same without waiting: the copy is written on a worker, so a drag or a
/// copy of a large recording does not hold up the main thread, and the future
/// yields the URL once the copy is there (at once when none is made).
QFuture<QUrl> publish(const QUrl& url);

/// The MIME type under which the bytes of `url` are offered: its type by
/// extension when that is an image, or audio or video of at most
/// maxRecordingBytes; empty otherwise.
QString dataType(const QUrl& url);

/// Starts a new drag: forgets the providers of the previous one and sweeps the
/// drop folder on a worker. The future yields the number of entries removed.
QFuture<int> beginSession();

/// Removes every entry of `root` last modified more than sweepAge seconds
/// before `now`; returns how many went. Symbolic links go, their targets stay.
int sweep(const QString& root, const QDateTime& now);

/// The payload of a drag of `files` (in order): their published URLs, and for
/// a single file its bytes under dataType(). The provider joins live().
PayloadMime* mimeData(const QList<QUrl>& files);

/// The providers of the current drag, kept until the next beginSession() so a
/// receiver may still ask for data after the drop.
const std::vector<ProviderPtr>& live();

} // namespace DragPayload
