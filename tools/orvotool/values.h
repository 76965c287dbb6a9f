// Numbers as users type them for a setting: a decimal number (point or
// comma), optionally followed by a unit that is converted to the unit the
// host shows for the parameter ("8 kHz" for Hz, "1 s" for ms, "70 deg").
// Nothing else may follow.
#pragma once

#include <string>

namespace orvotool {

struct TypedNumber
{
	// The number in the host's unit as plain ASCII for the host's text parser:
	// the digits as typed, a point for the decimal, shifted by the unit's
	// power of ten ("8,5 kHz" gives "8500"); "-inf" or "inf" for infinity.
	std::string hostText;
	double value {0.0};
	// The user's unit differed from the host's: a message shows both.
	bool converted {false};
};

enum class NumberReading
{
	kNumber,     // read: a number with at most a unit of the host's kind
	kNotANumber, // the text does not start with a number (it may be a word)
	kRefused,    // a number with something that does not belong: 'why' says what
};

// Reads 'text' (blanks at either end ignored) for a parameter whose host
// unit is 'hostUnit' ("deg", "Hz", "ms", "dB" or "" for none).
NumberReading readNumber (const std::string& text, const std::string& hostUnit, TypedNumber& number,
                          std::string& why);

// The number a text of the host starts with ("80", "+0.0", "-∞", "20.0 ms"),
// and the digits it shows after the decimal point; false when it starts
// with none.
bool leadingNumber (const std::string& text, double& value, int& decimals);

// The units a value of this host unit may carry, for messages: "Hz, kHz";
// "none" for a parameter without a unit.
std::string unitsAccepted (const std::string& hostUnit);

} // namespace orvotool
