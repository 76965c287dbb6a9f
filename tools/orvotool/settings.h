// Settings as the user gives them: an optional preset file, then --set
// "Name=value" assignments in order, applied to the controller as the
// editor applies them. Names are the host's titles and short titles or the
// editor's names; values are read strictly (values.h). Warnings name every
// setting that a later one replaces (an Output Format's preset row, a Rear
// Width that follows Width) and every setting that has no effect with the
// final settings.
#pragma once

#include "controller.h"

#include <string>
#include <vector>

namespace orvotool {

// Applies the preset file (when given) and the assignments. False with a
// message naming the culprit (nothing is decoded then): an unknown name, a
// meter, text that is not a value, NaN, or a value outside the range.
bool resolveSettings (Controller& controller, const Plugin& plugin, const std::string& presetPath,
                      const std::vector<std::string>& assignments, std::string& error);

// The values a parameter takes, as the host prints them ("30 to 90 deg").
std::string rangeText (Controller& controller, const ParamDesc& p);

// Prints each setting's title and value with its unit, one a line.
void printSettings (Controller& controller, FILE* out);

} // namespace orvotool
