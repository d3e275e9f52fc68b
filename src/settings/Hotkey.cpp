#include "settings/Hotkey.h"

#include "platform/GlobalShortcut.h"
#include "platform/PortalShortcut.h"

QKeySequence HotkeyPreset::sequence() const {
    // Qt names Super "Meta".
    QString portable = keys;
    portable.replace(QLatin1String("Super"), QLatin1String("Meta"));
    return QKeySequence::fromString(portable, QKeySequence::PortableText);
}

const QList<HotkeyPreset>& Hotkey::presets() {
    static const QList<HotkeyPreset> table = {
        {QStringLiteral("None"), QString()},
        {QStringLiteral("Ctrl+Alt+S"), QStringLiteral("Ctrl+Alt+S")},
        {QStringLiteral("Super+Alt+R"), QStringLiteral("Super+Alt+R")},
        {QStringLiteral("Ctrl+Alt+R"), QStringLiteral("Ctrl+Alt+R")},
        {QStringLiteral("Shift+Super+6"), QStringLiteral("Shift+Super+6")},
        {QStringLiteral("Ctrl+Alt+Space"), QStringLiteral("Ctrl+Alt+Space")},
    };
    return table;
}

const HotkeyPreset& Hotkey::preset(qint64 index) {
    const QList<HotkeyPreset>& table = presets();
    return index >= 0 && index < table.size() ? table[index] : table[1];
}

Hotkey::Hotkey(GlobalShortcut* shortcut, QObject* parent)
    : QObject(parent)
    , m_shortcut(shortcut) {
    if (m_shortcut) {
        connect(m_shortcut, &GlobalShortcut::activated, this, &Hotkey::activated);
        connect(m_shortcut, &GlobalShortcut::statusChanged, this, &Hotkey::stateChanged);
        if (auto* portal = qobject_cast<PortalShortcut*>(m_shortcut))
            connect(portal, &PortalShortcut::descriptionChanged, this, &Hotkey::stateChanged);
    }
}

void Hotkey::registerPreset(qint64 index) {
    m_index = index >= 0 && index < presets().size() ? index : 1;
    if (!m_shortcut)
        return;
    m_shortcut->ungrab();
    const HotkeyPreset& p = presets()[m_index];
    if (!p.keys.isEmpty())
        m_shortcut->grab(p.keys);
}

bool Hotkey::inUse() const {
    return m_shortcut && m_shortcut->status() == GlobalShortcut::Status::conflict;
}

QString Hotkey::backend() const {
    if (!m_shortcut || m_shortcut->keys().isEmpty())
        return QStringLiteral("none");
    const auto* portal = qobject_cast<const PortalShortcut*>(m_shortcut.data());
    return portal && portal->backend() == PortalShortcut::Backend::portal ? QStringLiteral("portal")
                                                                          : QStringLiteral("x11");
}

QString Hotkey::assignedTrigger() const {
    const auto* portal = qobject_cast<const PortalShortcut*>(m_shortcut.data());
    return portal ? portal->triggerDescription() : QString();
}

bool Hotkey::canConfigure() const {
    const auto* portal = qobject_cast<const PortalShortcut*>(m_shortcut.data());
    return portal && portal->canConfigure();
}

void Hotkey::configure() {
    if (auto* portal = qobject_cast<PortalShortcut*>(m_shortcut.data()))
        portal->configure(qEnvironmentVariable("XDG_ACTIVATION_TOKEN"));
}
