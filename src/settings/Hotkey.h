#pragma once

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class GlobalShortcut;

/// One row of the shortcut presets.
struct HotkeyPreset {
    /// What the settings window and menus show ("Ctrl+Alt+S"; "None").
    QString label;
    /// The keys in the grab's "Ctrl+Alt+S" form; empty for no shortcut.
    QString keys;

    /// The keys as a Qt key sequence, for menu items (empty for none).
    QKeySequence sequence() const;
};

/// The system-wide shortcut that toggles the panel, chosen from a fixed list
/// of presets by the index in "t2.hotkey". At most one grab exists at a time.
class Hotkey : public QObject {
    Q_OBJECT
public:
    /// The preset table, indexed from 0; row 0 is "None", row 1 the default.
    static const QList<HotkeyPreset>& presets();
    /// The row at `index`; any index outside the table gives row 1.
    static const HotkeyPreset& preset(qint64 index);

    /// `shortcut` does the grabbing (not owned; a fake in tests).
    explicit Hotkey(GlobalShortcut* shortcut, QObject* parent = nullptr);

    /// Releases the current grab, then grabs the preset at `index` (nothing
    /// for "None").
    void registerPreset(qint64 index);
    /// The index last registered (after the fallback).
    qint64 index() const { return m_index; }
    /// Whether the last registration failed because another program holds
    /// the keys: the settings window shows "In use by another program".
    bool inUse() const;
    /// What binds the shortcut: "portal" (the desktop's GlobalShortcuts
    /// portal), "x11" (a key grab) or "none" (no shortcut chosen).
    QString backend() const;
    /// The trigger the desktop assigned through its portal ("Ctrl+Alt+S", or
    /// what the user chose there); empty without the portal or before it answered.
    QString assignedTrigger() const;
    /// Whether the desktop's own dialog for the shortcut can be opened.
    bool canConfigure() const;
    /// Opens the desktop's dialog for the shortcut (see canConfigure()).
    void configure();

signals:
    /// The shortcut was pressed; `xTimestamp` is for the focus request.
    void activated(quint32 xTimestamp);
    /// inUse(), backend(), assignedTrigger() or canConfigure() may have changed.
    void stateChanged();

private:
    QPointer<GlobalShortcut> m_shortcut;
    qint64 m_index = 0;
};
