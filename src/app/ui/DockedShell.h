#pragma once

#include "app/AppPorts.h"

class DockedPanel;
class Library;

/// The application shell's view of the docked panel on the desktop: the
/// panel controller, the edge tab and the shelf behind the AppPanel calls.
class DockedShell final : public AppPanel {
public:
    DockedShell(DockedPanel& docked, Library& lib);

    bool expanded() const override;
    void expand(bool makeKey, quint32 timestamp) override;
    void collapse(bool force) override;
    void scheduleCollapse(double delay) override;
    bool mouseInside() const override;
    void togglePin() override;
    void newFolderPrompt() override;
    void selectSession() override;
    void reposition() override;
    void setTabShown(bool shown) override;
    void reloadGrid(bool animated) override;
    void updatePin(bool pinned) override;
    void followThumb(double thumb) override;
    void applyCaptureVisibility() override;
    void toast(const QString& text) override;
    QVariantMap state() const override;

private:
    DockedPanel* m_docked; // outlives the shell
    Library& m_lib;
};
