// Text recognition and search of the text index, each against its anchor:
//   ocr_recall: words of rendered UI-like screenshots found in our text
//   ocr_time_1080p: our recognition of a 1920×1080 image against the tesseract
//     command line (one thread, one process for the whole list)
//   ocr_recall_hard, ocr_time_hard: the same on the hard corpus of
//     OcrHardCorpus.h, against the command line's own recall
//   search_50k: one query over 50,000 entries against a naive find loop
#include "content/TextIndex.h"
#include "platform/TextRecognizer.h"

#include "OcrHardCorpus.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <sys/resource.h>

namespace {

const char* const kWords[] = {
    "about",    "account",  "action",   "address", "advanced",  "album",     "allow",
    "answer",   "apply",    "archive",  "audio",   "backup",    "battery",   "before",
    "between",  "bookmark", "border",   "bright",  "browser",   "budget",    "button",
    "calendar", "camera",   "cancel",   "change",  "channel",   "chart",     "check",
    "choose",   "class",    "clear",    "client",  "close",     "cloud",     "color",
    "column",   "comment",  "company",  "connect", "contact",   "content",   "control",
    "copy",     "create",   "current",  "custom",  "dashboard", "default",   "delete",
    "design",   "desktop",  "details",  "device",  "display",   "document",  "download",
    "draft",    "edit",     "email",    "enable",  "error",     "event",     "export",
    "favorite", "feature",  "field",    "filter",  "finish",    "folder",    "format",
    "forward",  "friday",   "general",  "gallery", "graph",     "group",     "header",
    "help",     "history",  "home",     "image",   "import",    "inbox",     "install",
    "invoice",  "issue",    "keyboard", "label",   "language",  "layout",    "library",
    "light",    "limit",    "link",     "local",   "login",     "manage",    "market",
    "meeting",  "memory",   "message",  "monday",  "monitor",   "mouse",     "music",
    "network",  "notes",    "notice",   "number",  "office",    "online",    "option",
    "order",    "output",   "owner",    "page",    "panel",     "password",  "payment",
    "people",   "photo",    "picture",  "plugin",  "policy",    "preview",   "print",
    "privacy",  "profile",  "project",  "public",  "publish",   "query",     "quick",
    "record",   "refresh",  "release",  "remote",  "report",    "request",   "reset",
    "result",   "review",   "rename",   "sample",  "save",      "schedule",  "screen",
    "search",   "security", "select",   "server",  "session",   "settings",  "share",
    "shortcut", "signal",   "source",   "status",  "storage",   "summary",   "support",
    "switch",   "system",   "table",    "target",  "task",      "template",  "terminal",
    "theme",    "thursday", "ticket",   "title",   "today",     "toolbar",   "track",
    "travel",   "update",   "upload",   "user",    "value",     "version",   "video",
    "view",     "volume",   "weather",  "welcome", "window",    "workspace", "yesterday",
};
constexpr int kWordCount = int(sizeof kWords / sizeof kWords[0]);

struct Sample {
    QString path;
    QStringList words; // ground truth, one per drawn word
    bool hd = false;   // 1920×1080 (timed against the anchor)
};

class Painter {
public:
    Painter(QImage& image, quint32 seed, bool dark)
        : p(&image)
        , rng(seed)
        , dark(dark) {
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setRenderHint(QPainter::Antialiasing);
    }

    QString sentence(int count) {
        QStringList words;
        for (int i = 0; i < count; ++i) {
            QString word = QString::fromLatin1(kWords[rng.bounded(kWordCount)]);
            if (i == 0 || rng.bounded(6) == 0)
                word[0] = word[0].toUpper();
            words.append(word);
        }
        return words.join(QLatin1Char(' '));
    }
    // Draws `text` and records its words as ground truth.
    void text(const QRect& box, const QString& text, int px, QColor color,
              int flags = Qt::AlignLeft | Qt::AlignTop) {
        static const char* const families[] = {"DejaVu Sans", "Liberation Sans", "Liberation Serif",
                                               "DejaVu Sans Mono"};
        QFont font(QString::fromLatin1(families[rng.bounded(4)]));
        font.setPixelSize(px);
        p.setFont(font);
        p.setPen(color);
        p.drawText(box, flags, text);
        for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            truth.append(word.toLower());
    }

    QPainter p;
    QRandomGenerator rng;
    bool dark;
    QStringList truth;
};

// A window of a made-up application: title bar, sidebar, heading, paragraphs
// in several sizes and contrasts, a tinted card, buttons and a status bar, in
// a light or a dark theme; every other window mixes in a panel of the other.
Sample render(const QString& dir, int index, QSize logical, qreal ratio, bool dark) {
    QImage image((QSizeF(logical) * ratio).toSize(), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    const bool mixed = index % 2 == 0;
    const QColor bg = dark ? QColor(30, 30, 32) : QColor(250, 250, 250);
    const QColor fg = dark ? QColor(225, 225, 225) : QColor(30, 30, 30);
    const QColor dim = dark ? QColor(140, 140, 145) : QColor(125, 125, 130);
    // The sidebar of a mixed window is in the other theme.
    const bool darkSide = mixed ? !dark : dark;
    const QColor side = darkSide ? QColor(44, 44, 48) : QColor(236, 236, 240);
    const QColor sideFg = darkSide ? QColor(200, 200, 205) : QColor(40, 40, 40);
    image.fill(bg);
    Painter w(image, quint32(1000 + index), dark);
    const int W = logical.width(), H = logical.height();

    w.p.fillRect(0, 0, W, 32, dark ? QColor(50, 50, 55) : QColor(222, 222, 226));
    w.text(QRect(0, 0, W, 32), w.sentence(3), 13, fg, Qt::AlignCenter);
    w.p.fillRect(0, 32, 220, H - 60, side);
    for (int i = 0; i < 16; ++i)
        w.text(QRect(20, 46 + i * 27, 190, 24), w.sentence(1 + i % 2), 12 + (i % 3),
               i % 5 == 4 ? dim : sideFg);
    int y = 50;
    w.text(QRect(250, y, W - 300, 40), w.sentence(4), 28, fg);
    y += 56;
    // Interface text is mostly small.
    const int sizes[] = {11, 11, 12, 12, 13, 13, 14, 15, 16, 18, 20, 24};
    const int right = W - (W > 1600 ? 560 : 420);
    for (int i = 0; y < H - 130; ++i) {
        const int px = sizes[w.rng.bounded(12)];
        w.text(QRect(250, y, right - 250, px * 2),
               w.sentence(std::max(3, (right - 270) / (px * 6))), px, i % 3 == 2 ? dim : fg);
        y += px * 2;
    }
    // A tinted card on the right: a list of short rows.
    const QRect card(right + 30, 80, W - right - 60, H - 240);
    w.p.setPen(Qt::NoPen);
    w.p.setBrush(dark ? QColor(38, 50, 66) : QColor(232, 240, 254));
    w.p.drawRoundedRect(card, 8, 8);
    for (int i = 0, cy = card.top() + 16; cy < card.bottom() - 30; ++i, cy += 26)
        w.text(QRect(card.left() + 16, cy, card.width() - 32, 22), w.sentence(2 + i % 3),
               12 + i % 2, i % 4 == 3 ? dim : fg);
    for (int i = 0; i < 3; ++i) {
        const QRect button(250 + i * 150, H - 90, 130, 32);
        w.p.setPen(Qt::NoPen);
        w.p.setBrush(i == 0 ? QColor(40, 110, 220)
                            : (dark ? QColor(60, 60, 66) : QColor(225, 225, 230)));
        w.p.drawRoundedRect(button, 6, 6);
        w.text(button, w.sentence(1), 13, i == 0 ? QColor(Qt::white) : fg, Qt::AlignCenter);
    }
    w.p.fillRect(0, H - 28, W, 28, dark ? QColor(44, 44, 48) : QColor(236, 236, 240));
    w.text(QRect(12, H - 28, W - 24, 28), w.sentence(6), 11, dim, Qt::AlignLeft | Qt::AlignVCenter);
    w.p.end();

    Sample sample;
    sample.path = QStringLiteral("%1/shot-%2.png").arg(dir).arg(index);
    sample.words = w.truth;
    sample.hd = ratio == 1.0;
    image.setDevicePixelRatio(1);
    image.save(sample.path);
    return sample;
}

QList<Sample> corpus(const QString& dir) {
    QList<Sample> samples;
    int index = 0;
    for (const bool dark : {false, true, false, true})
        samples.append(render(dir, index++, QSize(1920, 1080), 1.0, dark));
    for (const bool dark : {false, true})
        samples.append(render(dir, index++, QSize(1440, 900), 2.0, dark));
    return samples;
}

int found(const Sample& sample, const QString& text, int* total) {
    const QString lower = text.toLower();
    *total += int(sample.words.size());
    return int(std::count_if(sample.words.begin(), sample.words.end(),
                             [&](const QString& word) { return lower.contains(word); }));
}

// The hard corpus counts a word only as often as the text holds it, whole.
int foundTokens(const Sample& sample, const QString& text, int* total) {
    QHash<QString, int> have;
    for (const QString& token : hard::tokens(text))
        ++have[token];
    *total += int(sample.words.size());
    int hits = 0;
    for (const QString& word : sample.words) {
        auto it = have.find(word);
        if (it != have.end() && *it > 0) {
            --*it;
            ++hits;
        }
    }
    return hits;
}

QList<Sample> hardCorpus(const QString& dir) {
    struct WindowKind {
        QSize size;
        qreal ratio;
        bool dark;
    };
    const WindowKind kinds[] = {{{1440, 900}, 1.0, false},  {{1440, 900}, 1.0, true},
                                {{1920, 1080}, 1.0, false}, {{1920, 1080}, 1.0, true},
                                {{1440, 900}, 2.0, false},  {{1440, 900}, 2.0, true}};
    QList<Sample> samples;
    int index = 0;
    for (const WindowKind& kind : kinds) {
        const hard::Image image =
            hard::window(kWords, kWordCount, index, kind.size, kind.ratio, kind.dark);
        Sample sample;
        sample.path = QStringLiteral("%1/hard-%2.png").arg(dir).arg(index++);
        sample.words = image.words;
        image.image.save(sample.path);
        samples.append(sample);
    }
    return samples;
}

// Times are CPU times: the machine is shared, and the CPU time of our one
// recognising thread, or of the anchor process, does not count the time
// others take.
double cpuMs(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double threadMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

int threadCount() {
    return int(QDir(QStringLiteral("/proc/self/task"))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}

struct Run {
    QStringList texts;
    double ms = 0; // CPU milliseconds for the whole list
};

// Ours: the engine is started afresh each time, as the anchor's is.
Run recognizeOurs(const QList<Sample>& samples) {
    TextRecognizer::releaseThreadEngine();
    Run run;
    const double start = threadMs();
    for (const Sample& sample : samples)
        run.texts.append(TextIndex::recognize(sample.path));
    run.ms = threadMs() - start;
    return run;
}

// Anchor: the command line with its default settings over the same images,
// one thread, one process for the whole list.
Run recognizeAnchor(const QString& dir, const QList<Sample>& samples) {
    QFile list(dir + QStringLiteral("/list.txt"));
    list.open(QIODevice::WriteOnly);
    for (const Sample& sample : samples)
        list.write(sample.path.toUtf8() + '\n');
    list.close();
    QProcess tesseract;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    tesseract.setProcessEnvironment(env);
    const double start = cpuMs(RUSAGE_CHILDREN);
    tesseract.start(QStringLiteral("tesseract"), {list.fileName(), QStringLiteral("stdout"),
                                                  QStringLiteral("-l"), QStringLiteral("eng")});
    tesseract.waitForFinished(1200000);
    Run run;
    run.ms = cpuMs(RUSAGE_CHILDREN) - start;
    run.texts = QString::fromUtf8(tesseract.readAllStandardOutput()).split(QLatin1Char('\f'));
    return run;
}

// Best of several rounds, ours and the anchor alternating, so that a burst of
// load from elsewhere does not land on one side only; texts of the first.
std::pair<Run, Run> measure(const QString& dir, const QList<Sample>& samples, int rounds) {
    Run ours, anchor;
    for (int round = 0; round < rounds; ++round) {
        Run a = recognizeOurs(samples);
        Run b = recognizeAnchor(dir, samples);
        if (round == 0) {
            ours = a;
            anchor = b;
        }
        ours.ms = std::min(ours.ms, a.ms);
        anchor.ms = std::min(anchor.ms, b.ms);
    }
    return {ours, anchor};
}

// BENCH_OCR_ROUNDS overrides the number of rounds for a quicker look.
const int kRounds = qEnvironmentVariableIntValue("BENCH_OCR_ROUNDS") > 0
                        ? qEnvironmentVariableIntValue("BENCH_OCR_ROUNDS")
                        : 3;

void ocr(const QString& dir, const QByteArray& limitAtStart) {
    const QList<Sample> samples = corpus(dir);
    QList<Sample> hd, rest;
    for (const Sample& sample : samples)
        (sample.hd ? hd : rest).append(sample);

    const int threadsBefore = threadCount();
    const auto [ours, anchor] = measure(dir, hd, kRounds);
    const int threadsAfter = threadCount();
    const QStringList restTexts = recognizeOurs(rest).texts;
    int total = 0, hits = 0, hdTotal = 0, hdHits = 0, anchorTotal = 0, anchorHits = 0;
    for (int i = 0; i < hd.size(); ++i) {
        hdHits += found(hd[i], ours.texts[i], &hdTotal);
        anchorHits += found(hd[i], anchor.texts.value(i), &anchorTotal);
    }
    for (int i = 0; i < rest.size(); ++i)
        hits += found(rest[i], restTexts[i], &total);
    hits += hdHits;
    total += hdTotal;

    std::printf("ocr_recall: ours %.1f%%\n", 100.0 * hits / std::max(total, 1));
    std::printf("ocr_time_1080p: ours %.0f ms/img, anchor %.0f ms/img (tesseract CLI, one thread, "
                "one process for the whole file list, same images), ratio %.2f\n",
                ours.ms / hd.size(), anchor.ms / hd.size(), ours.ms / anchor.ms);
    std::fprintf(stderr,
                 "  1080p recall: ours %.1f%%, anchor %.1f%% (%d words); engine languages %s; "
                 "process threads %d before and %d after recognition, OMP_THREAD_LIMIT=%s\n",
                 100.0 * hdHits / std::max(hdTotal, 1),
                 100.0 * anchorHits / std::max(anchorTotal, 1), hdTotal,
                 qPrintable(TextRecognizer::forThisThread().languages()), threadsBefore,
                 threadsAfter, qgetenv("OMP_THREAD_LIMIT").constData());
    // The engine must not start threads of its own, even when the limit
    // was not in the environment when the process started.
    std::printf("ocr_threads: ours %d thread(s) added by recognition (OMP_THREAD_LIMIT %s at "
                "start, %s now)\n",
                threadsAfter - threadsBefore,
                limitAtStart.isNull() ? "unset" : limitAtStart.constData(),
                qgetenv("OMP_THREAD_LIMIT").constData());
    std::fflush(stdout);
}

void ocrHard(const QString& dir, const QString& dump) {
    const QList<Sample> samples = hardCorpus(dir);
    const auto [ours, anchor] = measure(dir, samples, kRounds);
    int total = 0, hits = 0, anchorTotal = 0, anchorHits = 0;
    for (int i = 0; i < samples.size(); ++i) {
        int imageTotal = 0, imageAnchorTotal = 0;
        const int imageHits = foundTokens(samples[i], ours.texts[i], &imageTotal);
        const int imageAnchor = foundTokens(samples[i], anchor.texts.value(i), &imageAnchorTotal);
        std::fprintf(stderr, "  %s: ours %.1f%%, anchor %.1f%% of %d words\n",
                     qPrintable(QFileInfo(samples[i].path).fileName()),
                     100.0 * imageHits / std::max(imageTotal, 1),
                     100.0 * imageAnchor / std::max(imageAnchorTotal, 1), imageTotal);
        hits += imageHits;
        total += imageTotal;
        anchorHits += imageAnchor;
        anchorTotal += imageAnchorTotal;
        if (!dump.isEmpty()) {
            QFile::copy(samples[i].path,
                        dump + QLatin1Char('/') + QFileInfo(samples[i].path).fileName());
            QFile out(dump + QStringLiteral("/hard-%1.txt").arg(i));
            if (out.open(QIODevice::WriteOnly))
                out.write((samples[i].words.join(QLatin1Char(' ')) + QStringLiteral("\n=====\n") +
                           ours.texts[i] + QStringLiteral("\n=====\n") + anchor.texts.value(i))
                              .toUtf8());
        }
    }
    const double oursRecall = 100.0 * hits / std::max(total, 1);
    const double anchorRecall = 100.0 * anchorHits / std::max(anchorTotal, 1);
    std::printf("ocr_recall_hard: ours %.1f%%, anchor %.1f%% (tesseract CLI, default settings, "
                "%d words in %d images), ratio %.3f\n",
                oursRecall, anchorRecall, total, int(samples.size()), oursRecall / anchorRecall);
    std::printf("ocr_time_hard: ours %.2f s/img, anchor %.2f s/img (tesseract CLI, default "
                "settings, one thread, one process for the whole file list), ratio %.2f\n",
                ours.ms / 1e3 / samples.size(), anchor.ms / 1e3 / samples.size(),
                ours.ms / anchor.ms);
    std::fflush(stdout);
}

void search(const QString& dir) {
    constexpr int kShots = 50000;
    QRandomGenerator rng(7);
    TextIndex::Map map;
    ShotList shots;
    QStringList paths;
    std::vector<std::string> naive;
    shots.reserve(kShots);
    naive.reserve(kShots);
    for (int i = 0; i < kShots; ++i) {
        const QString path =
            QStringLiteral("/home/user/Pictures/Screenshots/Screenshot 2024-%1-%2 at %3.png")
                .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                .arg(i);
        QString text;
        while (text.size() < 400) {
            QString word = QString::fromLatin1(kWords[rng.bounded(kWordCount)]);
            if (rng.bounded(4) == 0)
                word[0] = word[0].toUpper();
            text += word;
            text += rng.bounded(8) == 0 ? QLatin1Char('\n') : QLatin1Char(' ');
        }
        map.insert(path, {1.7e9 + i, text, {}});
        paths.append(path);
        naive.push_back(
            (path.mid(path.lastIndexOf(QLatin1Char('/')) + 1) + QLatin1Char('\n') + text)
                .toLower()
                .toStdString());
    }
    const QString file = dir + QStringLiteral("/text-index.json");
    QFile out(file);
    out.open(QIODevice::WriteOnly);
    out.write(TextIndex::encode(map));
    out.close();
    map.clear();
    TextIndex index(file, [](const QString&) { return QString(); });
    // The listing, made in one go as a scan makes it.
    for (int i = 0; i < kShots; ++i) {
        shots.append(std::make_shared<Shot>(QString(paths[i].data(), paths[i].size()), 1.7e9 + i,
                                            1.7e9 + i, QSizeF(1920, 1080), false, true));
    }

    const QStringList queries{QStringLiteral("Invoice  Payment"), QStringLiteral("window settings"),
                              QStringLiteral("QUICK review"), QStringLiteral("terminal ticket"),
                              QStringLiteral("screenshot zebra")};
    constexpr int kRounds = 5;
    double ours = 1e18, anchor = 1e18;
    int oursHits = 0, anchorHits = 0;
    for (int round = 0; round < kRounds; ++round) {
        double start = threadMs();
        for (const QString& query : queries) {
            const TextIndex::Pieces pieces = TextIndex::pieces(query);
            for (const ShotPtr& shot : shots)
                oursHits += index.matches(*shot, pieces);
        }
        ours = std::min(ours, (threadMs() - start) / queries.size());
        start = threadMs();
        for (const QString& query : queries) {
            std::vector<std::string> pieces;
            for (const QString& piece : query.toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts))
                pieces.push_back(piece.toStdString());
            for (const std::string& hay : naive) {
                bool all = true;
                for (const std::string& piece : pieces) {
                    if (hay.find(piece) == std::string::npos) {
                        all = false;
                        break;
                    }
                }
                anchorHits += all;
            }
        }
        anchor = std::min(anchor, (threadMs() - start) / queries.size());
    }
    if (oursHits != anchorHits)
        std::fprintf(stderr, "search_50k: results differ (%d against %d)\n", oursHits, anchorHits);
    std::printf("search_50k: ours %.2f ms/query, anchor %.2f ms (naive pre-lowered "
                "std::string::find loop), ratio %.2f\n",
                ours, anchor, ours / anchor);
}

} // namespace

int main(int argc, char** argv) {
    const QByteArray limitAtStart = qgetenv("OMP_THREAD_LIMIT");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The hard corpus renders real widgets: one style on every machine.
    QApplication::setStyle(QStringLiteral("Fusion"));
    QTemporaryDir dir;
    const QStringList args = app.arguments();
    // bench_ocr --write DIR leaves both corpora in DIR for a look;
    // bench_ocr --hard [DIR] runs only the hard corpus (and leaves its
    // images, truths and texts in DIR).
    if (args.size() == 3 && args[1] == QLatin1String("--write")) {
        QDir().mkpath(args[2]);
        corpus(args[2]);
        hardCorpus(args[2]);
        return 0;
    }
    if (args.size() >= 2 && args[1] == QLatin1String("--hard")) {
        const QString dump = args.value(2);
        if (!dump.isEmpty())
            QDir().mkpath(dump);
        ocrHard(dir.path(), dump);
        return 0;
    }
    if (!args.contains(QStringLiteral("--search"))) {
        ocr(dir.path(), limitAtStart);
        ocrHard(dir.path(), QString());
    }
    if (!args.contains(QStringLiteral("--ocr")))
        search(dir.path());
    return 0;
}
