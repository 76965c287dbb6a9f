// The decode's polar patterns as the editor draws them, from the
// controller's polar response, with a legend of the channels and the
// settings.
#pragma once

#include "controller.h"

#include <string>

namespace orvotool {

// Writes a PNG (or an SVG) of 'height' pixels; false with a message.
bool drawPolar (Controller& controller, const std::string& path, bool svg, int height, std::string& error);

} // namespace orvotool
