#pragma once

#include "settings/CaptureTool.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <memory>

class Hotkey;
class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QFileDialog;
class QLabel;
class QPushButton;
class QVBoxLayout;

/// The settings form: every control writes its key at once, and every
/// change of the store shows at once. The screenshot tool's own options are
/// read once when the form is made; its save location is polled.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    static constexpr int pollInterval = 1500; // ms between reads of the tool's location
    static constexpr int applyRefresh = 1000; // ms after a folder change before re-reading

    /// `tool` is not owned and must outlive the view.
    explicit SettingsView(CaptureTool* tool, QWidget* parent = nullptr);
    ~SettingsView() override;

    /// The shortcut whose grab state the picker shows (not owned).
    void setHotkey(Hotkey* hotkey);
    /// Runs after "Match" has moved the tool (the library re-checks strays).
    void setOnMatched(std::function<void()> onMatched) { m_onMatched = std::move(onMatched); }
    /// The user's Desktop folder; the XDG Desktop folder unless set.
    void setDesktopPath(const QString& path);

    /// One poll of the tool's location (what the timer runs).
    void poll();
    QTimer& pollTimer() { return m_pollTimer; }
    QTimer& applyTimer() { return m_applyTimer; }

    /// "t2.folder" when set, else the tool's location.
    QString effectivePath() const;
    QString sysLocation() const { return m_info.location; }
    /// Whether the tool saves into the effective folder (links resolved).
    bool matches() const;
    /// Whether the effective folder is the Desktop (links resolved).
    bool onDesktop() const;

    /// Sets the folder and re-reads the tool's location a moment later.
    void apply(const QString& path);
    /// Applies XDG Pictures › Screenshots, creating it first.
    void useDedicated();
    /// The folder chooser, ready to run.
    std::unique_ptr<QFileDialog> makeChooser();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildHeader();
    QWidget* buildFooter();
    void buildWhere(QVBoxLayout* form);
    void buildLibrary(QVBoxLayout* form);
    void buildPanel(QVBoxLayout* form);
    void buildCapture(QVBoxLayout* form);
    void buildGeneral(QVBoxLayout* form);

    QAbstractButton* addSwitch(QWidget* group, const QString& title, const char* key);
    QComboBox* addPicker(QWidget* group, const QString& title, const char* key,
                         const QList<std::pair<QString, QVariant>>& entries);
    QButtonGroup* addSegments(QWidget* group, const QString& title, const QStringList& labels,
                              QList<QPushButton*>* buttons);

    void choose();
    void match();
    void received(const CaptureInfo& info);
    void locationRead(const QString& location);
    /// Shows every key's value and everything derived from them.
    void refresh();
    void refreshStatus();
    void refreshTool();
    /// The tooltip of a control the screenshot tool does not offer.
    QString unavailable() const;
    void refreshHotkey();
    /// The screen picker's entries: the two choices and each connected screen.
    void fillScreens();

    CaptureTool* m_tool;
    CaptureInfo m_info;
    bool m_haveInfo = false;
    bool m_polling = false;
    QString m_desktop;
    QPointer<Hotkey> m_hotkey;
    std::function<void()> m_onMatched;
    QTimer m_pollTimer;
    QTimer m_applyTimer;
    bool m_wayland = false;

    // Controls bound to keys, with their keys.
    QList<std::pair<QAbstractButton*, const char*>> m_switches;
    QList<std::pair<QComboBox*, const char*>> m_pickers;

    QLabel* m_folderPath = nullptr;
    QAbstractButton* m_syncSwitch = nullptr;
    QLabel* m_syncTitle = nullptr;
    QWidget* m_statusRow = nullptr;
    QLabel* m_statusIcon = nullptr;
    QLabel* m_statusText = nullptr;
    QPushButton* m_match = nullptr;
    QPushButton* m_follow = nullptr;
    QPushButton* m_open = nullptr;
    QWidget* m_desktopRow = nullptr;
    QButtonGroup* m_dock = nullptr;
    QAbstractButton* m_showTab = nullptr;
    QAbstractButton* m_reveal = nullptr;
    QLabel* m_conflict = nullptr;
    QWidget* m_hintRow = nullptr;
    QLabel* m_waylandHint = nullptr;
    QPushButton* m_change = nullptr;
    QComboBox* m_screen = nullptr;
    QButtonGroup* m_format = nullptr;
    QList<QPushButton*> m_formatButtons;
    QAbstractButton* m_thumbnail = nullptr;
    QAbstractButton* m_shadow = nullptr;
    QLabel* m_captureFooter = nullptr;
    QAbstractButton* m_login = nullptr;
};
