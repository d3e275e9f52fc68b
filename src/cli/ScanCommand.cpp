// tamberk-cli scan: one full walk of a folder tree, exactly as a full reload.
#include "cli/Command.h"
#include "library/FolderScanner.h"
#include "settings/Prefs.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Directories in walk order: the root, then children breadth first.
QStringList walkOrder(const QString& root, const FolderScanner::Tree& tree) {
    QStringList order{root};
    for (qsizetype i = 0; i < order.size(); ++i) {
        for (const QString& child : tree.children.value(order[i])) {
            if (tree.listing.contains(child) && !order.contains(child))
                order.append(child);
        }
    }
    return order;
}

QString stamp(double seconds) {
    return QString::number(seconds, 'f', 3);
}

QJsonObject shotJson(const Shot& shot) {
    return QJsonObject{
        {QStringLiteral("path"), shot.path},
        {QStringLiteral("created"), shot.created},
        {QStringLiteral("modified"), shot.modified},
        {QStringLiteral("isScreenshot"), shot.isScreenshot},
        {QStringLiteral("isVideo"), shot.isVideo},
        {QStringLiteral("width"), shot.pixelSize.width()},
        {QStringLiteral("height"), shot.pixelSize.height()},
    };
}

void printJson(const FolderScanner::Tree& tree) {
    QJsonObject listing;
    for (auto it = tree.listing.cbegin(); it != tree.listing.cend(); ++it) {
        QJsonArray shots;
        for (const ShotPtr& shot : it.value())
            shots.append(shotJson(*shot));
        listing.insert(it.key(), shots);
    }
    QJsonObject children;
    for (auto it = tree.children.cbegin(); it != tree.children.cend(); ++it)
        children.insert(it.key(), QJsonArray::fromStringList(it.value()));
    const QJsonObject doc{
        {QStringLiteral("rootOK"), tree.ok},
        {QStringLiteral("listing"), listing},
        {QStringLiteral("children"), children},
    };
    out() << QJsonDocument(doc).toJson(QJsonDocument::Indented);
}

void printLines(const QString& root, const FolderScanner::Tree& tree) {
    const QStringList order = walkOrder(root, tree);
    for (const QString& dir : order) {
        for (const ShotPtr& shot : tree.listing.value(dir)) {
            out() << lineSafe(shot->path) << '\t' << stamp(shot->created) << '\t'
                  << stamp(shot->modified) << '\t' << (shot->isScreenshot ? "S" : "-") << '\t'
                  << (shot->isVideo ? "V" : "-") << '\t' << qint64(shot->pixelSize.width()) << 'x'
                  << qint64(shot->pixelSize.height()) << '\n';
        }
    }
    // Then the sorted subfolders of every directory whose subfolders were enumerated.
    for (const QString& dir : order) {
        for (const QString& child : tree.children.value(dir))
            out() << lineSafe(dir) << '\t' << lineSafe(child) << '\n';
    }
}

int runScan(const QStringList& args) {
    bool json = false;
    QString dir;
    for (const QString& arg : args) {
        if (arg == QLatin1String("--json")) {
            json = true;
        } else if (arg.startsWith(u'-') || !dir.isEmpty()) {
            err() << "usage: tamberk-cli scan [DIR] [--json]\n";
            return 2;
        } else {
            dir = arg;
        }
    }
    if (dir.isEmpty())
        dir = Prefs::shared().folderPath();
    const QString root = QDir::cleanPath(QDir(dir).absolutePath());

    int budget = FolderScanner::budgetLimit;
    const FolderScanner::Tree tree =
        FolderScanner::tree(root, 0, root, ScanOptions::current(), ShotCache(), budget);
    if (json)
        printJson(tree);
    else
        printLines(root, tree);
    if (!tree.ok) {
        err() << "tamberk-cli scan: cannot list " << root << "\n";
        return 2;
    }
    return 0;
}

const CliCommand scan{"scan", "scan [DIR] [--json]",
                      "Walks a folder like a full reload and prints its shots.\n"
                      "DIR is by default the screenshot folder. One line per shot: path,\n"
                      "created, modified, S or - (a screenshot), V or - (a recording), WxH,\n"
                      "tab-separated; then one \"DIR<TAB>SUBFOLDER\" line per subfolder.",
                      runScan};

} // namespace
