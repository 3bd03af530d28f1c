#include "platform/appkit/TableView.h"

namespace platform {

TableColumn* TableView::tableColumnWithIdentifier(const std::string& identifier) const
{
    for (TableColumn* column : tableColumns()) {
        if (column && column->identifier() == identifier) {
            return column;
        }
    }
    return nullptr;
}

}  // namespace platform
