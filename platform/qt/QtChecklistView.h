#pragma once

#include <QTableView>

#include <vector>

namespace platform::qt {

/// The table view of a checklist: a table whose rows each carry one check box. Assistive
/// technologies see each row as one check box named by the row's text (QtChecklistAccessible);
/// the view tells them when the focus moves to another row and when a row is ticked or unticked,
/// once for a change of many rows at once (Select All) rather than once per row.
/// A disabled row can hold the keyboard focus (Space leaves it alone), and its tool tip, which
/// says why it is disabled, is shown while it does.
class QtChecklistView : public QTableView {
    Q_OBJECT

public:
    explicit QtChecklistView(QWidget* parent = nullptr);

    /// The texts of the row's cells, joined by spaces.
    QString rowName(int row) const;
    /// Whether the row's cells are enabled.
    bool rowEnabled(int row) const;
    /// The row's check box: 1 ticked, 0 unticked, -1 when the row has none.
    int rowCheckState(int row) const;
    /// The first tool tip among the row's cells; for a disabled row it tells why.
    QString rowToolTip(int row) const;
    /// The whole texts of the row's cells that are shown shortened, joined by spaces; empty
    /// when every text is shown whole.
    QString rowWholeText(int row) const;
    /// The column of the rows' check boxes, -1 when none.
    int checkColumn() const;
    /// The text that names the table for assistive technologies: its accessible name, the label
    /// whose buddy it is, or else the label just above it in its layout.
    QString listName() const;
    /// Puts the focus mark on the row, enabled or not.
    void setCurrentRow(int row);

    void setModel(QAbstractItemModel* model) override;

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    void focusInEvent(QFocusEvent* event) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    void reset() override;

private:
    /// Tells assistive technologies that the row has the focus.
    void announceFocus(int row);
    /// Shows a disabled row's reason beside it, where keyboard users see it.
    void showReason(int row);
    /// Records each row's check state, so that a later change can be reported.
    void rememberCheckStates();

    std::vector<int> m_checkStates;
    /// The reason last shown as a tool tip, so that only that one is hidden again.
    QString m_shownReason;
};

}  // namespace platform::qt
