#include "app/CommandLine.h"

namespace CommandLine {
namespace {

struct Option {
    const char* name;
    const char* value; // the name of its one argument, or nullptr
    const char* help;
};
constexpr Option options[] = {
    {"--toggle", nullptr, "open or close the panel of the running Tamberk"},
    {"--show", nullptr, "open the panel of the running Tamberk"},
    {"--hide", nullptr, "close the panel of the running Tamberk"},
    {"--quit", nullptr, "quit the running Tamberk"},
    {"--copy-text", nullptr,
     "put the text of the newest screenshot on the clipboard (exit status 1 when it has none)"},
    {"--help", nullptr, "print this help and exit"},
    {"--version", nullptr, "print the version and exit"},
};

const Option* optionNamed(const QString& name) {
    const QString full = name == QLatin1String("-h") ? QStringLiteral("--help") : name;
    for (const Option& option : options) {
        if (full == QLatin1String(option.name))
            return &option;
    }
    return nullptr;
}

QString formOf(const Option& option) {
    return option.value ? QStringLiteral("%1 %2").arg(option.name, option.value)
                        : QString::fromLatin1(option.name);
}

} // namespace

Parsed parse(const QStringList& arguments) {
    Parsed parsed;
    const QString& first = arguments.at(1);
    const Option* option = optionNamed(first);
    if (!option) {
        parsed.wrong = first.startsWith(QLatin1Char('-'))
                           ? QStringLiteral("unknown option '%1'").arg(first)
                           : QStringLiteral("unexpected argument '%1'").arg(first);
        return parsed;
    }
    const qsizetype wanted = option->value ? 3 : 2;
    if (arguments.size() < wanted)
        parsed.wrong = QStringLiteral("%1 needs %2").arg(option->name, option->value);
    else if (arguments.size() > wanted)
        parsed.wrong = QStringLiteral("unexpected argument '%1'").arg(arguments.at(wanted));
    parsed.option = QString::fromLatin1(option->name);
    if (option->value && arguments.size() > 2)
        parsed.value = arguments.at(2);
    return parsed;
}

QString usageLine() {
    QStringList forms;
    for (const Option& option : options)
        forms << formOf(option);
    return QStringLiteral("Usage: tamberk [%1]\n").arg(forms.join(QLatin1String(" | ")));
}

QString help() {
    QString text =
        usageLine() +
        QStringLiteral(
            "Keeps your screenshots and screen recordings at hand, docked to an edge of\n"
            "the screen. Without an option, starts Tamberk in this X11 session, or shows\n"
            "the one already running.\n\nOptions:\n");
    for (const Option& option : options) {
        const QString form = QLatin1String(option.name) == QLatin1String("--help")
                                 ? QStringLiteral("-h, --help")
                                 : formOf(option);
        text += QStringLiteral("  %1%2\n").arg(form.leftJustified(18), QLatin1String(option.help));
    }
    return text + QStringLiteral(
                      "\nThe options that reach the running Tamberk exit with 1 when none runs.\n"
                      "Settings: ~/.config/tamberk/tamberk.conf, or tamberk-cli settings.\n");
}

int misuse(QTextStream& err, const QString& wrong) {
    err << "tamberk: " << wrong << '\n'
        << usageLine() << "Try 'tamberk --help' for more information.\n";
    return 2;
}

} // namespace CommandLine
