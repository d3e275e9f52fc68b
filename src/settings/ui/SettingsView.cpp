#include "settings/ui/SettingsView.h"

#include "settings/Hotkey.h"
#include "settings/LoginItem.h"
#include "settings/Prefs.h"
#include "settings/SystemCapture.h"
#include "settings/ui/LanguagePicker.h"
#include "settings/ui/Switch.h"
#include "shelf/Theme.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace {

const QColor orange(0xff, 0x9f, 0x0a);
const QColor green(0x30, 0xd1, 0x58);

QColor secondary(const QWidget* widget) {
    return Theme::withAlpha(widget->palette().color(QPalette::WindowText), 0.6);
}

QLabel* text(const QString& content, const QFont& font, QWidget* parent, double alpha = 1.0) {
    auto* label = new QLabel(content, parent);
    label->setFont(font);
    if (alpha < 1.0) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText,
                         Theme::withAlpha(palette.color(QPalette::WindowText), alpha));
        label->setPalette(palette);
    }
    return label;
}

QLabel* caption(const QString& content, QWidget* parent) {
    QLabel* label = text(content, Theme::font(11.5), parent, 0.6);
    label->setWordWrap(true);
    return label;
}

// The rounded box that holds the rows of one section.
class Group : public QWidget {
public:
    explicit Group(QWidget* parent)
        : QWidget(parent) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(14, 4, 14, 4);
        layout->setSpacing(0);
    }
    // Adds a row; rows after the first get a hairline above them.
    QHBoxLayout* addRow(QWidget** rowOut = nullptr) {
        auto* row = new QWidget(this);
        row->setMinimumHeight(38);
        auto* h = new QHBoxLayout(row);
        h->setContentsMargins(0, 6, 0, 6);
        h->setSpacing(8);
        static_cast<QVBoxLayout*>(layout())->addWidget(row);
        if (rowOut)
            *rowOut = row;
        return h;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Theme::withAlpha(Qt::white, 0.08), 1));
        p.setBrush(palette().color(QPalette::AlternateBase));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 9, 9);
        // Hairlines between visible rows.
        p.setPen(QPen(Theme::withAlpha(Qt::white, 0.07), 1));
        bool first = true;
        for (QObject* child : children()) {
            auto* row = qobject_cast<QWidget*>(child);
            if (!row || !row->isVisibleTo(this))
                continue;
            if (!first)
                p.drawLine(QPointF(14, row->y() + 0.5), QPointF(width() - 14, row->y() + 0.5));
            first = false;
        }
    }
};

Group* addSection(QVBoxLayout* form, QWidget* parent, const QString& header) {
    QLabel* title = text(header, Theme::font(12.5, QFont::DemiBold), parent, 0.6);
    title->setContentsMargins(6, 14, 0, 4);
    form->addWidget(title);
    auto* group = new Group(parent);
    form->addWidget(group);
    return group;
}

QPushButton* smallButton(const QString& title, QWidget* parent) {
    auto* button = new QPushButton(title, parent);
    button->setFont(Theme::font(11.5));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QString tilde(const QString& path) {
    const QString home = QDir::homePath();
    if (path == home)
        return QStringLiteral("~");
    if (path.startsWith(home + QLatin1Char('/')))
        return QLatin1Char('~') + path.mid(home.size());
    return path;
}

// A folder as people read it: below the home folder, its parts joined by
// " › " ("Pictures › Screenshots"); elsewhere the path with "~".
QString pretty(const QString& path) {
    const QString home = QDir::homePath();
    if (!path.startsWith(home + QLatin1Char('/')))
        return tilde(path);
    return path.mid(home.size() + 1)
        .split(QLatin1Char('/'), Qt::SkipEmptyParts)
        .join(QStringLiteral(" \u203a "));
}

// A path with links resolved; the cleaned path itself when it does not exist.
QString resolved(const QString& path) {
    if (path.isEmpty())
        return {};
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

} // namespace

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

QWidget* SettingsView::buildHeader() {
    auto* header = new QWidget(this);
    auto* h = new QHBoxLayout(header);
    h->setContentsMargins(28, 28, 28, 8);
    h->setSpacing(14);
    auto* icon = new QLabel(header);
    QImage glyph = Theme::filmGlyph(52, Theme::accent(), devicePixelRatioF());
    icon->setPixmap(QPixmap::fromImage(glyph));
    icon->setFixedSize(52, 52);
    h->addWidget(icon);
    auto* words = new QVBoxLayout;
    words->setSpacing(3);
    words->addStretch(1);
    words->addWidget(text(QStringLiteral("Tamberk"), Theme::font(20, QFont::DemiBold), header));
    words->addWidget(
        text(QStringLiteral("A film strip for your screenshots."), Theme::font(12), header, 0.6));
    words->addStretch(1);
    h->addLayout(words);
    h->addStretch(1);
    return header;
}

QWidget* SettingsView::buildFooter() {
    auto* footer = new QWidget(this);
    auto* h = new QHBoxLayout(footer);
    h->setContentsMargins(28, 10, 28, 12);
    h->setSpacing(6);
    const Theme::Caps caps =
        Theme::caps(QStringLiteral("Tamberk"), 9.5, QFont::DemiBold, secondary(this), 2);
    h->addWidget(text(caps.text, caps.font, footer, 0.6));
    h->addWidget(text(QStringLiteral("·"), Theme::font(11), footer, 0.35));
    h->addWidget(text(QStringLiteral("Tamberk %1").arg(QStringLiteral(TAMBERK_VERSION)),
                      Theme::font(11), footer, 0.6));
    h->addStretch(1);
    return footer;
}

QAbstractButton* SettingsView::addSwitch(QWidget* group, const QString& title, const char* key) {
    QWidget* rowWidget = nullptr;
    QHBoxLayout* row = static_cast<Group*>(group)->addRow(&rowWidget);
    QLabel* label = text(title, Theme::font(13), rowWidget);
    label->setWordWrap(true);
    row->addWidget(label, 1);
    auto* toggle = new Switch(rowWidget);
    toggle->setLabel(label);
    row->addWidget(toggle, 0, Qt::AlignVCenter);
    if (key) {
        toggle->setObjectName(QString::fromLatin1(key));
        m_switches.append({toggle, key});
        connect(toggle, &QAbstractButton::toggled, this,
                [key](bool on) { Prefs::shared().set(key, on); });
    }
    return toggle;
}

QComboBox* SettingsView::addPicker(QWidget* group, const QString& title, const char* key,
                                   const QList<std::pair<QString, QVariant>>& entries) {
    QWidget* rowWidget = nullptr;
    QHBoxLayout* row = static_cast<Group*>(group)->addRow(&rowWidget);
    row->addWidget(text(title, Theme::font(13), rowWidget), 1);
    auto* picker = new QComboBox(rowWidget);
    picker->setObjectName(QString::fromLatin1(key));
    picker->setFont(Theme::font(12.5));
    for (const auto& [label, value] : entries)
        picker->addItem(label, value);
    row->addWidget(picker);
    m_pickers.append({picker, key});
    connect(picker, &QComboBox::activated, this,
            [picker, key](int index) { Prefs::shared().set(key, picker->itemData(index)); });
    return picker;
}

QButtonGroup* SettingsView::addSegments(QWidget* group, const QString& title,
                                        const QStringList& labels, QList<QPushButton*>* buttons) {
    QWidget* rowWidget = nullptr;
    QHBoxLayout* row = static_cast<Group*>(group)->addRow(&rowWidget);
    row->addWidget(text(title, Theme::font(13), rowWidget), 1);
    auto* segments = new QButtonGroup(rowWidget);
    auto* strip = new QHBoxLayout;
    strip->setSpacing(0);
    for (int i = 0; i < labels.size(); ++i) {
        auto* button = smallButton(labels[i], rowWidget);
        button->setCheckable(true);
        button->setMinimumWidth(54);
        // Fusion draws a checked push button barely darker; a segment must
        // show clearly which one is chosen.
        const QPalette palette = button->palette();
        button->setStyleSheet(
            QStringLiteral("QPushButton:checked { background: %1; color: %2; border: 1px solid %1;"
                           " border-radius: 3px; padding: 3px 8px; }"
                           "QPushButton:checked:disabled { background: %3; color: %4;"
                           " border-color: %3; }")
                .arg(palette.color(QPalette::Highlight).name(),
                     palette.color(QPalette::HighlightedText).name(),
                     palette.color(QPalette::Disabled, QPalette::Highlight).name(),
                     palette.color(QPalette::Disabled, QPalette::ButtonText).name()));
        segments->addButton(button, i);
        strip->addWidget(button);
        if (buttons)
            buttons->append(button);
    }
    row->addLayout(strip);
    return segments;
}

void SettingsView::buildWhere(QVBoxLayout* form) {
    Group* group = addSection(form, this, QStringLiteral("Where"));

    QWidget* rowWidget = nullptr;
    QHBoxLayout* row = group->addRow(&rowWidget);
    row->addWidget(text(QStringLiteral("Screenshot folder"), Theme::font(13), rowWidget));
    auto* folderIcon = new QLabel(rowWidget);
    folderIcon->setPixmap(Theme::symbolPixmap(u"folder.fill", 13, secondary(this), QFont::Normal,
                                              devicePixelRatioF()));
    row->addWidget(folderIcon);
    m_folderPath = text(QString(), Theme::monoFont(12), rowWidget, 0.85);
    m_folderPath->setObjectName(QStringLiteral("folderPath"));
    m_folderPath->setMinimumWidth(60);
    m_folderPath->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(m_folderPath, 1);
    QPushButton* chooseButton = smallButton(QStringLiteral("Choose…"), rowWidget);
    connect(chooseButton, &QPushButton::clicked, this, &SettingsView::choose);
    row->addWidget(chooseButton);

    m_syncSwitch = addSwitch(group, QString(), Key::syncSystem);
    m_syncTitle = static_cast<QLabel*>(
        static_cast<QLabel*>(m_syncSwitch->parentWidget()->findChild<QLabel*>()));

    QHBoxLayout* status = group->addRow(&m_statusRow);
    status->setSpacing(6);
    m_statusIcon = new QLabel(m_statusRow);
    status->addWidget(m_statusIcon);
    m_statusText = caption(QString(), m_statusRow);
    m_statusText->setObjectName(QStringLiteral("statusText"));
    status->addWidget(m_statusText, 1);
    m_match = smallButton(QStringLiteral("Match"), m_statusRow);
    m_follow = smallButton(QString(), m_statusRow);
    m_open = smallButton(QString(), m_statusRow);
    for (QPushButton* button : {m_match, m_follow, m_open})
        status->addWidget(button);
    connect(m_match, &QPushButton::clicked, this, &SettingsView::match);
    connect(m_follow, &QPushButton::clicked, this,
            [] { Prefs::shared().set(Key::folder, QString()); });
    connect(m_open, &QPushButton::clicked, this, [this] { m_tool->open(m_info.openCommand); });
    m_statusRow->hide();

    QHBoxLayout* desktop = group->addRow(&m_desktopRow);
    m_desktopRow->setObjectName(QStringLiteral("desktopRow"));
    desktop->addWidget(
        caption(QStringLiteral("A dedicated folder keeps your Desktop clean."), m_desktopRow), 1);
    QPushButton* dedicated =
        smallButton(QStringLiteral("Use Pictures › Screenshots"), m_desktopRow);
    connect(dedicated, &QPushButton::clicked, this, &SettingsView::useDedicated);
    desktop->addWidget(dedicated);
}

void SettingsView::buildLibrary(QVBoxLayout* form) {
    Group* group = addSection(form, this, QStringLiteral("Library"));
    addPicker(group, QStringLiteral("Session starts"), Key::session,
              {{QStringLiteral("At startup"), QStringLiteral("boot")},
               {QStringLiteral("At midnight"), QStringLiteral("today")},
               {QStringLiteral("Last 24 hours"), QStringLiteral("day")},
               {QStringLiteral("When Tamberk opens"), QStringLiteral("launch")}});
    addSwitch(group, QStringLiteral("Only show screenshots & screen recordings"), Key::onlyShots);
    addSwitch(group, QStringLiteral("Include folders in “All”"), Key::includeSub);
    addSwitch(group, QStringLiteral("Search the text inside frames"), Key::ocr);
    QWidget* languages = nullptr;
    QHBoxLayout* languageRow = group->addRow(&languages);
    languageRow->addWidget(text(QStringLiteral("Text languages"), Theme::font(13), languages), 1);
    languageRow->addWidget(new LanguagePicker(languages));
    QLabel* footer = caption(QStringLiteral("Text recognition runs on-device and stays on this "
                                            "computer. Folders are the subfolders of your "
                                            "screenshot folder."),
                             this);
    footer->setContentsMargins(6, 6, 6, 0);
    form->addWidget(footer);
}

void SettingsView::buildPanel(QVBoxLayout* form) {
    Group* group = addSection(form, this, QStringLiteral("Tamberk"));
    m_dock = addSegments(group, QStringLiteral("Dock"),
                         {QStringLiteral("Left"), QStringLiteral("Right")}, nullptr);
    m_dock->button(0)->setObjectName(QStringLiteral("dockLeft"));
    m_dock->button(1)->setObjectName(QStringLiteral("dockRight"));
    connect(m_dock, &QButtonGroup::idClicked, this, [](int id) {
        Prefs::shared().set(Key::side, id == 0 ? QStringLiteral("left") : QStringLiteral("right"));
    });
    m_showTab = addSwitch(group, QStringLiteral("Show the edge tab"), Key::showTab);
    m_reveal = addSwitch(group, QStringLiteral("Open when hovering the tab"), Key::reveal);
    addSwitch(group, QStringLiteral("Peek when a new frame lands"), Key::peek);
    addSwitch(group, QStringLiteral("Frame numbers & times"), Key::captions);
    addPicker(group, QStringLiteral("Double-click"), Key::doubleClick,
              {{QStringLiteral("Opens in default app"), QStringLiteral("open")},
               {QStringLiteral("Preview"), QStringLiteral("quicklook")}});

    QList<std::pair<QString, QVariant>> presets;
    for (qsizetype i = 0; i < Hotkey::presets().size(); ++i)
        presets.append({Hotkey::presets()[i].label, qint64(i)});
    QComboBox* shortcut = addPicker(group, QStringLiteral("Shortcut"), Key::hotkey, presets);
    auto* row = static_cast<QHBoxLayout*>(shortcut->parentWidget()->layout());
    m_conflict = text(QStringLiteral("In use by another program"), Theme::font(11.5),
                      shortcut->parentWidget());
    m_conflict->setObjectName(QStringLiteral("conflict"));
    QPalette palette = m_conflict->palette();
    palette.setColor(QPalette::WindowText, orange);
    m_conflict->setPalette(palette);
    row->insertWidget(1, m_conflict);
    m_conflict->hide();

    QWidget* hintRow = nullptr;
    group->addRow(&hintRow)->addWidget(
        m_waylandHint = caption(QStringLiteral("On Wayland a shortcut only works while a Tamberk "
                                               "window has focus: bind “tamberk --toggle” to a key "
                                               "in your desktop's keyboard settings instead."),
                                hintRow));
    m_waylandHint->setObjectName(QStringLiteral("waylandHint"));
    hintRow->setVisible(m_wayland);

    // No desktop lets an application keep its windows out of other programs'
    // captures, so the setting stays, shown but not switchable.
    QAbstractButton* hide = addSwitch(
        group, QStringLiteral("Hide Tamberk from your own screenshots"), Key::hideFromCapture);
    hide->setEnabled(false);
    QWidget* hideRow = hide->parentWidget();
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    auto* hideLayout = static_cast<QHBoxLayout*>(hideRow->layout());
    QLayoutItem* title = hideLayout->takeAt(0);
    column->addWidget(title->widget());
    delete title;
    QLabel* note = caption(
        QStringLiteral("Not available on this desktop: the panel is hidden whenever it is closed"),
        hideRow);
    note->setObjectName(QStringLiteral("hideFromCaptureNote"));
    column->addWidget(note);
    hideLayout->insertLayout(0, column, 1);
}

void SettingsView::buildCapture(QVBoxLayout* form) {
    Group* group = addSection(form, this, QStringLiteral("Capture"));
    m_format = addSegments(group, QStringLiteral("Format"),
                           {QStringLiteral("PNG"), QStringLiteral("JPG"), QStringLiteral("HEIC"),
                            QStringLiteral("TIFF")},
                           &m_formatButtons);
    static const QStringList types{QStringLiteral("png"), QStringLiteral("jpg"),
                                   QStringLiteral("heic"), QStringLiteral("tiff")};
    for (int i = 0; i < types.size(); ++i)
        m_formatButtons[i]->setObjectName(QStringLiteral("format-") + types[i]);
    connect(m_format, &QButtonGroup::idClicked, this, [this](int id) {
        m_info.type = types.value(id);
        m_tool->setType(m_info.type);
    });
    m_thumbnail = addSwitch(group, QStringLiteral("Notification after capture"), nullptr);
    m_thumbnail->setObjectName(QStringLiteral("sysThumb"));
    connect(m_thumbnail, &QAbstractButton::toggled, this, [this](bool on) {
        m_info.showThumbnail = on;
        m_tool->setShowThumbnail(on);
    });
    m_shadow = addSwitch(group, QStringLiteral("Window shadow on window captures"), nullptr);
    m_shadow->setObjectName(QStringLiteral("sysShadow"));
    connect(m_shadow, &QAbstractButton::toggled, this, [this](bool on) {
        m_info.disableShadow = !on;
        m_tool->setDisableShadow(!on);
    });
    addSwitch(group, QStringLiteral("Copy every new screenshot to the clipboard"), Key::autoCopy);
    m_captureFooter = caption(QString(), this);
    m_captureFooter->setContentsMargins(6, 6, 6, 0);
    form->addWidget(m_captureFooter);
}

void SettingsView::buildGeneral(QVBoxLayout* form) {
    Group* group = addSection(form, this, QStringLiteral("General"));
    addSwitch(group, QStringLiteral("Ask before deleting screenshots"), Key::confirmDelete);
    m_login = addSwitch(group, QStringLiteral("Launch at login"), nullptr);
    m_login->setObjectName(QStringLiteral("login"));
    m_login->setChecked(LoginItem::isEnabled());
    // A failure is logged by LoginItem; the switch keeps what the user chose.
    connect(m_login, &QAbstractButton::toggled, this, [](bool on) {
        if (on != LoginItem::isEnabled())
            LoginItem::set(on);
    });
}

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
}
