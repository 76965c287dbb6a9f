#include "params/kv_vstparam.h"
#include "params/orvounits.h"

#include "pluginterfaces/base/ustring.h"

// fstring.h trips -Wextra in the SDK's own code.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wextra"
#include "base/source/fstring.h"
#pragma GCC diagnostic pop

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace Steinberg {
namespace Vst {

namespace {

// Copies a UTF-16 text into a 128-unit ParameterInfo field: at most 127 units
// plus the terminator. A null text gives an empty field.
void copyInfoText (String128 dst, const TChar* src)
{
	if (src)
		UString (dst, str16BufferSize (String128)).assign (src);
	else
		dst[0] = 0;
}

// Normalized input clamped to [0, 1]; a NaN counts as 0.
double clampUnit (double x)
{
	if (!(x > 0.))
		return 0.;
	return x > 1. ? 1. : x;
}

//------------------------------------------------------------------------
// Value texts. Hosts may run with any C locale (a decimal comma), and a text
// that a host shows must read back in the same host: texts are written with
// a decimal point by hand, and read by hand accepting a point or a comma, so
// neither side depends on the process locale.

constexpr char16 kInfinitySign = 0x221E;
constexpr char16 kMinusSign = 0x2212; // typographic minus, as some hosts print it

bool isBlank (char16 c)
{
	return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0x00A0 || c == 0x202F;
}

const TChar* skipBlanks (const TChar* s)
{
	while (isBlank (*s))
		++s;
	return s;
}

char16 lowerAscii (char16 c)
{
	return (c >= 'A' && c <= 'Z') ? static_cast<char16> (c - 'A' + 'a') : c;
}

bool isLetter (char16 c)
{
	c = lowerAscii (c);
	return c >= 'a' && c <= 'z';
}

bool isDigit (char16 c)
{
	return c >= '0' && c <= '9';
}

// True when 's' starts with 'word' (ASCII, any case) and no letter follows;
// 'rest' then points behind the word.
bool startsWithWord (const TChar* s, const char* word, const TChar*& rest)
{
	for (; *word; ++word, ++s)
		if (lowerAscii (*s) != static_cast<char16> (*word))
			return false;
	if (isLetter (*s))
		return false;
	rest = s;
	return true;
}

// Reads a decimal number (optional sign, digits with a point or a comma,
// optional exponent) or an infinity ("inf", "infinity", "∞", signed) from
// the start of the text, after blanks; whatever follows is ignored. Never
// yields a NaN. Digits beyond 18 significant ones are dropped. 'end', when
// given, receives the position behind the number.
bool parseNumber (const TChar* text, double& out, const TChar** end = nullptr)
{
	const TChar* s = skipBlanks (text);
	bool negative = false;
	if (*s == '+' || *s == '-' || *s == kMinusSign)
	{
		negative = *s != '+';
		++s;
	}
	const TChar* rest = nullptr;
	if (*s == kInfinitySign || startsWithWord (s, "infinity", rest) || startsWithWord (s, "inf", rest))
	{
		out = negative ? -INFINITY : INFINITY;
		if (end)
			*end = *s == kInfinitySign ? s + 1 : rest;
		return true;
	}

	uint64_t mantissa = 0;
	int32 digits = 0;
	int32 significant = 0;
	int32 exponent = 0;
	auto addDigit = [&] (char16 c, bool fraction) {
		++digits;
		if (significant < 18)
		{
			mantissa = mantissa * 10 + static_cast<uint64_t> (c - '0');
			if (mantissa != 0)
				++significant;
			if (fraction)
				--exponent;
		}
		else if (!fraction)
			++exponent;
	};
	for (; isDigit (*s); ++s)
		addDigit (*s, false);
	if (*s == '.' || *s == ',')
		for (++s; isDigit (*s); ++s)
			addDigit (*s, true);
	if (digits == 0)
		return false;
	if (lowerAscii (*s) == 'e')
	{
		const TChar* e = s + 1;
		bool expNegative = false;
		if (*e == '+' || *e == '-' || *e == kMinusSign)
			expNegative = *e++ != '+';
		if (isDigit (*e))
		{
			int32 value = 0;
			for (; isDigit (*e); ++e)
				value = std::min (value * 10 + (*e - '0'), 100000);
			exponent += expNegative ? -value : value;
			s = e;
		}
	}

	// Exact for up to 15 digits with a power of ten up to 22 (both factors
	// are exact doubles, so one rounding); otherwise close to the last bit.
	static const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
	                                1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
	                                1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
	const auto m = static_cast<double> (mantissa);
	double value = 0.;
	if (mantissa == 0)
		value = 0.;
	else if (exponent >= 0 && exponent <= 22)
		value = m * kPow10[exponent];
	else if (exponent < 0 && exponent >= -22)
		value = m / kPow10[-exponent];
	else
		value = static_cast<double> (static_cast<long double> (m) *
		                             std::pow (10.0L, static_cast<long double> (exponent)));
	out = negative ? -value : value;
	if (end)
		*end = s;
	return true;
}

void writeAscii (String128 out, const char* text)
{
	size_t i = 0;
	for (; text[i] && i + 1 < str16BufferSize (String128); ++i)
		out[i] = static_cast<char16> (text[i]);
	out[i] = 0;
}

// Fixed-point text of 'value' with 'precision' decimals and a point as the
// separator; a value that rounds to zero has no minus sign.
void writeNumber (String128 out, double value, int32 precision, bool showPlus)
{
	if (std::isinf (value))
	{
		out[0] = value < 0. ? '-' : '+';
		out[1] = kInfinitySign;
		out[2] = 0;
		return;
	}
	if (std::isnan (value))
	{
		writeAscii (out, "-");
		return;
	}
	precision = std::min (std::max (precision, 0), 9);
	double scale = 1.;
	for (int32 i = 0; i < precision; ++i)
		scale *= 10.;
	const double scaled = std::round (value * scale);
	char text[64];
	if (!(std::fabs (scaled) < 9e15))
	{
		// Far beyond any parameter's range: whole units are precise enough.
		std::snprintf (text, sizeof (text), "%s%.0f", value < 0. ? "-" : (showPlus ? "+" : ""),
		               std::fabs (value));
		writeAscii (out, text);
		return;
	}
	const auto units = static_cast<uint64_t> (std::fabs (scaled));
	const auto whole = static_cast<uint64_t> (scale);
	const char* sign = scaled < 0. ? "-" : (showPlus ? "+" : "");
	if (precision == 0)
		std::snprintf (text, sizeof (text), "%s%llu", sign, static_cast<unsigned long long> (units));
	else
		std::snprintf (text, sizeof (text), "%s%llu.%0*llu", sign,
		               static_cast<unsigned long long> (units / whole), precision,
		               static_cast<unsigned long long> (units % whole));
	writeAscii (out, text);
}

// The text with blanks at both ends removed, compared with 'word' (ASCII or
// UTF-16 literal, any ASCII case).
template <typename CharT>
bool equalsIgnoringCase (const TChar* text, const CharT* word)
{
	const TChar* s = skipBlanks (text);
	for (; *word; ++word, ++s)
		if (lowerAscii (*s) != lowerAscii (static_cast<char16> (*word)))
			return false;
	return *skipBlanks (s) == 0;
}

} // namespace

//------------------------------------------------------------------------
// kv_VSTParam
//------------------------------------------------------------------------
kv_VSTParam::kv_VSTParam (const TChar* title, ParamID id, int32 flags, const TChar* shortTitle,
                          const TChar* units, ParamValue minPlain_, ParamValue maxPlain_,
                          ParamValue defaultPlain)
: minPlain (minPlain_), maxPlain (maxPlain_)
{
	copyInfoText (info.title, title);
	copyInfoText (info.shortTitle, shortTitle);
	copyInfoText (info.units, units);
	info.id = id;
	info.flags = flags;
	info.stepCount = 0;
	info.unitId = 0;
	// Converted with this class's linear mapping whatever the subclass: the
	// subclasses adjust their defaults afterwards where they need to.
	info.defaultNormalizedValue = kv_VSTParam::toNormalized (defaultPlain);
	setNormalized (info.defaultNormalizedValue);
}

//------------------------------------------------------------------------
bool kv_VSTParam::setNormalized (ParamValue normalized)
{
	if (std::isnan (normalized))
		return false;
	return Parameter::setNormalized (normalized);
}

//------------------------------------------------------------------------
bool kv_VSTParam::setNormalizedQuiet (ParamValue normalized)
{
	if (std::isnan (normalized))
		return false;
	const double v = clampUnit (normalized);
	if (v == valueNormalized)
		return false;
	valueNormalized = v;
	return true;
}

//------------------------------------------------------------------------
void kv_VSTParam::setValueText (const kv_ValueText& text)
{
	valueText = text;
	precision = text.precision;
}

//------------------------------------------------------------------------
void kv_VSTParam::toShortString (ParamValue normalized, String128 string) const
{
	toString (normalized, string);
	// The suffix is the unit: it goes to the unit's own field.
	const char* suffix = valueText.suffix ? valueText.suffix : "";
	size_t len = 0, suffixLen = std::strlen (suffix);
	while (string[len])
		++len;
	if (suffixLen == 0 || suffixLen > len)
		return;
	for (size_t i = 0; i < suffixLen; ++i)
		if (string[len - suffixLen + i] != static_cast<char16> (suffix[i]))
			return;
	string[len - suffixLen] = 0;
}

//------------------------------------------------------------------------
void kv_VSTParam::getShortUnits (String128 string) const
{
	size_t len = 0;
	if (info.units[0])
	{
		for (; info.units[len] && len + 1 < str16BufferSize (String128); ++len)
			string[len] = info.units[len];
	}
	else if (valueText.suffix)
	{
		const char* c = valueText.suffix;
		while (*c == ' ')
			++c;
		for (; *c && len + 1 < str16BufferSize (String128); ++c)
			string[len++] = static_cast<char16> (*c);
	}
	string[len] = 0;
}

//------------------------------------------------------------------------
bool kv_VSTParam::textToPlain (double textValue, ParamValue& plain) const
{
	if (std::isnan (textValue))
		return false;
	if (valueText.kind == kv_ValueText::kLevelDb)
		plain = orvo_units::dbToLevel (textValue);
	else
		plain = valueText.scale != 0. ? textValue / valueText.scale : textValue;
	return !std::isnan (plain);
}

//------------------------------------------------------------------------
void kv_VSTParam::toString (ParamValue normalized, String128 string) const
{
	const double plain = toPlain (normalized);
	double shown = plain * valueText.scale;
	if (valueText.kind == kv_ValueText::kLevelDb)
		shown = orvo_units::levelToDb (plain);
	writeNumber (string, shown, valueText.precision, valueText.showPlus);
	if (valueText.suffix && valueText.suffix[0])
	{
		size_t len = 0;
		while (string[len])
			++len;
		for (const char* c = valueText.suffix; *c && len + 1 < str16BufferSize (String128); ++c)
			string[len++] = static_cast<char16> (*c);
		string[len] = 0;
	}
}

//------------------------------------------------------------------------
bool kv_VSTParam::fromString (const TChar* string, ParamValue& normalized) const
{
	double value = 0.;
	ParamValue plain = 0.;
	if (!string || !parseNumber (string, value) || !textToPlain (value, plain))
		return false;
	normalized = toNormalized (plain);
	return true;
}

//------------------------------------------------------------------------
ParamValue kv_VSTParam::toPlain (ParamValue normalized) const
{
	return minPlain + clampUnit (normalized) * (maxPlain - minPlain);
}

//------------------------------------------------------------------------
ParamValue kv_VSTParam::toNormalized (ParamValue plain) const
{
	if (std::isnan (plain) || maxPlain == minPlain)
		return 0.;
	const double lo = std::min (minPlain, maxPlain);
	const double hi = std::max (minPlain, maxPlain);
	const double c = plain < lo ? lo : (plain > hi ? hi : plain);
	return (c - minPlain) / (maxPlain - minPlain);
}

//------------------------------------------------------------------------
ParamValue kv_VSTParam::getPlain () const
{
	return toPlain (valueNormalized);
}

//------------------------------------------------------------------------
bool kv_VSTParam::setPlain (ParamValue plain)
{
	if (std::isnan (plain))
		return false;
	return setNormalized (toNormalized (plain));
}

//------------------------------------------------------------------------
// kv_VSTParamWithEndPoints
//------------------------------------------------------------------------
kv_VSTParamWithEndPoints::kv_VSTParamWithEndPoints (const TChar* title, ParamID id, int32 flags,
                                                    const TChar* shortTitle, const TChar* units,
                                                    ParamValue minPlain_, ParamValue maxPlain_,
                                                    ParamValue defaultPlain,
                                                    ParamValue lowEndPoint_,
                                                    ParamValue highEndPoint_)
: kv_VSTParam (title, id, flags, shortTitle, units, minPlain_, maxPlain_, defaultPlain)
, lowEndPoint (lowEndPoint_)
, highEndPoint (highEndPoint_)
{
}

//------------------------------------------------------------------------
ParamValue kv_VSTParamWithEndPoints::toPlain (ParamValue normalized) const
{
	// The end points replace the range ends; inside the range the mapping is
	// the plain linear one. A NaN counts as normalized 0.
	const bool ascending = maxPlain >= minPlain;
	if (normalized >= 1.)
		return ascending ? highEndPoint : lowEndPoint;
	if (!(normalized > 0.))
		return ascending ? lowEndPoint : highEndPoint;
	return minPlain + normalized * (maxPlain - minPlain);
}

//------------------------------------------------------------------------
bool kv_VSTParamWithEndPoints::fromString (const TChar* string, ParamValue& normalized) const
{
	// A text value a little beyond the range still reads as the range end.
	// How far inside: far below any step a host or a display resolves.
	constexpr double kInside = 1e-6;
	double value = 0.;
	ParamValue plain = 0.;
	if (!string || !parseNumber (string, value) || !textToPlain (value, plain))
		return false;
	double n = toNormalized (plain);
	if (std::isfinite (plain) && (n <= 0. || n >= 1.) && toPlain (n) != kv_VSTParam::toPlain (n))
		n = n <= 0. ? kInside : 1. - kInside;
	normalized = n;
	return true;
}

//------------------------------------------------------------------------
// kv_VSTParamAngle
//------------------------------------------------------------------------
kv_VSTParamAngle::kv_VSTParamAngle (const TChar* title, ParamID id, int32 flags,
                                    const TChar* shortTitle, const TChar* units,
                                    ParamValue minPlain_, ParamValue maxPlain_,
                                    ParamValue defaultPlain)
: kv_VSTParam (title, id, flags, shortTitle, units, minPlain_, maxPlain_, defaultPlain)
{
}

//------------------------------------------------------------------------
double kv_VSTParamAngle::getRadians () const
{
	return orvo_units::degreesToRadians (getPlain ());
}

//------------------------------------------------------------------------
bool kv_VSTParamAngle::setRadians (double radians)
{
	return setNormalized (toNormalized (orvo_units::radiansToDegrees (radians)));
}

//------------------------------------------------------------------------
// kv_VSTParamBool
//------------------------------------------------------------------------
kv_VSTParamBool::kv_VSTParamBool (const TChar* title, ParamID id, int32 flags, bool defaultOn,
                                  const TChar* shortTitle)
: kv_VSTParam (title, id, flags, shortTitle, nullptr, 0., 1., defaultOn ? 1. : 0.)
{
	// Two steps: hosts show a toggle, automate it without ramps and hand back
	// exactly the value they set.
	info.stepCount = 1;
}

//------------------------------------------------------------------------
// One threshold in both directions, so a host value of 0.7 reads as on. A
// NaN reads as off.
ParamValue kv_VSTParamBool::toPlain (ParamValue normalized) const
{
	return normalized >= 0.5 ? 1. : 0.;
}

//------------------------------------------------------------------------
ParamValue kv_VSTParamBool::toNormalized (ParamValue plain) const
{
	return plain >= 0.5 ? 1. : 0.;
}

//------------------------------------------------------------------------
void kv_VSTParamBool::toString (ParamValue normalized, String128 string) const
{
	writeAscii (string, toPlain (normalized) >= 0.5 ? "On" : "Off");
}

//------------------------------------------------------------------------
bool kv_VSTParamBool::fromString (const TChar* string, ParamValue& normalized) const
{
	if (!string)
		return false;
	double value = 0.;
	const TChar* rest = nullptr;
	const TChar* s = skipBlanks (string);
	if (startsWithWord (s, "on", rest))
		value = 1.;
	else if (startsWithWord (s, "off", rest))
		value = 0.;
	else if (!parseNumber (s, value))
		return false;
	normalized = toNormalized (value);
	return true;
}

//------------------------------------------------------------------------
bool kv_VSTParamBool::getBool () const
{
	return getPlain () >= 0.5;
}

//------------------------------------------------------------------------
bool kv_VSTParamBool::setBool (bool on)
{
	return setNormalized (toNormalized (on ? 1. : 0.));
}

//------------------------------------------------------------------------
// kv_VSTParamIndexed
//------------------------------------------------------------------------
kv_VSTParamIndexed::kv_VSTParamIndexed (const TChar* title, ParamID id, int32 flags,
                                        const TChar* shortTitle, const TChar* units,
                                        const TChar* const* entryTexts, int32 numEntries,
                                        int32 defaultIndex)
: kv_VSTParam (title, id, flags, shortTitle, units, 0., numEntries > 1 ? numEntries - 1. : 0., 0.)
{
	if (!entryTexts || numEntries < 0)
		numEntries = 0;
	info.stepCount = numEntries > 1 ? numEntries - 1 : 0;
	entries.reserve (static_cast<size_t> (numEntries));
	for (int32 i = 0; i < numEntries; ++i)
		entries.push_back (std::make_unique<ConstString> (entryTexts[i]));

	info.defaultNormalizedValue =
	    info.stepCount > 0 ? static_cast<double> (defaultIndex) / info.stepCount : 0.;
	setNormalized (clampUnit (info.defaultNormalizedValue));
}

//------------------------------------------------------------------------
kv_VSTParamIndexed::~kv_VSTParamIndexed () = default;

//------------------------------------------------------------------------
void kv_VSTParamIndexed::toString (ParamValue normalized, String128 string) const
{
	// toPlain keeps the index inside the list, also for a normalized value
	// below 0 (entry 0) or above 1 (the last entry).
	const auto index = static_cast<size_t> (toPlain (normalized));
	if (index >= entries.size ())
		return;
	const ConstString& text = *entries[index];
	const int32 len = std::min (text.length (), static_cast<int32> (str16BufferSize (String128)) - 1);
	const char16* src = text.text16 ();
	for (int32 i = 0; i < len; ++i)
		string[i] = src[i];
	string[len] = 0;
}

//------------------------------------------------------------------------
void kv_VSTParamIndexed::toShortString (ParamValue normalized, String128 string) const
{
	const auto index = static_cast<size_t> (toPlain (normalized));
	if (!shortEntries || index >= entries.size ())
	{
		toString (normalized, string);
		return;
	}
	size_t len = 0;
	for (const char* c = shortEntries[index]; *c && len + 1 < str16BufferSize (String128); ++c)
		string[len++] = static_cast<char16> (*c);
	string[len] = 0;
}

//------------------------------------------------------------------------
bool kv_VSTParamIndexed::fromString (const TChar* string, ParamValue& normalized) const
{
	if (!string || info.stepCount <= 0)
		return false;
	for (size_t i = 0; i < entries.size (); ++i)
	{
		if (equalsIgnoringCase (string, entries[i]->text16 ()) ||
		    (shortEntries && equalsIgnoringCase (string, shortEntries[i])))
		{
			normalized = toNormalized (static_cast<double> (i));
			return true;
		}
	}
	// Or the index itself, a whole number inside the list.
	double index = 0.;
	const TChar* end = nullptr;
	if (!parseNumber (string, index, &end) || *skipBlanks (end) != 0 ||
	    index != std::floor (index) || index < 0. || index > info.stepCount)
		return false;
	normalized = toNormalized (index);
	return true;
}

//------------------------------------------------------------------------
ParamValue kv_VSTParamIndexed::toPlain (ParamValue normalized) const
{
	// stepCount + 1 equal bins; the top bin includes 1. Values below 0 (and
	// NaN) give entry 0, never a negative index.
	const int32 n = info.stepCount;
	if (!(normalized > 0.))
		return 0.;
	return std::min (std::floor ((n + 1) * normalized), static_cast<double> (n));
}

//------------------------------------------------------------------------
ParamValue kv_VSTParamIndexed::toNormalized (ParamValue plain) const
{
	if (info.stepCount <= 0 || std::isnan (plain))
		return 0.;
	return plain / info.stepCount;
}

//------------------------------------------------------------------------
int32 kv_VSTParamIndexed::getEntryCount () const
{
	return info.stepCount + 1;
}

//------------------------------------------------------------------------
bool kv_VSTParamIndexed::getEntryName (int32 index, int32 maxUnits, TChar* out) const
{
	if (index < 0 || index > info.stepCount || static_cast<size_t> (index) >= entries.size ())
		return false;
	if (out && maxUnits > 0)
	{
		const ConstString& text = *entries[static_cast<size_t> (index)];
		const int32 len = std::min (text.length (), maxUnits - 1);
		const char16* src = text.text16 ();
		for (int32 i = 0; i < len; ++i)
			out[i] = src[i];
		out[len] = 0;
	}
	return true;
}

//------------------------------------------------------------------------
int32 kv_VSTParamIndexed::getIndex () const
{
	return static_cast<int32> (toPlain (valueNormalized) + 0.5);
}

//------------------------------------------------------------------------
} // namespace Vst
} // namespace Steinberg
