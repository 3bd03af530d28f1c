#pragma once

#include "platform/appkit/TableView.h"

#include <QAbstractTableModel>
#include <QStringList>

namespace platform::qt {

/// The Qt model of a TableView: rows and values from the table's data source, enabled flags from
/// its delegate. A "chk" column whose values are integers shows as a check box, and a click on it
/// hands 1 or 0 to the data source when the delegate leaves the cell enabled. A text longer than
/// kLongestShownText characters is shown shortened in the middle, so that laying it out costs
/// what a line costs; the whole text is the cell's accessible description.
class QtTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr qsizetype kLongestShownText = 256;

    /// text, cut in the middle to kLongestShownText characters (an ellipsis in the cut) when it
    /// is longer; a surrogate pair is never cut.
    static QString shownText(const QString& text);

    explicit QtTableModel(TableView& table, QStringList headerTitles, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    /// Asks the data source again for the row count and every cell.
    void reload();
    /// Whether the delegate leaves the cell enabled (true without a delegate).
    bool isCellEnabled(const QModelIndex& index) const;
    /// The tool tip the delegate gives the cell, empty when it gives none.
    QString cellToolTip(const QModelIndex& index) const;

private:
    TableColumn* columnAt(int column) const;
    /// The data source's row count now; the row count the view knows may be older.
    NSInteger liveRowCount() const;
    ObjectValue valueAt(const QModelIndex& index) const;

    TableView& m_table;
    QStringList m_headerTitles;
    int m_rows = 0;
    bool m_reloadPending = false;
};

}  // namespace platform::qt
