#include "app/ui/Accessibility.h"

#include "grid/GridAccess.h"
#include "panel/EdgeTab.h"
#include "panel/PanelController.h"
#include "settings/ui/Switch.h"
#include "shelf/AccessShelf.h"

#include <QAccessibleWidget>
#include <QLabel>

namespace {

/// The edge tab: a button that opens the panel, saying how many frames came
/// since the panel was last open.
class EdgeTabAccessible final : public QAccessibleWidget {
public:
    explicit EdgeTabAccessible(EdgeTab* tab)
        : QAccessibleWidget(tab, QAccessible::Button) {}

    EdgeTab* tab() const { return static_cast<EdgeTab*>(widget()); }

    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Name)
            return QStringLiteral("Tamberk");
        if (type == QAccessible::Description) {
            const int n = tab()->unseen();
            if (n <= 0)
                return {};
            return n == 1 ? QStringLiteral("1 new frame") : QStringLiteral("%1 new frames").arg(n);
        }
        return QAccessibleWidget::text(type);
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction())
            tab()->click();
    }
};

/// A settings switch: a check box named by the text of its row.
class SwitchAccessible final : public QAccessibleWidget {
public:
    explicit SwitchAccessible(Switch* toggle)
        : QAccessibleWidget(toggle, QAccessible::CheckBox) {}

    Switch* toggle() const { return static_cast<Switch*>(widget()); }

    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Name && widget()->accessibleName().isEmpty())
            return toggle()->label() ? toggle()->label()->text() : QString();
        return QAccessibleWidget::text(type);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = toggle()->isChecked();
        return state;
    }
    QStringList actionNames() const override {
        QStringList names{toggleAction()};
        if (widget()->focusPolicy() != Qt::NoFocus)
            names << setFocusAction();
        return names;
    }
    void doAction(const QString& name) override {
        if (name == toggleAction() && widget()->isEnabled())
            toggle()->click();
        else
            QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface* factory(const QString& className, QObject* object) {
    if (className == QLatin1String("EdgeTab"))
        return new EdgeTabAccessible(static_cast<EdgeTab*>(object));
    if (className == QLatin1String("Switch"))
        return new SwitchAccessible(static_cast<Switch*>(object));
    if (QAccessibleInterface* grid = gridaccess::create(className, object))
        return grid;
    return shelfaccess::create(className, object);
}

} // namespace

namespace accessibility {

void install() {
    QAccessible::installFactory(factory);
}

} // namespace accessibility
