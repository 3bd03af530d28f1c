#include "platform/qt/QtRowFocusDelegate.h"

#include "platform/qt/QtFocusStyle.h"

#include <QAbstractItemView>
#include <QPainter>

namespace platform::qt {

QtRowFocusDelegate::QtRowFocusDelegate(QAbstractItemView* view) : QStyledItemDelegate(view), m_view(view) {}

void QtRowFocusDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem plain(option);
    plain.state &= ~QStyle::State_HasFocus;
    const bool focusedRow = m_view->hasFocus() && m_view->currentIndex().isValid() &&
                            m_view->currentIndex().row() == index.row();
    if (!focusedRow) {
        QStyledItemDelegate::paint(painter, plain, index);
        return;
    }
    QColor tint = option.palette.color(QPalette::Active, QPalette::Highlight);
    tint.setAlpha(48);
    painter->fillRect(option.rect, tint);
    QStyledItemDelegate::paint(painter, plain, index);

    const int lastColumn = index.model() ? index.model()->columnCount(index.parent()) - 1 : index.column();
    const QRect r = option.rect;
    painter->save();
    painter->setPen(Qt::NoPen);
    painter->setBrush(QtFocusStyle::focusColor(option.palette));
    painter->drawRect(r.left(), r.top(), r.width(), 2);
    painter->drawRect(r.left(), r.bottom() - 1, r.width(), 2);
    if (index.column() == 0) {
        painter->drawRect(r.left(), r.top(), 2, r.height());
    }
    if (index.column() == lastColumn) {
        painter->drawRect(r.right() - 1, r.top(), 2, r.height());
    }
    painter->restore();
}

}  // namespace platform::qt
