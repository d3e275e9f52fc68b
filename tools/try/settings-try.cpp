// Opens the settings window in a real session, for trying it by hand under
// Xvfb: `settings-try` shows it with the desktop's own screenshot tool
// until the program is stopped.
#include "settings/ui/SettingsWindow.h"
#include "shelf/Theme.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Theme::applyApplicationStyle(app);
    SettingsWindow::show();
    // Closing only hides the window, as in the app; end the program with a signal.
    return app.exec();
}
