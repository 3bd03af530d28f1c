#include "platform/foundation/PropertyList.h"
