// Numbers in the texts a host prints for a parameter's values.
#pragma once

#include <string>

namespace orvotool {

// The number a text starts with, in the forms the host prints: "80", "+0.0",
// "-∞", "-inf" (and NaN for "nan"). Sets 'decimals' to the digits after the
// point. False when the text does not start with a number.
bool leadingNumber (const std::string& text, double& value, int& decimals);

} // namespace orvotool
