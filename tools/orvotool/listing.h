// orvotool params: every parameter as the host sees it (range, default,
// flags), the names the editor gives them, and the Output Format preset rows.
#pragma once

#include "controller.h"

namespace orvotool {

int listParameters (Plugin& plugin, Controller& controller, bool json);

} // namespace orvotool
