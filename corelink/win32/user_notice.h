#pragma once
// The component's user-visible messages (the flash table writes' failures) go through one
// process-wide function that a client may replace (CorelinkSetMessageHandler, exported): by
// default a message box, so an unattended caller or a test installs its own and is never held
// by a window waiting for a click.

#include "corelink/core/flash_session.h"

namespace corelink::com {

corelink::UserNotice& ProcessNotice() noexcept;

}  // namespace corelink::com
