#include "settings/ui/SettingsView.h"

#include "settings/Hotkey.h"
#include "settings/LoginItem.h"
#include "settings/Prefs.h"
#include "settings/SystemCapture.h"
#include "settings/ui/SettingsForm.h"
#include "shelf/Theme.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QStandardPaths>
#include <QVBoxLayout>

using namespace settingsform;

SettingsView::SettingsView(CaptureTool* tool, QWidget* parent)
    : QWidget(parent)
    , m_tool(tool)
    , m_desktop(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation))
    , m_wayland(qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland")) {
    setObjectName(QStringLiteral("settings"));
    setAutoFillBackground(true);
    m_info.toolName = QStringLiteral("the screenshot tool");
    // A settings window closes from the keyboard like any other.
    for (const QKeySequence& keys :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(buildHeader());

    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* body = new QWidget(scroll);
    auto* form = new QVBoxLayout(body);
    form->setContentsMargins(24, 0, 24, 12);
    form->setSpacing(0);
    buildWhere(form);
    buildLibrary(form);
    buildPanel(form);
    buildCapture(form);
    buildGeneral(form);
    form->addStretch(1);
    scroll->setWidget(body);
    outer->addWidget(scroll, 1);
    outer->addWidget(buildFooter());

    m_pollTimer.setInterval(pollInterval);
    connect(&m_pollTimer, &QTimer::timeout, this, &SettingsView::poll);
    m_pollTimer.start();
    m_applyTimer.setSingleShot(true);
    m_applyTimer.setInterval(applyRefresh);
    connect(&m_applyTimer, &QTimer::timeout, this, &SettingsView::poll);

    connect(&Prefs::shared(), &Prefs::changed, this, &SettingsView::refresh);
    m_tool->read(this, [this](CaptureInfo info) { received(info); });
    refresh();
}

SettingsView::~SettingsView() = default;
void SettingsView::setHotkey(Hotkey* hotkey) {
    if (m_hotkey)
        disconnect(m_hotkey, nullptr, this, nullptr);
    m_hotkey = hotkey;
    if (hotkey)
        connect(hotkey, &Hotkey::stateChanged, this, &SettingsView::refreshHotkey);
    refreshHotkey();
}

void SettingsView::setDesktopPath(const QString& path) {
    m_desktop = path;
    refreshStatus();
}

QString SettingsView::effectivePath() const {
    const QString folder = SystemCapture::pathFromSetting(Prefs::shared().string(Key::folder));
    return folder.isEmpty() ? m_info.location : folder;
}

bool SettingsView::matches() const {
    const QString location = resolved(m_info.location);
    return !location.isEmpty() && location == resolved(effectivePath());
}

bool SettingsView::onDesktop() const {
    const QString path = resolved(effectivePath());
    return !path.isEmpty() && path == resolved(m_desktop);
}

void SettingsView::poll() {
    // A read still under way answers this tick too.
    if (m_polling)
        return;
    m_polling = true;
    m_tool->readLocation(this, [this](QString location) {
        m_polling = false;
        locationRead(location);
    });
}

void SettingsView::locationRead(const QString& location) {
    if (location == m_info.location)
        return;
    m_info.location = location;
    refreshStatus();
}

void SettingsView::received(const CaptureInfo& info) {
    m_info = info;
    m_haveInfo = true;
    refreshTool();
    refreshStatus();
}

void SettingsView::apply(const QString& path) {
    Prefs::shared().set(Key::folder, path);
    m_applyTimer.start();
}

void SettingsView::useDedicated() {
    const QString folder = SystemCapture::defaultFolder();
    QDir().mkpath(folder); // an existing folder is fine, and so is a failure
    apply(folder);
}

std::unique_ptr<QFileDialog> SettingsView::makeChooser() {
    auto dialog = std::make_unique<QFileDialog>(this, QStringLiteral("Choose where your "
                                                                     "screenshots are saved"));
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Use Folder"));
    dialog->setDirectory(effectivePath());
    return dialog;
}

void SettingsView::choose() {
    std::unique_ptr<QFileDialog> dialog = makeChooser();
    if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
        apply(dialog->selectedFiles().first());
}

void SettingsView::match() {
    QPointer<SettingsView> self(this);
    m_tool->setLocation(effectivePath(), [self] {
        if (!self)
            return;
        self->m_tool->readLocation(self, [self](QString location) {
            self->locationRead(location);
            if (self->m_onMatched)
                self->m_onMatched();
        });
    });
}

void SettingsView::showEvent(QShowEvent* event) {
    // The autostart entry may have been switched from the tray menu meanwhile.
    const QSignalBlocker block(m_login);
    m_login->setChecked(LoginItem::isEnabled());
    QWidget::showEvent(event);
}

void SettingsView::refresh() {
    Prefs& prefs = Prefs::shared();
    fillScreens();
    for (const auto& [toggle, key] : m_switches) {
        const QSignalBlocker block(toggle);
        toggle->setChecked(prefs.boolean(key));
    }
    for (const auto& [picker, key] : m_pickers) {
        const QSignalBlocker block(picker);
        int index = picker->findData(prefs.value(key));
        if (index < 0 && key == std::string_view(Key::hotkey))
            index = 1; // the preset table falls back to its first shortcut
        picker->setCurrentIndex(std::max(index, 0));
    }
    m_dock->button(prefs.side() == DockSide::left ? 0 : 1)->setChecked(true);
    // Greyed, but keeping its value, while there is no tab to hover.
    m_reveal->setEnabled(m_showTab->isChecked());
    refreshStatus();
}

void SettingsView::refreshStatus() {
    const QString path = effectivePath();
    m_folderPath->setText(tilde(path));
    m_folderPath->setToolTip(path);
    m_desktopRow->setVisible(onDesktop());
    if (!m_haveInfo)
        return;
    m_statusRow->show();
    const bool same = matches();
    const QString tool = m_info.toolName;
    // Without a recognised tool nothing is known to save here: no green check.
    const QColor mark = !m_info.known ? palette().color(QPalette::Disabled, QPalette::WindowText)
                        : same        ? green
                                      : orange;
    m_statusIcon->setPixmap(
        Theme::symbolPixmap(same ? u"checkmark.circle.fill" : u"exclamationmark.triangle.fill", 13,
                            mark, QFont::Normal, devicePixelRatioF()));
    if (!m_info.known)
        m_statusText->setText(
            same ? QStringLiteral("No screenshot tool recognised; new screenshots usually land "
                                  "here")
                 : QStringLiteral("Screenshots usually land in %1").arg(pretty(m_info.location)));
    else
        m_statusText->setText(
            same ? QStringLiteral("%1 saves new screenshots here").arg(tool)
                 : QStringLiteral("%1 saves to %2").arg(tool, tilde(m_info.location)));
    m_match->setVisible(!same);
    // A tool whose folder cannot be written cannot be matched.
    m_match->setEnabled(m_info.writable);
    m_match->setToolTip(m_info.writable ? QString() : unavailable());
    m_follow->setVisible(!same && !Prefs::shared().boolean(Key::syncSystem));
    update();
}

void SettingsView::refreshTool() {
    const QString tool = m_info.toolName;
    m_syncTitle->setText(
        !m_info.known ? QStringLiteral("Bring new screenshots from %1 into this folder")
                            .arg(pretty(m_info.location))
        : m_info.writable
            ? QStringLiteral("Override %1: save new screenshots in this folder").arg(tool)
            : QStringLiteral("Bring %1's screenshots into this folder").arg(tool));
    m_follow->setText(m_info.known ? QStringLiteral("Follow %1").arg(tool)
                                   : QStringLiteral("Use That Folder"));
    m_open->setText(QStringLiteral("Open %1").arg(tool));
    m_open->setToolTip(
        QStringLiteral("Opens %1's own window, where you can see its options.").arg(tool));
    m_open->setVisible(!m_info.openCommand.isEmpty());

    const QString missing = unavailable();
    static const QStringList types{QStringLiteral("png"), QStringLiteral("jpg"),
                                   QStringLiteral("heic"), QStringLiteral("tiff")};
    if (QAbstractButton* current = m_format->button(int(types.indexOf(m_info.type))))
        current->setChecked(true);
    for (QPushButton* button : m_formatButtons) {
        button->setEnabled(m_info.hasType);
        button->setToolTip(m_info.hasType ? QString() : missing);
    }
    const std::pair<QAbstractButton*, bool> options[] = {{m_thumbnail, m_info.hasThumbnail},
                                                         {m_shadow, m_info.hasShadow}};
    for (const auto& [toggle, available] : options) {
        toggle->setEnabled(available);
        toggle->setToolTip(available ? QString() : missing);
    }
    {
        const QSignalBlocker a(m_thumbnail), b(m_shadow);
        m_thumbnail->setChecked(m_info.showThumbnail);
        m_shadow->setChecked(!m_info.disableShadow);
    }
    m_captureFooter->setText(
        m_info.known
            ? QStringLiteral("These are %1's own settings; Tamberk changes them for you.").arg(tool)
            : QStringLiteral("No screenshot tool was recognised on this desktop, so "
                             "there are none of its settings to change here."));
}

QString SettingsView::unavailable() const {
    return m_info.known ? QStringLiteral("Not available in %1").arg(m_info.toolName)
                        : QStringLiteral("No screenshot tool recognised on this desktop");
}

void SettingsView::refreshHotkey() {
    m_conflict->setVisible(m_hotkey && m_hotkey->inUse());
    if (m_hotkey && m_hotkey->backend() == QLatin1String("portal")) {
        // The desktop has the last word on the keys: say what it chose.
        const QString assigned = m_hotkey->assignedTrigger();
        m_waylandHint->setText(
            assigned.isEmpty()
                ? QStringLiteral("Your desktop has not given the shortcut "
                                 "any keys yet.")
                : QStringLiteral("Your desktop opens Tamberk with %1.").arg(assigned));
        m_change->setVisible(m_hotkey->canConfigure());
        m_hintRow->setVisible(true);
        return;
    }
    m_waylandHint->setText(QStringLiteral("On Wayland a shortcut only works while a Tamberk "
                                          "window has focus: bind “tamberk --toggle” to a key "
                                          "in your desktop's keyboard settings instead."));
    m_change->hide();
    m_hintRow->setVisible(m_wayland);
}
