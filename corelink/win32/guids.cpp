// The one definition of the component's identifiers inside the library.
#include <initguid.h>

#include "corelink_api.h"
