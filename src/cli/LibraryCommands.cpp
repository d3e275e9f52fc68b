// tamberk-cli list / search / counts / watch: the library as the app sees it,
// from a terminal. `--root DIR` overrides the folder for one run.
#include "cli/Command.h"
#include "library/Library.h"
#include "platform/TextRecognizer.h"
#include "settings/Prefs.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

struct Options {
    std::optional<QString> root;
    QString scope = QStringLiteral("all");
    QString query;
    bool json = false;
    QStringList rest;
};

QString cleanPath(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

// Parses the options shared by the commands; nothing (after a message) on
// a missing value or an unknown option.
std::optional<Options> parse(const char* command, QStringList args, bool scopeAndQuery) {
    Options options;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        const bool takesValue =
            arg == QLatin1String("--root") ||
            (scopeAndQuery && (arg == QLatin1String("--scope") || arg == QLatin1String("--query")));
        if (takesValue && args.isEmpty()) {
            err() << "tamberk-cli " << command << ": " << arg << " needs a value\n";
            return std::nullopt;
        }
        if (arg == QLatin1String("--root"))
            options.root = args.takeFirst();
        else if (takesValue && arg == QLatin1String("--scope"))
            options.scope = args.takeFirst();
        else if (takesValue && arg == QLatin1String("--query"))
            options.query = args.takeFirst();
        else if (arg == QLatin1String("--json"))
            options.json = true;
        else if (arg.startsWith(QLatin1String("--"))) {
            err() << "tamberk-cli " << command << ": unknown option " << arg << "\n";
            return std::nullopt;
        } else
            options.rest.append(arg);
    }
    return options;
}

std::unique_ptr<Library> makeLibrary(const Options& options) {
    return options.root ? std::make_unique<Library>(*options.root) : std::make_unique<Library>();
}

// One full reload, waited for. A one-shot query moves nothing and starts no
// recognition: the system folder is left alone and the index is only read.
bool loadOnce(Library& library) {
    library.setFeedText(false);
    library.setSystemLocation([] { return QString(); });
    QEventLoop loop;
    QObject::connect(&library, &Library::changed, &loop, &QEventLoop::quit);
    library.reload();
    if (!library.scanned())
        loop.exec();
    if (!library.readable()) {
        err() << "tamberk-cli: cannot read " << library.root() << "\n";
        err().flush();
        return false;
    }
    return true;
}

QJsonObject shotJson(const Shot& shot) {
    return QJsonObject{
        {QStringLiteral("path"), shot.path},
        {QStringLiteral("created"), shot.created},
        {QStringLiteral("modified"), shot.modified},
        {QStringLiteral("width"), shot.pixelSize.width()},
        {QStringLiteral("height"), shot.pixelSize.height()},
        {QStringLiteral("isVideo"), shot.isVideo},
        {QStringLiteral("isScreenshot"), shot.isScreenshot},
    };
}

QJsonArray pathsJson(const ShotList& shots) {
    QJsonArray paths;
    for (const ShotPtr& shot : shots)
        paths.append(shot->path);
    return paths;
}

void printShots(const ShotList& shots, bool json) {
    if (json) {
        QJsonArray array;
        for (const ShotPtr& shot : shots)
            array.append(shotJson(*shot));
        out() << QJsonDocument(array).toJson(QJsonDocument::Compact) << "\n";
        return;
    }
    for (const ShotPtr& shot : shots)
        out() << lineSafe(shot->path) << "\n";
}

// A search among screenshots whose text is not read yet may miss some: says
// how many on standard error, so a script reading the output is not misled.
void noteUnread(const Library& library, const Scope& scope, const QString& query) {
    if (query.trimmed().isEmpty() || !Prefs::shared().boolean(Key::ocr))
        return;
    qsizetype unread = 0;
    for (const ShotPtr& shot : library.shots(scope, {}))
        unread += library.text().unread(*shot);
    if (unread == 0)
        return;
    err() << "tamberk-cli: " << unread << (unread == 1 ? " screenshot has" : " screenshots have")
          << " not been read for text yet; the results may be incomplete.\n";
    err().flush();
}

int listWith(const char* command, const Options& options) {
    auto scope = Scope::fromId(options.scope);
    if (!scope) {
        err() << "tamberk-cli " << command << ": --scope is session, all or folder:PATH\n";
        return 2;
    }
    if (scope->kind() == Scope::Kind::folder)
        scope = Scope::folder(cleanPath(scope->path()));
    auto library = makeLibrary(options);
    if (!loadOnce(*library))
        return 1;
    printShots(library->shots(*scope, options.query), options.json);
    noteUnread(*library, *scope, options.query);
    return 0;
}

int runList(const QStringList& args) {
    const auto options = parse("list", args, true);
    if (!options || !options->rest.isEmpty()) {
        err() << "usage: tamberk-cli list [--scope session|all|folder:PATH] [--query TEXT] "
                 "[--json] [--root DIR]\n";
        return 2;
    }
    return listWith("list", *options);
}

int runSearch(const QStringList& args) {
    auto options = parse("search", args, false);
    if (!options || options->rest.isEmpty()) {
        err() << "usage: tamberk-cli search TEXT [--json] [--root DIR]\n";
        return 2;
    }
    options->scope = QStringLiteral("all");
    options->query = options->rest.join(QLatin1Char(' '));
    return listWith("search", *options);
}

int runCounts(const QStringList& args) {
    const auto options = parse("counts", args, false);
    if (!options || !options->rest.isEmpty()) {
        err() << "usage: tamberk-cli counts [--json] [--root DIR]\n";
        return 2;
    }
    auto library = makeLibrary(*options);
    if (!loadOnce(*library))
        return 1;
    const Library::Counts counts = library->counts();
    if (options->json) {
        QJsonObject perFolder;
        for (auto it = counts.perFolder.cbegin(); it != counts.perFolder.cend(); ++it)
            perFolder.insert(it.key(), it.value());
        const QJsonObject object{{QStringLiteral("session"), counts.session},
                                 {QStringLiteral("all"), counts.all},
                                 {QStringLiteral("perFolder"), perFolder}};
        out() << QJsonDocument(object).toJson(QJsonDocument::Compact) << "\n";
        return 0;
    }
    out() << "session " << counts.session << "\n";
    out() << "all " << counts.all << "\n";
    QStringList folders = counts.perFolder.keys();
    folders.sort();
    for (const QString& folder : folders)
        out() << lineSafe(folder) << " " << counts.perFolder.value(folder) << "\n";
    return 0;
}

// Turns SIGINT and SIGTERM into a clean quit of the event loop, so the text
// index gets its last save.
int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &byte, 1);
}

int runWatch(const QStringList& args) {
    const auto options = parse("watch", args, false);
    if (!options || !options->rest.isEmpty()) {
        err() << "usage: tamberk-cli watch [--json] [--root DIR]\n";
        return 2;
    }
    TextRecognizer::limitThreads();
    auto library = makeLibrary(*options);
    const bool json = options->json;

    QObject::connect(library.get(), &Library::changed, library.get(), [&library, json] {
        const qint64 all = library->counts().all;
        // Written by hand so "event" leads, as in the arrival lines.
        if (json)
            out() << "{\"event\":\"changed\",\"all\":" << all << "}";
        else
            out() << "changed " << all;
        out() << Qt::endl;
    });
    QObject::connect(
        library.get(), &Library::arrived, library.get(), [json](const ShotList& shots) {
            if (json) {
                out() << QJsonDocument(
                             QJsonObject{{QStringLiteral("event"), QStringLiteral("arrived")},
                                         {QStringLiteral("paths"), pathsJson(shots)}})
                             .toJson(QJsonDocument::Compact);
            } else {
                // Screenshot names hold spaces; tabs keep the paths apart.
                QStringList paths;
                for (const ShotPtr& shot : shots)
                    paths.append(lineSafe(shot->path));
                out() << "arrived " << paths.join(QLatin1Char('\t'));
            }
            out() << Qt::endl;
        });

    // Follow the settings as the app does: another folder, another filter,
    // synchronisation switched on or off.
    Prefs& prefs = Prefs::shared();
    bool onlyShots = prefs.boolean(Key::onlyShots);
    QObject::connect(&prefs, &Prefs::changed, library.get(), [&] {
        if (!options->root)
            library->setRoot(prefs.folderPath());
        if (prefs.boolean(Key::onlyShots) != onlyShots) {
            onlyShots = !onlyShots;
            library->reload();
        }
        library->watchStrays();
    });

    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, library.get());
        QObject::connect(notifier, &QSocketNotifier::activated, qApp, &QCoreApplication::quit);
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }

    library->reload();
    const int status = QCoreApplication::exec();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return status;
}

const CliCommand list{"list",
                      "list [--scope session|all|folder:PATH] [--query TEXT] [--json] [--root DIR]",
                      "Lists the shots of a scope that match a query, newest first.\n"
                      "--scope is all (the default), session (this session's shots) or\n"
                      "folder:PATH; --query keeps the shots that match TEXT as the panel's search\n"
                      "does. --root DIR reads DIR instead of the screenshot folder, for this run\n"
                      "only.",
                      runList};
const CliCommand search{"search", "search TEXT [--json] [--root DIR]",
                        "Searches every folder for TEXT in names and recognised text.\n"
                        "The same as list --scope all --query TEXT, with the saved text index.",
                        runSearch};
const CliCommand counts{"counts", "counts [--json] [--root DIR]",
                        "Counts the shots of the session, the library and each folder.", runCounts};
const CliCommand watch{
    "watch", "watch [--json] [--root DIR]",
    "Follows the library and prints a line per change.\n"
    "Runs the library as the application does until interrupted: \"changed\n"
    "COUNT\" when the listing changed, \"arrived PATH...\" (tab-separated) when\n"
    "new screenshots landed.",
    runWatch};

} // namespace
