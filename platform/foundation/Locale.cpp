#include "platform/foundation/Locale.h"
