#pragma once

#include <QString>
#include <QVariantMap>
#include <functional>
#include <optional>

class Library;

/// What the application shell drives of the docked panel. The desktop build
/// implements it over the panel controller and its windows; tests record the
/// calls.
class AppPanel {
public:
    virtual ~AppPanel() = default;

    virtual bool expanded() const = 0;
    /// Opens the panel; with `makeKey` it takes keyboard focus for the user
    /// action of X time `timestamp`, and being the user's own open (shortcut,
    /// command line, tray) it lands where "t2.screen" puts those.
    virtual void expand(bool makeKey, quint32 timestamp) = 0;
    virtual void collapse(bool force) = 0;
    /// Closes after `delay` seconds unless the pointer or a hold keeps it.
    virtual void scheduleCollapse(double delay) = 0;
    virtual bool mouseInside() const = 0;
    virtual void togglePin() = 0;
    /// Asks for a name and creates a folder inside the root.
    virtual void newFolderPrompt() = 0;

    // What a change of settings asks of the panel.
    virtual void selectSession() = 0;
    virtual void reposition() = 0;
    virtual void setTabShown(bool shown) = 0;
    /// Refills the grid from the library and lays it out again.
    virtual void reloadGrid(bool animated) = 0;
    virtual void updatePin(bool pinned) = 0;
    /// The stored thumbnail size, which may have been edited outside the panel.
    virtual void followThumb(double thumb) = 0;
    virtual void applyCaptureVisibility() = 0;
    /// A toast on the shelf without an action.
    virtual void toast(const QString& text) = 0;

    /// expanded, pinned, unseen, scope, query, shown, selected (D-Bus types).
    virtual QVariantMap state() const = 0;
};

/// What the application shell needs of the screenshot library.
class AppLibrary {
public:
    virtual ~AppLibrary() = default;
    virtual QString root() const = 0;
    virtual bool scanned() const = 0;
    virtual void setRoot(const QString& path) = 0;
    virtual void reload() = 0;
    virtual void watchStrays() = 0;
    /// Queues every shot for text recognition.
    virtual void recognizeAll() = 0;
    /// Screenshots waiting for text recognition.
    virtual qint64 textPending() const = 0;
    /// The text of the newest still image, read first when needed; nothing
    /// when it has none. `done` runs on the main thread, perhaps at once.
    virtual void newestText(std::function<void(std::optional<QString>)> done) = 0;
    /// The number of shots in the current session.
    virtual qint64 sessionCount() const = 0;
    /// Calls `changed` after every change of the library's state.
    virtual void observe(std::function<void()> changed) = 0;
};

/// AppLibrary over the real library.
class LiveLibrary final : public AppLibrary {
public:
    explicit LiveLibrary(Library& lib)
        : m_lib(lib) {}
    Library& library() { return m_lib; }

    QString root() const override;
    bool scanned() const override;
    void setRoot(const QString& path) override;
    void reload() override;
    void watchStrays() override;
    void recognizeAll() override;
    qint64 textPending() const override;
    void newestText(std::function<void(std::optional<QString>)> done) override;
    qint64 sessionCount() const override;
    void observe(std::function<void()> changed) override;

private:
    Library& m_lib;
};
