#include "platform/qt/QtFileDialogFit.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QListView>
#include <QSplitter>
#include <QStyle>
#include <QTreeView>

#include <algorithm>

namespace platform::qt {

QString QtFileDialogFit::FolderTypeProvider::type(const QFileInfo& info) const
{
    if (info.isDir() && !info.isRoot()) {
        const QString folder = QCoreApplication::translate("QFileDialog", "Folder");
        if (folder != QLatin1String("Folder")) {
            return folder;
        }
    }
    return QFileIconProvider::type(info);
}

void QtFileDialogFit::apply(QFileDialog& dialog)
{
    auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    auto* sidebar = dialog.findChild<QListView*>(QStringLiteral("sidebar"));
    auto* splitter = dialog.findChild<QSplitter*>(QStringLiteral("splitter"));
    if (!list || !sidebar || !splitter) {
        return;
    }
    static FolderTypeProvider provider;
    dialog.setIconProvider(&provider);

    // Every column but the name shows its whole header and contents; the name takes the rest.
    QHeaderView* header = list->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    int columnsWidth = 0;
    for (int column = 1; column < header->count(); ++column) {
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
        columnsWidth += header->sectionSizeHint(column);
    }

    // The sidebar shows its places' names whole.
    int sidebarWidth = 0;
    if (QAbstractItemModel* places = sidebar->model()) {
        for (int row = 0; row < places->rowCount(); ++row) {
            sidebarWidth = std::max(sidebarWidth, sidebar->sizeHintForIndex(places->index(row, 0)).width());
        }
    }
    const int frame = 2 * sidebar->frameWidth() + sidebar->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    sidebarWidth = std::max(sidebarWidth + frame + 8, sidebar->minimumWidth());
    sidebar->setMinimumWidth(sidebarWidth);

    const int nameWidth = list->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 24;
    const int listWidth = columnsWidth + nameWidth + 2 * list->frameWidth();
    const int width = std::max(dialog.sizeHint().width(), sidebarWidth + listWidth + 48);
    dialog.resize(std::max(dialog.width(), width), std::max(dialog.height(), dialog.sizeHint().height()));
    splitter->setSizes({sidebarWidth, std::max(listWidth, splitter->width() - sidebarWidth)});
}

}  // namespace platform::qt
