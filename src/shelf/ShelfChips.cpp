// The shelf's two chip rows: building them when their signature changes,
// refreshing counts and flags in place, wiring their gestures and laying them out.
#include "grid/GridView.h"
#include "shelf/ChipView.h"
#include "shelf/HScrollView.h"
#include "shelf/ShelfLayout.h"
#include "shelf/ShelfReceiver.h"
#include "shelf/ShelfView.h"

#include <QMenu>

namespace {

void retire(std::vector<ChipView*>& chips) {
    // Later, not now: the click that led here may still be running in one of them.
    for (ChipView* chip : chips) {
        chip->onClick = nullptr;
        chip->onDrop = nullptr;
        chip->onMenu = nullptr;
        chip->hide();
        chip->deleteLater();
    }
    chips.clear();
}

} // namespace

void ShelfView::updateChips(const Library& library, const Scope& scope) {
    updateChips(ChipSource::of(library), scope);
}

void ShelfView::updateChips(const ChipSource& source, const Scope& scope) {
    const ChipRows::Update u = m_rows.update(source, scope);
    if (u.mainRebuilt) {
        retire(m_chips);
        m_chips = buildRow(m_rows.main(), m_chipsDoc);
    }
    if (u.subRebuilt) {
        retire(m_subChips);
        m_subChips = buildRow(m_rows.sub(), m_subDoc);
    }
    for (int i : u.mainChanged)
        m_chips[size_t(i)]->setState(m_rows.main()[size_t(i)].count,
                                     m_rows.main()[size_t(i)].active);
    for (int i : u.subChanged)
        m_subChips[size_t(i)]->setState(m_rows.sub()[size_t(i)].count,
                                        m_rows.sub()[size_t(i)].active);
    if (u.subVisibleChanged)
        layoutAll();
    else
        layoutChips();
    revealFirstActive();
}

std::vector<ChipView*> ShelfView::buildRow(const std::vector<ChipRows::Chip>& row, QWidget* doc) {
    std::vector<ChipView*> views;
    views.reserve(row.size());
    const QString root = m_rows.main().size() > 2 ? m_rows.main()[2].def.path : QString();
    for (const ChipRows::Chip& chip : row) {
        auto* view = new ChipView(chip.def, doc);
        view->setState(chip.count, chip.active);
        wire(view, root);
        view->show();
        views.push_back(view);
    }
    return views;
}

void ShelfView::wire(ChipView* chip, const QString& root) {
    const ChipDef& def = chip->def();
    QPointer<ShelfView> self(this);
    if (def.scope) {
        const Scope scope = *def.scope;
        chip->onClick = [self, scope] {
            if (self && self->m_receiver)
                self->m_receiver->select(scope);
        };
    } else if (def.kind == ChipKind::add) {
        const QString parent = def.path;
        chip->onClick = [self, parent] {
            if (self && self->m_receiver)
                self->m_receiver->newFolderPrompt({}, parent);
        };
    }
    if (def.kind == ChipKind::add || def.path.isEmpty())
        return;
    const QString folder = def.path;
    chip->setDropSource(m_grid);
    chip->onDrop = [self, folder] {
        if (self && self->m_receiver)
            self->m_receiver->dropSelection(folder);
    };
    // The screenshot folder itself offers no menu: it cannot be renamed or trashed.
    if (folder != root) {
        chip->onMenu = [self, folder]() -> QMenu* {
            if (!self || !self->m_receiver)
                return nullptr;
            return self->m_receiver->folderMenu(folder);
        };
    }
}

void ShelfView::layoutChips() {
    auto place = [](const std::vector<ChipView*>& chips, HScrollView* scroll, QWidget* doc,
                    bool mainRow, QWidget* divider) {
        std::vector<double> widths;
        widths.reserve(chips.size());
        for (const ChipView* chip : chips)
            widths.push_back(chip->kind() == ChipKind::add ? 24 : chip->measured());
        const ShelfLayout::ChipRow row =
            ShelfLayout::chipRow(widths, mainRow, scroll->viewport()->width());
        for (size_t i = 0; i < chips.size(); ++i)
            chips[i]->setGeometry(row.frames[i].toAlignedRect());
        if (divider && row.dividerPlaced)
            divider->setGeometry(row.divider.toAlignedRect());
        doc->resize(row.document.toSize());
    };
    place(m_chips, m_chipsScroll, m_chipsDoc, true, m_chipDivider);
    place(m_subChips, m_subScroll, m_subDoc, false, nullptr);
}

void ShelfView::revealFirstActive() {
    auto reveal = [](const std::vector<ChipView*>& chips, HScrollView* scroll) {
        for (ChipView* chip : chips) {
            if (chip->active()) {
                scroll->ensureWidgetVisible(chip, 12, 0);
                return;
            }
        }
    };
    reveal(m_chips, m_chipsScroll);
    reveal(m_subChips, m_subScroll);
}
