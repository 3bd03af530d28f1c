#include "platform/qt/QtTableModel.h"

#include <QTimer>

#include <cinttypes>
#include <climits>

namespace platform::qt {

namespace {

bool isCheckColumn(const TableColumn* column)
{
    return column && column->identifier() == "chk";
}

QString displayText(const ObjectValue& value)
{
    if (!value) {
        return QString();
    }
    if (const auto* s = value->asString()) {
        return QString::fromStdString(*s);
    }
    if (const auto* i = value->asInteger()) {
        return QString::number(static_cast<qlonglong>(*i));
    }
    if (const auto* d = value->asReal()) {
        return QString::number(*d);
    }
    if (const auto* b = value->asBoolean()) {
        return *b ? QStringLiteral("1") : QStringLiteral("0");
    }
    return QString();
}

int clampRows(NSInteger rows)
{
    if (rows < 0) {
        return 0;
    }
    return rows > INT_MAX ? INT_MAX : static_cast<int>(rows);
}

}  // namespace

QtTableModel::QtTableModel(TableView& table, QStringList headerTitles, QObject* parent)
    : QAbstractTableModel(parent), m_table(table), m_headerTitles(std::move(headerTitles))
{
}

int QtTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int QtTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_table.tableColumnCount());
}

TableColumn* QtTableModel::columnAt(int column) const
{
    return column < 0 ? nullptr : m_table.tableColumnAt(static_cast<std::size_t>(column));
}

NSInteger QtTableModel::liveRowCount() const
{
    TableDataSource* dataSource = m_table.dataSource();
    return dataSource ? dataSource->numberOfRowsInTableView(&m_table) : 0;
}

ObjectValue QtTableModel::valueAt(const QModelIndex& index) const
{
    TableDataSource* dataSource = m_table.dataSource();
    TableColumn* column = columnAt(index.column());
    if (!dataSource || !column || !index.isValid()) {
        return std::nullopt;
    }
    if (index.row() >= liveRowCount()) {
        // The rows changed without reloadData; never ask for a row that is gone, and catch up.
        if (!m_reloadPending) {
            auto* self = const_cast<QtTableModel*>(this);
            self->m_reloadPending = true;
            QTimer::singleShot(0, self, [self] { self->reload(); });
        }
        return std::nullopt;
    }
    return dataSource->objectValueForTableColumn(&m_table, column, index.row());
}

bool QtTableModel::isCellEnabled(const QModelIndex& index) const
{
    TableColumn* column = columnAt(index.column());
    if (!column || !index.isValid() || index.row() >= liveRowCount()) {
        return false;
    }
    TableDelegate* delegate = m_table.delegate();
    if (!delegate) {
        return true;
    }
    Cell cell;
    delegate->willDisplayCell(&m_table, &cell, column, index.row());
    return cell.isEnabled();
}

QString QtTableModel::cellToolTip(const QModelIndex& index) const
{
    TableColumn* column = columnAt(index.column());
    TableDelegate* delegate = m_table.delegate();
    if (!column || !delegate || !index.isValid() || index.row() >= liveRowCount()) {
        return QString();
    }
    Cell cell;
    delegate->willDisplayCell(&m_table, &cell, column, index.row());
    return QString::fromStdString(cell.toolTip());
}

QString QtTableModel::shownText(const QString& text)
{
    if (text.size() <= kLongestShownText) {
        return text;
    }
    qsizetype head = (kLongestShownText - 1) / 2;
    qsizetype tail = kLongestShownText - 1 - head;
    if (text.at(head - 1).isHighSurrogate()) {
        --head;
    }
    if (text.at(text.size() - tail).isLowSurrogate()) {
        --tail;
    }
    return text.left(head) + QChar(0x2026) + text.right(tail);
}

QVariant QtTableModel::data(const QModelIndex& index, int role) const
{
    const bool checkColumn = isCheckColumn(columnAt(index.column()));
    if (role == Qt::ToolTipRole) {
        if (const QString tip = cellToolTip(index); !tip.isEmpty()) {
            return tip;
        }
    }
    if (role != Qt::DisplayRole && role != Qt::CheckStateRole && role != Qt::ToolTipRole &&
        role != Qt::AccessibleDescriptionRole) {
        return QVariant();
    }
    // Only the check column has check boxes, and only text cells have texts.
    if ((role == Qt::CheckStateRole) != checkColumn) {
        return QVariant();
    }
    const ObjectValue value = valueAt(index);
    const bool checkCell = checkColumn && value && value->asInteger();
    if (role == Qt::CheckStateRole) {
        if (!checkCell) {
            return QVariant();
        }
        return static_cast<int>(*value->asInteger() != 0 ? Qt::Checked : Qt::Unchecked);
    }
    if (checkCell) {
        return QVariant();
    }
    const QString text = displayText(value);
    if (role == Qt::AccessibleDescriptionRole) {
        return text.size() > kLongestShownText ? QVariant(text) : QVariant();
    }
    return shownText(text);
}

QVariant QtTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (section >= 0 && section < m_headerTitles.size()) {
        return m_headerTitles.at(section);
    }
    return QString();
}

Qt::ItemFlags QtTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid() || !isCellEnabled(index)) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (isCheckColumn(columnAt(index.column()))) {
        flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

bool QtTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    TableDataSource* dataSource = m_table.dataSource();
    TableColumn* column = columnAt(index.column());
    if (role != Qt::CheckStateRole || !dataSource || !isCheckColumn(column) || !m_table.isEnabled()) {
        return false;
    }
    // The delegate is asked for this very cell first; a disabled cell ignores the click.
    if (!isCellEnabled(index)) {
        return false;
    }
    const bool checked = value.toInt() == static_cast<int>(Qt::Checked);
    dataSource->setObjectValue(&m_table, ObjectValue(PlistValue(checked ? 1 : 0)), column, index.row());
    if (index.row() < m_rows) {
        emit dataChanged(this->index(index.row(), 0), this->index(index.row(), columnCount() - 1));
    }
    return true;
}

void QtTableModel::reload()
{
    m_reloadPending = false;
    const int rows = clampRows(liveRowCount());
    if (rows != m_rows) {
        beginResetModel();
        m_rows = rows;
        endResetModel();
        return;
    }
    if (rows > 0 && columnCount() > 0) {
        emit dataChanged(index(0, 0), index(rows - 1, columnCount() - 1));
    }
}

}  // namespace platform::qt
