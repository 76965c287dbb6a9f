#include "values.h"

#include "text.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace orvotool {

namespace {

// A unit a user may type, the host unit it converts to and the power of ten
// between them (1 s is 10^3 ms). Compared in any case.
struct UnitName
{
	const char* hostUnit;
	const char* name;
	int shift;
};

const UnitName kUnits[] = {
    {"deg", "deg", 0}, {"deg", "\xC2\xB0", 0}, {"deg", "degrees", 0},
    {"Hz", "Hz", 0},   {"Hz", "kHz", 3},
    {"ms", "ms", 0},   {"ms", "s", 3},
    {"dB", "dB", 0},
};

const char* const kMinusSign = "\xE2\x88\x92";   // U+2212, as some hosts print minus
const char* const kInfinitySign = "\xE2\x88\x9E"; // U+221E

bool startsWith (const std::string& s, size_t at, const char* prefix)
{
	return s.compare (at, std::strlen (prefix), prefix) == 0;
}

// A number's parts as typed: sign, digits before and after the decimal mark.
struct Digits
{
	bool negative {false};
	bool signed_ {false};
	std::string whole, fraction;
	bool point {false};
	bool infinite {false};
	bool nan {false};
	size_t end {0}; // first character after the number
};

size_t readSign (const std::string& s, Digits& d)
{
	if (!s.empty () && (s[0] == '-' || s[0] == '+'))
	{
		d.negative = s[0] == '-';
		d.signed_ = true;
		return 1;
	}
	if (startsWith (s, 0, kMinusSign))
	{
		d.negative = d.signed_ = true;
		return std::strlen (kMinusSign);
	}
	return 0;
}

// False when no number starts the text.
bool readDigits (const std::string& s, Digits& d)
{
	size_t i = readSign (s, d);
	const std::string rest = lower (s.substr (i));
	if (startsWith (s, i, kInfinitySign) || rest.rfind ("inf", 0) == 0)
	{
		d.infinite = true;
		d.end = i + (startsWith (s, i, kInfinitySign) ? std::strlen (kInfinitySign)
		                                              : rest.rfind ("infinity", 0) == 0 ? 8 : 3);
		return true;
	}
	if (rest.rfind ("nan", 0) == 0)
	{
		d.nan = true;
		d.end = i + 3;
		return true;
	}
	for (; i < s.size () && std::isdigit (static_cast<unsigned char> (s[i])); ++i)
		d.whole += s[i];
	if (i < s.size () && (s[i] == '.' || s[i] == ','))
	{
		d.point = true;
		for (++i; i < s.size () && std::isdigit (static_cast<unsigned char> (s[i])); ++i)
			d.fraction += s[i];
	}
	d.end = i;
	return !d.whole.empty () || !d.fraction.empty ();
}

// The number as plain ASCII, its digits moved 'shift' places to the left of
// the point.
std::string shiftedText (const Digits& d, int shift)
{
	std::string whole = d.whole, fraction = d.fraction;
	for (int k = 0; k < shift; ++k)
	{
		whole += fraction.empty () ? '0' : fraction[0];
		if (!fraction.empty ())
			fraction.erase (0, 1);
	}
	const std::string sign = d.negative ? "-" : (d.signed_ ? "+" : "");
	return sign + (whole.empty () ? "0" : whole) + (fraction.empty () ? "" : "." + fraction);
}

const UnitName* findUnit (const std::string& typed)
{
	for (const UnitName& u : kUnits)
		if (lower (typed) == lower (u.name))
			return &u;
	return nullptr;
}

} // namespace

std::string unitsAccepted (const std::string& hostUnit)
{
	std::string names;
	for (const UnitName& u : kUnits)
		if (hostUnit == u.hostUnit)
			names += (names.empty () ? "" : ", ") + std::string (u.name);
	return names.empty () ? "none" : names;
}

NumberReading readNumber (const std::string& rawText, const std::string& hostUnit, TypedNumber& number,
                          std::string& why)
{
	const std::string text = trim (rawText);
	Digits d;
	if (!readDigits (text, d))
		return NumberReading::kNotANumber;
	if (d.nan)
	{
		why = "NaN is not a value";
		return NumberReading::kRefused;
	}
	const std::string rest = trim (text.substr (d.end));
	int shift = 0;
	if (!rest.empty ())
	{
		const UnitName* unit = findUnit (rest);
		if (unit && hostUnit != unit->hostUnit)
			why = std::string (unit->name) + " is not a unit of this setting";
		else if (!unit)
			why = "\"" + rest + "\" is left over after the number " + text.substr (0, d.end);
		if (!unit || hostUnit != unit->hostUnit)
			return NumberReading::kRefused;
		shift = unit->shift;
		number.converted = shift != 0;
	}
	if (d.infinite)
		number.hostText = d.negative ? "-inf" : "inf";
	else
		number.hostText = shiftedText (d, shift);
	number.value = d.infinite ? (d.negative ? -INFINITY : INFINITY) : std::strtod (number.hostText.c_str (), nullptr);
	return NumberReading::kNumber;
}

bool leadingNumber (const std::string& text, double& value, int& decimals)
{
	Digits d;
	if (!readDigits (trim (text), d) || d.nan)
		return false;
	if (d.infinite)
		value = d.negative ? -INFINITY : INFINITY;
	else
		value = std::strtod (shiftedText (d, 0).c_str (), nullptr);
	decimals = static_cast<int> (d.fraction.size ());
	return true;
}

} // namespace orvotool
