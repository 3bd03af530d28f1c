#include "installer-host/UnattendedRun.h"

#include "installer-host/InstallerSession.h"

#include "platform/installer/InstallerPane.h"

#include <QAbstractItemModel>
#include <QTableView>
#include <QWidget>

#include <ostream>

namespace installerhost {

namespace {

// One line per row of the table: its index, its tick when a column has one, the texts of the
// other columns, and "(disabled)" when the row does not take the user's clicks.
void printTable(std::ostream& out, const QTableView& table)
{
    const QAbstractItemModel* model = table.model();
    const int rows = model ? model->rowCount() : 0;
    out << "  table " << table.objectName().toStdString() << ": " << rows << (rows == 1 ? " row" : " rows")
        << "\n";
    for (int row = 0; row < rows; ++row) {
        std::string tick;
        std::string texts;
        bool enabled = true;
        for (int column = 0; column < model->columnCount(); ++column) {
            const QModelIndex index = model->index(row, column);
            if (!(model->flags(index) & Qt::ItemIsEnabled))
                enabled = false;
            const QVariant check = model->data(index, Qt::CheckStateRole);
            if (check.isValid()) {
                const auto state = static_cast<Qt::CheckState>(check.toInt());
                tick = state == Qt::Checked ? "[x]" : state == Qt::PartiallyChecked ? "[-]" : "[ ]";
            }
            const QString text = model->data(index, Qt::DisplayRole).toString();
            if (!text.isEmpty()) {
                if (!texts.empty())
                    texts += " | ";
                texts += text.toStdString();
            }
        }
        out << "    " << row << " " << (tick.empty() ? "   " : tick) << " " << texts;
        if (!enabled)
            out << " (disabled)";
        out << "\n";
    }
}

}  // namespace

UnattendedRun::UnattendedRun(InstallerSession& session, std::ostream& out, std::ostream& err)
    : m_session(session), m_out(out), m_err(err)
{
}

int UnattendedRun::run()
{
    m_session.setPaneEnteredHandler([this](std::size_t index) { printPane(index); });
    m_session.start();
    int status = kCompleted;
    while (!m_session.isFinished()) {
        platform::InstallerPane* pane = m_session.currentPane();
        if (!m_session.canContinue()) {
            m_err << "Continue is disabled on pane " << pane->title() << "\n";
            status = kStuck;
            break;
        }
        if (m_session.continueForward() != InstallerSession::Step::Moved) {
            m_err << "pane " << pane->title() << " refused to exit\n";
            status = kStuck;
            break;
        }
    }
    m_session.setPaneEnteredHandler(nullptr);
    m_out.flush();
    m_err.flush();
    return status;
}

void UnattendedRun::printPane(std::size_t index)
{
    platform::InstallerPane* pane = m_session.pane(index);
    m_out << "pane: " << pane->title() << "\n";
    m_out << "  Continue: " << (m_session.canContinue() ? "enabled" : "disabled") << "\n";
    auto* view = static_cast<QWidget*>(pane->contentView());
    if (!view) {
        m_out << "  (no view)\n";
        return;
    }
    QList<QTableView*> tables = view->findChildren<QTableView*>();
    if (auto* table = qobject_cast<QTableView*>(view))
        tables.prepend(table);
    for (const QTableView* table : tables)
        printTable(m_out, *table);
}

}  // namespace installerhost
