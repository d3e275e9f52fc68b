#include "settings/ui/SettingsView.h"

#include "panel/ScreenChoice.h"
#include "settings/Hotkey.h"
#include "settings/LoginItem.h"
#include "settings/Prefs.h"
#include "settings/SystemCapture.h"
#include "settings/ui/LanguagePicker.h"
#include "settings/ui/SettingsForm.h"
#include "settings/ui/Switch.h"
#include "shelf/Theme.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

// The window's sections and the rows they are made of.

using namespace settingsform;

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
    m_screen = addPicker(group, QStringLiteral("Screen"), Key::screen, {});
    fillScreens();
    connect(qGuiApp, &QGuiApplication::screenAdded, this, &SettingsView::refresh);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &SettingsView::refresh);
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

    QHBoxLayout* hint = group->addRow(&m_hintRow);
    hint->addWidget(m_waylandHint = caption(QString(), m_hintRow), 1);
    m_waylandHint->setObjectName(QStringLiteral("waylandHint"));
    m_change = smallButton(QStringLiteral("Change…"), m_hintRow);
    m_change->setObjectName(QStringLiteral("changeShortcut"));
    hint->addWidget(m_change);
    connect(m_change, &QPushButton::clicked, this, [this] {
        if (m_hotkey)
            m_hotkey->configure();
    });
    refreshHotkey();

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

void SettingsView::fillScreens() {
    const QSignalBlocker block(m_screen);
    m_screen->clear();
    m_screen->addItem(QStringLiteral("Primary screen"), QString::fromLatin1(ScreenChoice::primary));
    m_screen->addItem(QStringLiteral("Screen with the pointer"),
                      QString::fromLatin1(ScreenChoice::pointer));
    for (const QScreen* screen : QGuiApplication::screens())
        m_screen->addItem(screen->name(), ScreenChoice::named(screen->name()));
    // A chosen screen that is unplugged stays chosen: the panel comes back to it.
    const QString stored = Prefs::shared().string(Key::screen);
    if (stored.startsWith(QLatin1String(ScreenChoice::outputPrefix)) &&
        m_screen->findData(stored) < 0)
        m_screen->addItem(QStringLiteral("%1 (not connected)")
                              .arg(stored.mid(int(qstrlen(ScreenChoice::outputPrefix)))),
                          stored);
}
