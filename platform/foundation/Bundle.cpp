#include "platform/foundation/Bundle.h"
