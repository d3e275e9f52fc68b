// The Tamberk application. The panel, tab and status item are not built yet:
// until they are, this says so and points at the command-line tool.
#include <QApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tamberk"));
    QTextStream(stderr) << "Tamberk: the panel is not built yet; run `tamberk-cli watch` to follow "
                           "the screenshot folder from a terminal.\n";
    return 0;
}
