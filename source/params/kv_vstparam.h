// Parameter classes of the plug-in: SDK parameters with a plain range and the
// conversions between normalized values (host), plain values (state chunk,
// engine mapping, editor) and text.
//
// Every class keeps the SDK's normalized value as its only state. Conversions
// all go through the virtual toPlain/toNormalized, so getPlain, setPlain,
// getBool, getRadians and getIndex follow the subclass's mapping.
#pragma once

#include "public.sdk/source/vst/vstparameters.h"

#include <memory>
#include <vector>

namespace Steinberg {
class ConstString;

namespace Vst {

//------------------------------------------------------------------------
// How a plain value reads as text for hosts (generic views, automation lanes,
// typed values). The text is always written with a point as the decimal
// separator, whatever the process locale; reading accepts a point or a comma.
struct kv_ValueText
{
	enum Kind : int32
	{
		kNumber,   // plain value × scale, fixed decimals; minus infinity reads "-∞"
		kLevelDb,  // a linear level 0..1 shown in dB (20 log10); 0 reads "-∞"
	};
	Kind kind {kNumber};
	int32 precision {4};   // decimals
	double scale {1.};     // text units per plain unit (seconds shown in ms: 1000)
	bool showPlus {false}; // "+" before values at or above zero (gains around 0 dB)
	const char* suffix {""}; // written after the number, for values whose units text is empty
};

//------------------------------------------------------------------------
// Linear plain range [minPlain, maxPlain]; minPlain may exceed maxPlain
// (a reversed range).
class kv_VSTParam : public Parameter
{
public:
	kv_VSTParam (const TChar* title, ParamID id, int32 flags, const TChar* shortTitle,
	             const TChar* units, ParamValue minPlain, ParamValue maxPlain,
	             ParamValue defaultPlain);

	// The SDK's clamp-and-notify, except that a NaN is refused (returns false,
	// value unchanged): a NaN would otherwise reach the engine unfiltered.
	bool setNormalized (ParamValue normalized) SMTG_OVERRIDE;
	// The same store without the change notification, for the audio thread:
	// the SDK delivers notifications under the module-wide update handler's
	// lock. Returns true when the value changed.
	bool setNormalizedQuiet (ParamValue normalized);

	// The plain value in the units of the value text (see kv_ValueText).
	void toString (ParamValue normalized, String128 string) const SMTG_OVERRIDE;
	// Reads what toString writes: one number at the start of the text (leading
	// blanks skipped, trailing unit text ignored) in the value text's units, or
	// "-inf"/"-∞". False, output untouched, for text that is not a value.
	bool fromString (const TChar* string, ParamValue& normalized) const SMTG_OVERRIDE;

	// For hosts that give the value and its unit a field of 8 characters each
	// (VST 2): the value as toString writes it but without its unit, and the
	// unit alone (the units text, else the value text's suffix).
	virtual void toShortString (ParamValue normalized, String128 string) const;
	void getShortUnits (String128 string) const;

	ParamValue toPlain (ParamValue normalized) const SMTG_OVERRIDE;
	ParamValue toNormalized (ParamValue plain) const SMTG_OVERRIDE;

	virtual ParamValue getPlain () const;
	// Returns true when the normalized value changed.
	virtual bool setPlain (ParamValue plain);

	ParamValue getMinPlain () const { return minPlain; }
	ParamValue getMaxPlain () const { return maxPlain; }

	void setValueText (const kv_ValueText& text);
	const kv_ValueText& getValueText () const { return valueText; }

	OBJ_METHODS (kv_VSTParam, Parameter)

protected:
	// The text's number (in text units) as a plain value; false when it names none.
	bool textToPlain (double textValue, ParamValue& plain) const;

	ParamValue minPlain;
	ParamValue maxPlain;
	kv_ValueText valueText;
};

//------------------------------------------------------------------------
// Linear range whose two ends map to given plain values instead of the range
// ends (a gain fader whose bottom is minus infinity dB). lowEndPoint belongs
// to the numerically lower end of the plain range, highEndPoint to the upper.
class kv_VSTParamWithEndPoints : public kv_VSTParam
{
public:
	kv_VSTParamWithEndPoints (const TChar* title, ParamID id, int32 flags,
	                          const TChar* shortTitle, const TChar* units,
	                          ParamValue minPlain, ParamValue maxPlain, ParamValue defaultPlain,
	                          ParamValue lowEndPoint, ParamValue highEndPoint);

	ParamValue toPlain (ParamValue normalized) const SMTG_OVERRIDE;
	// As the base, except that a finite value at a range end whose end point
	// differs ("-25" on a fader whose bottom is minus infinity) stays just
	// inside the range: typing -25 dB gives -25 dB, not silence.
	bool fromString (const TChar* string, ParamValue& normalized) const SMTG_OVERRIDE;

	ParamValue getLowEndPoint () const { return lowEndPoint; }
	ParamValue getHighEndPoint () const { return highEndPoint; }

	OBJ_METHODS (kv_VSTParamWithEndPoints, kv_VSTParam)

protected:
	ParamValue lowEndPoint;
	ParamValue highEndPoint;
};

//------------------------------------------------------------------------
// Plain value in degrees.
class kv_VSTParamAngle : public kv_VSTParam
{
public:
	kv_VSTParamAngle (const TChar* title, ParamID id, int32 flags, const TChar* shortTitle,
	                  const TChar* units, ParamValue minPlain, ParamValue maxPlain,
	                  ParamValue defaultPlain);

	virtual double getRadians () const;
	virtual bool setRadians (double radians);

	OBJ_METHODS (kv_VSTParamAngle, kv_VSTParam)
};

//------------------------------------------------------------------------
// On/off with the threshold 0.5 in both directions; plain 0 or 1.
class kv_VSTParamBool : public kv_VSTParam
{
public:
	kv_VSTParamBool (const TChar* title, ParamID id, int32 flags, bool defaultOn,
	                 const TChar* shortTitle);

	// "On" / "Off"; reads those (any case) or a number (0.5 and above is on).
	void toString (ParamValue normalized, String128 string) const SMTG_OVERRIDE;
	bool fromString (const TChar* string, ParamValue& normalized) const SMTG_OVERRIDE;
	ParamValue toPlain (ParamValue normalized) const SMTG_OVERRIDE;
	ParamValue toNormalized (ParamValue plain) const SMTG_OVERRIDE;

	virtual bool getBool () const;
	virtual bool setBool (bool on);

	OBJ_METHODS (kv_VSTParamBool, kv_VSTParam)
};

//------------------------------------------------------------------------
// A list of texts; plain value = entry index 0..stepCount. The normalized
// range is cut into stepCount + 1 equal bins.
class kv_VSTParamIndexed : public kv_VSTParam
{
public:
	// entryTexts must outlive the parameter (static texts): they are referred
	// to, not copied.
	kv_VSTParamIndexed (const TChar* title, ParamID id, int32 flags, const TChar* shortTitle,
	                    const TChar* units, const TChar* const* entryTexts, int32 numEntries,
	                    int32 defaultIndex);
	~kv_VSTParamIndexed () SMTG_OVERRIDE;

	// The entry's text.
	void toString (ParamValue normalized, String128 string) const SMTG_OVERRIDE;
	// An entry's text or short text in any case (surrounding blanks ignored),
	// or its index.
	bool fromString (const TChar* string, ParamValue& normalized) const SMTG_OVERRIDE;
	// The entry's short text when the list has them, else its text.
	void toShortString (ParamValue normalized, String128 string) const SMTG_OVERRIDE;

	// Texts of at most 8 characters, one per entry, for hosts with narrow
	// fields; static texts, referred to as the entry texts are.
	void setShortEntryTexts (const char* const* texts) { shortEntries = texts; }

	ParamValue toPlain (ParamValue normalized) const SMTG_OVERRIDE;
	ParamValue toNormalized (ParamValue plain) const SMTG_OVERRIDE;

	virtual int32 getEntryCount () const;
	// Copies entry 'index' into 'out' (capacity maxUnits, terminator included).
	// False for an index outside the list.
	virtual bool getEntryName (int32 index, int32 maxUnits, TChar* out) const;
	virtual int32 getIndex () const;

	OBJ_METHODS (kv_VSTParamIndexed, kv_VSTParam)

protected:
	std::vector<std::unique_ptr<ConstString>> entries;
	const char* const* shortEntries {nullptr};
};

//------------------------------------------------------------------------
} // namespace Vst
} // namespace Steinberg
