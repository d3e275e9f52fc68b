#include "shelf/AccessShelf.h"

#include "library/ShownName.h"
#include "shelf/ChipView.h"
#include "shelf/EmptyStateView.h"
#include "shelf/FineSlider.h"
#include "shelf/FooterBar.h"
#include "shelf/HScrollView.h"
#include "shelf/IconButton.h"
#include "shelf/SelectionBar.h"
#include "shelf/ShelfHeader.h"
#include "shelf/ToastView.h"

#include <QAccessibleWidget>
#include <algorithm>
#include <functional>

namespace {

/// A symbol button: its tooltip names it, and the shortcut the tooltip shows
/// is the action's key binding.
class IconButtonAccessible final : public QAccessibleWidget {
public:
    explicit IconButtonAccessible(IconButton* button)
        : QAccessibleWidget(button, QAccessible::Button) {}

    IconButton* button() const { return static_cast<IconButton*>(widget()); }

    QString text(QAccessible::Text type) const override {
        const shelfaccess::Tip tip = shelfaccess::splitTip(widget()->toolTip());
        switch (type) {
        case QAccessible::Name:
            return widget()->accessibleName().isEmpty() ? tip.name : widget()->accessibleName();
        case QAccessible::Accelerator:
            return tip.keys;
        case QAccessible::Description:
            // The tooltip is the name already; saying it twice helps nobody.
            return widget()->accessibleDescription();
        default:
            return QAccessibleWidget::text(type);
        }
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.pressed = button()->isDown();
        if (button()->isCheckable()) {
            state.checkable = true;
            state.checked = button()->isChecked();
        }
        return state;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction() && widget()->isEnabled())
            button()->click();
    }
    QStringList keyBindingsForAction(const QString& name) const override {
        const QString keys = text(QAccessible::Accelerator);
        return name == pressAction() && !keys.isEmpty() ? QStringList{keys} : QStringList{};
    }
};

/// A chip row: a tab list whose tabs are the chips, in the order shown. The
/// scroller's viewport and document are left out, they mean nothing to a reader.
/// The shelf names the rows.
class ChipRowAccessible final : public QAccessibleWidget {
public:
    explicit ChipRowAccessible(HScrollView* row)
        : QAccessibleWidget(row, QAccessible::PageTabList) {}

    std::vector<ChipView*> chips() const {
        auto* row = static_cast<HScrollView*>(widget());
        std::vector<ChipView*> chips;
        if (QWidget* doc = row->widget())
            for (ChipView* chip : doc->findChildren<ChipView*>(Qt::FindDirectChildrenOnly))
                if (!chip->isHidden())
                    chips.push_back(chip);
        std::sort(chips.begin(), chips.end(),
                  [](const ChipView* a, const ChipView* b) { return a->x() < b->x(); });
        return chips;
    }

    int childCount() const override { return int(chips().size()); }
    QAccessibleInterface* child(int index) const override {
        const std::vector<ChipView*> all = chips();
        return index >= 0 && size_t(index) < all.size()
                   ? QAccessible::queryAccessibleInterface(all[size_t(index)])
                   : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const std::vector<ChipView*> all = chips();
        const auto found = std::find(all.begin(), all.end(), child ? child->object() : nullptr);
        return found == all.end() ? -1 : int(found - all.begin());
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (ChipView* chip : chips())
            if (QRect(chip->mapToGlobal(QPoint()), chip->size()).contains(x, y))
                return QAccessible::queryAccessibleInterface(chip);
        return nullptr;
    }
};

/// A chip: a page tab named by its folder and count, selected while its frames show.
class ChipAccessible final : public QAccessibleWidget {
public:
    explicit ChipAccessible(ChipView* chip)
        : QAccessibleWidget(chip, QAccessible::PageTab) {}

    ChipView* chip() const { return static_cast<ChipView*>(widget()); }

    QAccessibleInterface* parent() const override {
        // The row that lists it, past the scroller's viewport and document.
        for (QWidget* up = widget()->parentWidget(); up; up = up->parentWidget())
            if (auto* row = qobject_cast<HScrollView*>(up))
                return QAccessible::queryAccessibleInterface(row);
        return QAccessibleWidget::parent();
    }
    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Name) {
            if (chip()->kind() == ChipKind::add)
                return widget()->toolTip();
            const qint64 n = chip()->count();
            return shownName(chip()->def().title) + QStringLiteral(", ") +
                   (n == 1 ? QStringLiteral("1 frame") : QStringLiteral("%1 frames").arg(n));
        }
        if (type == QAccessible::Description)
            return chip()->kind() == ChipKind::add ? QString() : widget()->toolTip();
        return QAccessibleWidget::text(type);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        if (chip()->kind() != ChipKind::add) {
            state.selectable = true;
            state.selected = chip()->active();
        }
        state.hasPopup = bool(chip()->onMenu);
        return state;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name != pressAction())
            return;
        if (auto run = chip()->onClick)
            run();
    }
};

/// The thumbnail size slider.
class SliderAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit SliderAccessible(FineSlider* slider)
        : QAccessibleWidget(slider, QAccessible::Slider) {}

    FineSlider* slider() const { return static_cast<FineSlider*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text type) const override {
        const shelfaccess::Tip tip = shelfaccess::splitTip(widget()->toolTip());
        if (type == QAccessible::Name)
            return tip.name;
        if (type == QAccessible::Value)
            return QString::number(qRound(slider()->value()));
        if (type == QAccessible::Accelerator)
            return tip.keys;
        if (type == QAccessible::Description)
            return QString();
        return QAccessibleWidget::text(type);
    }
    QVariant currentValue() const override { return slider()->value(); }
    void setCurrentValue(const QVariant& value) override {
        // What a user's drag does: the value moves and the owner hears of it.
        slider()->setValue(value.toDouble());
        if (slider()->onChange)
            slider()->onChange(slider()->value());
    }
    QVariant maximumValue() const override { return FineSlider::maximum; }
    QVariant minimumValue() const override { return FineSlider::minimum; }
    QVariant minimumStepSize() const override { return 1.0; }
};

/// The toast: an alert whose name is its message, with its action button's
/// action ("Undo") when it has one.
class ToastAccessible final : public QAccessibleWidget {
public:
    explicit ToastAccessible(ToastView* toast)
        : QAccessibleWidget(toast, QAccessible::AlertMessage) {}

    ToastView* toast() const { return static_cast<ToastView*>(widget()); }

    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Name)
            return toast()->text();
        if (type == QAccessible::Description)
            return toast()->action().value_or(QString());
        return QAccessibleWidget::text(type);
    }
    QStringList actionNames() const override {
        return toast()->action() ? QStringList{pressAction()} : QStringList{};
    }
    void doAction(const QString& name) override {
        if (name == pressAction())
            toast()->runAction();
    }
};

/// The empty state: text saying why the roll is empty and what to do.
class EmptyStateAccessible final : public QAccessibleWidget {
public:
    explicit EmptyStateAccessible(EmptyStateView* view)
        : QAccessibleWidget(view, QAccessible::StaticText) {}

    EmptyStateView* view() const { return static_cast<EmptyStateView*>(widget()); }

    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Name)
            return view()->title();
        if (type == QAccessible::Description) {
            const QStringList keys = view()->keys();
            return keys.isEmpty() ? view()->sub()
                                  : keys.join(QLatin1Char('+')) + QLatin1Char(' ') + view()->sub();
        }
        return QAccessibleWidget::text(type);
    }
};

/// A band of buttons whose painted text (the frame counter, the number
/// selected, the roll's shape) is its name.
class BandAccessible final : public QAccessibleWidget {
public:
    BandAccessible(QWidget* band, std::function<QString()> name)
        : QAccessibleWidget(band, QAccessible::ToolBar)
        , m_name(std::move(name)) {}

    QString text(QAccessible::Text type) const override {
        return type == QAccessible::Name ? m_name() : QAccessibleWidget::text(type);
    }

private:
    std::function<QString()> m_name;
};

QString frames(const QString& count) {
    return count == QLatin1String("1") ? QStringLiteral("1 frame")
                                       : count + QStringLiteral(" frames");
}

} // namespace

namespace shelfaccess {

Tip splitTip(const QString& tip) {
    const qsizetype gap = tip.indexOf(QStringLiteral("  "));
    if (gap < 0)
        return {tip.trimmed(), {}};
    return {tip.left(gap).trimmed(), tip.mid(gap).trimmed()};
}

QAccessibleInterface* create(const QString& className, QObject* object) {
    if (className == QLatin1String("IconButton"))
        return new IconButtonAccessible(static_cast<IconButton*>(object));
    if (className == QLatin1String("ChipView"))
        return new ChipAccessible(static_cast<ChipView*>(object));
    if (className == QLatin1String("HScrollView"))
        return new ChipRowAccessible(static_cast<HScrollView*>(object));
    if (className == QLatin1String("FineSlider"))
        return new SliderAccessible(static_cast<FineSlider*>(object));
    if (className == QLatin1String("ToastView"))
        return new ToastAccessible(static_cast<ToastView*>(object));
    if (className == QLatin1String("ShelfHeader")) {
        auto* header = static_cast<ShelfHeader*>(object);
        return new BandAccessible(header,
                                  [header] { return "Tamberk, " + frames(header->count()); });
    }
    if (className == QLatin1String("SelectionBar")) {
        auto* bar = static_cast<SelectionBar*>(object);
        return new BandAccessible(bar,
                                  [bar] { return QStringLiteral("%1 selected").arg(bar->n()); });
    }
    if (className == QLatin1String("FooterBar")) {
        auto* footer = static_cast<FooterBar*>(object);
        return new BandAccessible(footer, [footer] {
            const int n = footer->shownColumns();
            return n <= 1 ? QStringLiteral("Strip") : QStringLiteral("Board, %1 columns").arg(n);
        });
    }
    if (className == QLatin1String("EmptyStateView"))
        return new EmptyStateAccessible(static_cast<EmptyStateView*>(object));
    return nullptr;
}

} // namespace shelfaccess
