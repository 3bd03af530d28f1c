#pragma once

#include <QStyledItemDelegate>

class QAbstractItemView;

namespace platform::qt {

/// Draws a table's cells and marks the whole row that has the keyboard focus: a tinted row with
/// a frame of two pixels in the highlight colour, instead of a thin mark round one cell.
class QtRowFocusDelegate : public QStyledItemDelegate {
public:
    explicit QtRowFocusDelegate(QAbstractItemView* view);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QAbstractItemView* m_view;
};

}  // namespace platform::qt
