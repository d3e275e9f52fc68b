#pragma once

#include "panel/PanelPorts.h"

#include <QWidget>

/// FIXME: a plain stand-in for the shelf and its grid until those views are
/// wired in: a dark rounded card with the brand, the frame count and the
/// newest frames' names. It keeps the controller's calls (search, selection,
/// layout) as state without acting on them.
class InterimCard : public QWidget, public ShelfPort, public GridPort {
    Q_OBJECT
public:
    explicit InterimCard(QWidget* parent = nullptr);

    /// Opaque without a compositor, translucent with one.
    void setComposited(bool composited);

    // ShelfPort
    bool isEditingSearch() const override { return false; }
    bool searchVisible() const override { return false; }
    QString searchText() const override { return {}; }
    void clearSearch() override {}
    void hideSearch() override {}
    void updatePin(bool pinned) override;
    void setSide(DockSide) override {}
    void layoutAll() override { update(); }
    void layoutGrid(bool) override { update(); }
    void setSliderValue(double) override {}
    void updateChips(const Library&, const Scope&) override {}
    void setCount(qsizetype shown, qsizetype total, bool plain) override;
    void setEmptyState(const EmptyState& state) override;
    void updateSelection(qsizetype) override {}

    // GridPort
    ShotList shots() const override { return m_shots; }
    void setShots(const ShotList& shots, bool animated, const QSet<QString>& fresh) override;
    void setTarget(double) override {}
    void setCaptions(bool) override {}
    qsizetype selectionCount() const override { return 0; }
    void clearSelection() override {}
    void develop(const QSet<QString>& paths) override;
    void cascadeIn(bool) override {}
    void updateVisible() override {}
    std::optional<QRectF> frameOf(const QString& path) const override;
    void scrollToVisible(const QRectF&) override {}
    void scrollToTop() override {}
    void focus() override { setFocus(); }
    void closePreview() override {}

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_composited = false;
    bool m_pinned = false;
    ShotList m_shots;
    QSet<QString> m_fresh;
    QString m_count;
    EmptyState m_empty;
};
