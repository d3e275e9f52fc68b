#include "app/AppDelegate.h"

#include "app/DelayedWork.h"
#include "platform/Log.h"
#include "platform/PortalShortcut.h"
#include "settings/CaptureTool.h"
#include "settings/Hotkey.h"
#include "settings/Prefs.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

namespace {

AppDelegate* g_shared = nullptr;

// Names made only of numeric characters ("0042", also other scripts' digits)
// are the first generation's cache entries; anything with another character
// belongs to someone else.
bool isNumericName(const QString& name) {
    if (name.isEmpty())
        return false;
    for (const char32_t c : name.toUcs4()) {
        if (!QChar::isNumber(c))
            return false;
    }
    return true;
}

int removeNumericEntries(const QString& folder) {
    int removed = 0;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                             QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (!isNumericName(entry.fileName()))
            continue;
        // A link is removed itself, never what it points to.
        const bool ok = entry.isDir() && !entry.isSymLink()
                            ? QDir(entry.filePath()).removeRecursively()
                            : QFile::remove(entry.filePath());
        if (ok)
            ++removed;
    }
    return removed;
}

// Two names of one folder: links resolved, paths cleaned. A folder that does
// not exist is never the same as anything.
bool samePlace(const QString& a, const QString& b) {
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

} // namespace

QString AppDelegate::version() {
    return QStringLiteral(TAMBERK_VERSION);
}

QString AppDelegate::cachesPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/tamberk");
}

QFuture<int> AppDelegate::migrateFromV1() {
    Prefs& prefs = Prefs::shared();
    if (prefs.boolean(Key::launched))
        return QtFuture::makeReadyFuture(0);
    if (prefs.boolean(Key::leftSide))
        prefs.set(Key::side, QStringLiteral("left"));
    return QtConcurrent::run(removeNumericEntries, cachesPath());
}

AppDelegate::AppDelegate(Services services, QObject* parent)
    : QObject(parent)
    , m_s(std::move(services)) {
    if (!m_s.work)
        m_ownWork = std::make_unique<DelayedWork>();
    m_work = m_s.work ? m_s.work : m_ownWork.get();
    if (!m_s.quit)
        m_s.quit = [] { QCoreApplication::quit(); };
    if (!m_s.setClipboard)
        m_s.setClipboard = [](const QString& text) { QGuiApplication::clipboard()->setText(text); };
}

AppDelegate::~AppDelegate() {
    if (g_shared == this)
        g_shared = nullptr;
    // The panel goes before the work table whose tasks may still name it.
    m_work->cancel(prefsWork);
    m_work->cancel(presentWork);
    m_work->cancel(launchCheckWork);
    m_panel.reset();
}

AppDelegate* AppDelegate::shared() {
    return g_shared;
}

QString AppDelegate::desktop() {
    static const QString path = QDir::homePath() + QStringLiteral("/Desktop/");
    return path;
}

void AppDelegate::launch() {
    if (m_launched)
        return;
    m_launched = true;
    g_shared = this;
    Prefs& prefs = Prefs::shared();
    Prefs::launchDate();
    migrateFromV1();
    if (m_s.makePanel)
        m_panel = m_s.makePanel();
    if (m_s.makeTrayItem)
        m_s.makeTrayItem();
    QPointer<AppDelegate> self(this);
    m_s.lib->observe([self] {
        if (self)
            self->libraryChanged();
    });
    m_s.lib->reload();
    if (m_s.hotkey) {
        connect(m_s.hotkey, &Hotkey::activated, this, &AppDelegate::togglePanel);
        m_s.hotkey->registerPreset(prefs.integer(Key::hotkey));
    }
    m_snap = PrefsSnapshot();
    connect(&prefs, &Prefs::changed, this, &AppDelegate::defaultsChanged);

    if (!m_panel)
        return;
    if (!prefs.boolean(Key::launched)) {
        prefs.set(Key::launched, true);
        // The panel introduces itself once and slides away unless the
        // pointer is on it.
        m_work->schedule(presentWork, firstShowDelay, [this] {
            m_panel->expand(false, 0);
            m_panel->scheduleCollapse(firstHideDelay);
        });
    } else if (prefs.boolean(Key::pinned)) {
        m_work->schedule(presentWork, pinnedShowDelay, [this] { m_panel->expand(false, 0); });
    }
}

void AppDelegate::defaultsChanged() {
    m_work->schedule(prefsWork, prefsDelay, [this] { applyPrefs(); });
}

void AppDelegate::applyPrefs() {
    const PrefsSnapshot fresh;
    const PrefsSnapshot old = m_snap;
    if (m_panel)
        m_panel->followThumb(Prefs::shared().number(Key::thumb));
    if (fresh == old)
        return;
    m_snap = fresh;
    AppLibrary& lib = *m_s.lib;
    AppPanel* panel = m_panel.get();

    if (fresh.folder != old.folder) {
        lib.setRoot(fresh.folder);
        if (panel)
            panel->selectSession();
        syncSystemLocation();
    } else if (fresh.sync != old.sync) {
        syncSystemLocation();
    }
    if ((fresh.side != old.side || fresh.screen != old.screen) && panel)
        panel->reposition();
    if (fresh.hotkey != old.hotkey && m_s.hotkey)
        m_s.hotkey->registerPreset(fresh.hotkey);
    // While the panel is open the tab's visibility is decided again when it closes.
    if (fresh.showTab != old.showTab && panel && !panel->expanded())
        panel->setTabShown(fresh.showTab);
    if (fresh.onlyShots != old.onlyShots)
        lib.reload();
    if (panel && (fresh.captions != old.captions || fresh.includeSub != old.includeSub ||
                  fresh.session != old.session || fresh.sessionReset != old.sessionReset))
        panel->reloadGrid(panel->expanded());
    // Turning recognition off needs nothing here: the worker reads the key itself.
    if (fresh.ocr != old.ocr && fresh.ocr)
        lib.recognizeAll();
    if (fresh.pinned != old.pinned && panel) {
        const bool pinned = Prefs::shared().boolean(Key::pinned);
        panel->updatePin(pinned);
        if (pinned)
            panel->expand(false, 0);
        else if (!panel->mouseInside())
            panel->scheduleCollapse(unpinnedCollapse);
    }
    if (fresh.hide != old.hide && panel)
        panel->applyCaptureVisibility();
}

void AppDelegate::libraryChanged() {
    if (m_launchChecked || !m_s.lib->scanned())
        return;
    m_launchChecked = true;
    m_work->schedule(launchCheckWork, launchCheckDelay, [this] { syncSystemLocation(); });
}

void AppDelegate::syncSystemLocation() {
    AppLibrary& lib = *m_s.lib;
    const QString root = lib.root();
    if (!Prefs::shared().boolean(Key::syncSystem) || !m_s.tool) {
        lib.watchStrays();
        return;
    }
    QPointer<AppDelegate> self(this);
    m_s.tool->read(this, [self, root](const CaptureInfo& info) {
        if (!self)
            return;
        // A tool whose folder cannot be written is followed by pulling its
        // screenshots in, which is the stray watcher's work.
        if (!info.writable || samePlace(info.location, root)) {
            self->m_s.lib->watchStrays();
            return;
        }
        const QString tool = info.toolName;
        self->m_s.tool->setLocation(root, [self, root, tool] {
            if (!self)
                return;
            self->m_s.lib->watchStrays();
            self->m_s.tool->readLocation(self, [self, root, tool](const QString& location) {
                const bool moved = samePlace(location, root);
                if (!moved)
                    logFailure("screenshot location change",
                               QStringLiteral("%1 still saves elsewhere than %2").arg(tool, root));
                if (!self || !self->m_panel || !self->m_panel->expanded())
                    return;
                self->m_panel->toast(
                    moved ? QStringLiteral("%1 now saves screenshots to \u201c%2\u201d")
                                .arg(tool, displayName(root))
                          : QStringLiteral("Couldn't change %1's screenshot location").arg(tool));
            });
        });
    });
}

void AppDelegate::togglePanel(quint32 timestamp) {
    if (!m_panel)
        return;
    if (!m_panel->expanded())
        m_panel->expand(true, timestamp);
    else
        m_panel->collapse(true);
}

void AppDelegate::toggle(const QString& token) {
    togglePanel(timestampFromToken(token));
}

void AppDelegate::show(const QString& token) {
    if (m_panel)
        m_panel->expand(true, timestampFromToken(token));
}

void AppDelegate::hide() {
    if (m_panel && m_panel->expanded())
        m_panel->collapse(true);
}

void AppDelegate::quit() {
    m_s.quit();
}

QVariantMap AppDelegate::state() const {
    QVariantMap state =
        m_panel ? m_panel->state()
                : QVariantMap{{QStringLiteral("expanded"), false},
                              {QStringLiteral("pinned"), Prefs::shared().boolean(Key::pinned)}};
    state.insert(QStringLiteral("textPending"), qlonglong(m_s.lib->textPending()));
    if (m_s.hotkey)
        state.insert(QStringLiteral("shortcut"), m_s.hotkey->backend());
    return state;
}

void AppDelegate::copyText(std::function<void(bool copied)> done) {
    QPointer<AppDelegate> self(this);
    m_s.lib->newestText([self, done = std::move(done)](std::optional<QString> text) {
        if (!self || !text) {
            done(false);
            return;
        }
        self->m_s.setClipboard(*text);
        if (self->m_panel && self->m_panel->expanded())
            self->m_panel->toast(QStringLiteral("Text copied"));
        done(true);
    });
}

quint32 AppDelegate::timestampFromToken(const QString& token) {
    return PortalShortcut::tokenTime(token);
}

QString AppDelegate::displayName(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    if (clean == QDir::cleanPath(QDir::homePath()))
        return QStringLiteral("Home");
    const QString name = QFileInfo(clean).fileName();
    return name.isEmpty() ? clean : name;
}
