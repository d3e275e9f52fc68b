// tamberk-cli ocr: the text recognition of the index, one file at a time.
#include "cli/Command.h"
#include "content/TextIndex.h"
#include "platform/TextRecognizer.h"

#include <QFileInfo>
#include <algorithm>

namespace {
int runOcr(const QStringList& args) {
    // An option is a mistake, not a file name; "./-name" reaches such a file.
    const bool option = std::any_of(
        args.begin(), args.end(), [](const QString& a) { return a.startsWith(QLatin1Char('-')); });
    if (args.isEmpty() || option) {
        err() << "usage: tamberk-cli ocr FILE...\n";
        return 2;
    }
    TextRecognizer::limitThreads();
    int status = 0;
    for (const QString& path : args) {
        if (args.size() > 1)
            out() << "== " << path << "\n";
        const QFileInfo info(path);
        if (!info.isFile() || !info.isReadable()) {
            // The others are still read; the status tells a script one was missing.
            out().flush();
            err() << "tamberk-cli: cannot read " << path << "\n";
            err().flush();
            status = 1;
            continue;
        }
        const QString text = TextIndex::recognize(path);
        if (!text.isEmpty())
            out() << text << "\n";
        out().flush();
    }
    return status;
}

const CliCommand ocr{"ocr", "ocr FILE...",
                     "Prints the text recognised in images.\n"
                     "One line per line of text; a header line \"== FILE\" precedes each file\n"
                     "when there are several. A file that cannot be read is reported on standard\n"
                     "error and makes the exit status 1.",
                     runOcr};
} // namespace
