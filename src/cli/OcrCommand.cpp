// tamberk-cli ocr: the text recognition of the index, one file at a time.
#include "cli/Command.h"
#include "content/TextIndex.h"
#include "platform/TextRecognizer.h"

namespace {
int runOcr(const QStringList& args) {
    if (args.isEmpty()) {
        err() << "usage: tamberk-cli ocr FILE...\n";
        return 2;
    }
    TextRecognizer::limitThreads();
    for (const QString& path : args) {
        if (args.size() > 1)
            out() << "== " << path << "\n";
        const QString text = TextIndex::recognize(path);
        if (!text.isEmpty())
            out() << text << "\n";
        out().flush();
    }
    return 0;
}

const CliCommand ocr{"ocr", "ocr FILE...",
                     "Prints the text recognised in images.\n"
                     "One line per line of text; a header line \"== FILE\" precedes each file\n"
                     "when there are several.",
                     runOcr};
} // namespace
