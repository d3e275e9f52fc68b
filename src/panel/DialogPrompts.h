#pragma once

#include "panel/PanelMenus.h"

#include <QPointer>
#include <functional>

/// The panel's prompts as modal dialogs. Each takes a hold while open, and
/// keyboard focus, which the panel window (a dock that refuses focus) cannot
/// give a text field.
class DialogPrompts : public Prompts {
public:
    /// `hold` takes (true) and releases (false) a hold on the panel.
    explicit DialogPrompts(std::function<void(bool)> hold);

    std::optional<QString> prompt(const QString& title, const QString& info, const QString& initial,
                                  const QString& ok, const Attempt& attempt) override;
    bool confirm(const QString& title, const QString& info, const QString& ok) override;

private:
    std::function<void(bool)> m_hold;
};
