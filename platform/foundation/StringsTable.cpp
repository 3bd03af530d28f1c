#include "platform/foundation/StringsTable.h"
