#include "settings/PrefsSnapshot.h"

PrefsSnapshot::PrefsSnapshot() {
    const Prefs& prefs = Prefs::shared();
    folder = prefs.folderPath();
    side = prefs.side();
    hotkey = prefs.integer(Key::hotkey);
    showTab = prefs.boolean(Key::showTab);
    screen = prefs.string(Key::screen);
    captions = prefs.boolean(Key::captions);
    onlyShots = prefs.boolean(Key::onlyShots);
    includeSub = prefs.boolean(Key::includeSub);
    session = prefs.sessionMode();
    sessionReset = prefs.number(Key::sessionReset);
    ocr = prefs.boolean(Key::ocr);
    pinned = prefs.boolean(Key::pinned);
    hide = prefs.boolean(Key::hideFromCapture);
    sync = prefs.boolean(Key::syncSystem);
}
