// A stand-in for another application on the desktop: a window that accepts
// file drops (text/uri-list) and prints what arrived, one line per format, so
// a drag out of the grid can be checked by hand or by a script under Xvfb.
//   drop-receiver [report-file]
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QTextStream>
#include <QVBoxLayout>
#include <cstdio>

namespace {

class Receiver : public QLabel {
public:
    explicit Receiver(QString report)
        : m_report(std::move(report)) {
        setAcceptDrops(true);
        setAlignment(Qt::AlignCenter);
        setWordWrap(true);
        setText(QStringLiteral("Drop files here"));
        setStyleSheet(QStringLiteral("background: #24303a; color: white; font-size: 14px;"));
        setWindowTitle(QStringLiteral("Drop Receiver"));
        resize(420, 300);
    }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
            event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent* event) override {
        const QMimeData* mime = event->mimeData();
        QStringList lines;
        lines << QStringLiteral("action %1").arg(int(event->dropAction()));
        for (const QString& format : mime->formats())
            lines
                << QStringLiteral("format %1 %2 bytes").arg(format).arg(mime->data(format).size());
        for (const QUrl& url : mime->urls())
            lines << QStringLiteral("url %1").arg(url.toString());
        event->acceptProposedAction();
        setText(lines.join('\n'));
        const QByteArray text = lines.join('\n').toUtf8() + '\n';
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        std::fflush(stdout);
        if (!m_report.isEmpty()) {
            QFile file(m_report);
            if (file.open(QIODevice::Append))
                file.write(text);
        }
    }

private:
    QString m_report;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Receiver receiver(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
    receiver.move(760, 200);
    receiver.show();
    return app.exec();
}
