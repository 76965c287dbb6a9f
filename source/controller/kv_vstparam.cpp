#include "controller/kv_vstparam.h"

#include "pluginterfaces/base/ustring.h"

// fstring.h trips -Wextra in the SDK's own code.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wextra"
#include "base/source/fstring.h"
#pragma GCC diagnostic pop

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cwchar>

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
bool kv_VSTParam::fromString (const TChar* string, ParamValue& normalized) const
{
	if (!string)
		return false;

	// wchar_t is 32 bits on Linux and 16 on Windows: widen unit by unit. A
	// number never needs more than the buffer; longer texts are cut.
	wchar_t wide[256];
	size_t n = 0;
	for (; n + 1 < sizeof (wide) / sizeof (wide[0]) && string[n] != 0; ++n)
		wide[n] = static_cast<wchar_t> (string[n]);
	wide[n] = 0;

	double plain = 0.;
	if (std::swscanf (wide, L"%lf", &plain) != 1)
		return false;
	// "nan" is a number to scanf, not to a parameter.
	if (std::isnan (plain))
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
	return getPlain () * 3.141592653589793 / 180.;
}

//------------------------------------------------------------------------
bool kv_VSTParamAngle::setRadians (double radians)
{
	return setNormalized (toNormalized (radians * 180. * 0.3183098861837907));
}

//------------------------------------------------------------------------
// kv_VSTParamBool
//------------------------------------------------------------------------
kv_VSTParamBool::kv_VSTParamBool (const TChar* title, ParamID id, int32 flags, bool defaultOn,
                                  const TChar* shortTitle)
: kv_VSTParam (title, id, flags, shortTitle, nullptr, 0., 1., defaultOn ? 1. : 0.)
{
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
bool kv_VSTParamIndexed::fromString (const TChar* /*string*/, ParamValue& /*normalized*/) const
{
	std::fputs ("kv_VSTParamIndexed::fromString --- ERROR --- not implemented\n", stderr);
	return false;
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
