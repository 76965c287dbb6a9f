// IOrvoToolAccess: what a program hosting the bundle (orvotool) asks of the
// controller beyond IEditController: the Output Format preset rows, the
// editor's linked edits (a format loads its row, Rear Width follows Width)
// and the polar response. The caller and the bundle may come from different
// builds or compilers (a user updates one of them): the interfaces hold only
// PLUGIN_API methods and plain types, and the response travels as a record
// that states its size and version.
//
// Versions, major.minor:
// - The major is part of the interface's identity: IOrvoToolAccess is major
//   1. A change an older caller would misread (a method changed, moved or
//   removed, a record field changed or moved) makes a new interface with a
//   new IID (IOrvoToolAccess2, major 2); the controller may go on offering the
//   old one beside it.
// - The minor counts additions an older caller never sees: methods appended
//   at the end of the interface. A caller needs the major it was built with
//   and at least the minor that added the last method it calls.
// - IOrvoToolVersion never changes: any caller asks it for the major.minor
//   the controller offers, so a caller that finds no interface of its own
//   major can name both versions. A controller without IOrvoToolVersion
//   predates the tool interface.
// - The response record has its own version (kOrvoResponseVersion), checked
//   by the controller on the way in and by the caller on the way out.
#pragma once

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/vst/vsttypes.h"

namespace Steinberg {
namespace Vst {

constexpr int32 kOrvoToolAccessMajor = 1;
constexpr int32 kOrvoToolAccessMinor = 0;

//------------------------------------------------------------------------
// The polar response of the current settings, as the editor draws it.
constexpr int32 kOrvoResponseVersion = 1;
constexpr int32 kOrvoResponseChannels = 6;  // the 5.1 bus: L R C LFE Ls Rs
constexpr int32 kOrvoResponsePoints = 180;  // every 2 degrees

struct OrvoResponseRecord
{
	// The caller sets both before the call: sizeof (OrvoResponseRecord) and
	// kOrvoResponseVersion as it was built. The controller fills the record
	// only when both match its own; either way it leaves its own size and
	// version here, so a caller of another version can name both.
	uint32 size;
	int32 version;

	int32 numChannels;                         // channels filled, up to 6
	int32 numPoints;                           // points filled, up to 180
	int32 channelMuted[kOrvoResponseChannels]; // 1: the channel's mute is on
	float angle[kOrvoResponsePoints];          // radians, clockwise from the front (right at pi/2)
	float response[kOrvoResponseChannels][kOrvoResponsePoints]; // linear 0..1
};
// Four-byte fields only: no padding, the same layout from every compiler.
static_assert (sizeof (OrvoResponseRecord) == 4 * (4 + 6 + 180 + 6 * 180),
               "the response record's layout is part of the interface");

//------------------------------------------------------------------------
// The version query. Its IID and its one method never change.
class IOrvoToolVersion : public FUnknown
{
public:
	// The major and minor of the IOrvoToolAccess this controller offers.
	virtual tresult PLUGIN_API getToolAccessVersion (int32* major, int32* minor) = 0;

	static const FUID iid;
};

DECLARE_CLASS_IID (IOrvoToolVersion, 0x57BC380C, 0x358A4756, 0x82162B84, 0x6B9C5671)

//------------------------------------------------------------------------
// Major 1. Parameter values are normalized, as IEditController has them.
class IOrvoToolAccess : public FUnknown
{
public:
	// Number of Output Format preset rows (one per list entry).
	virtual int32 PLUGIN_API getFormatPresetCount () = 0;
	// The normalized value of setting 'id' in the row of format 'row';
	// kInvalidArgument for a row or a setting that does not exist.
	virtual tresult PLUGIN_API getFormatPresetValue (int32 row, ParamID id,
	                                                 ParamValue* normalized) = 0;
	// Sets a parameter as the editor does: an Output Format loads its
	// preset row, a Width moves a Rear Width that follows it, and switching
	// Rear Width off snaps it to the value that follows from Width. Any other
	// setting is set as given. kInvalidArgument for a meter, an unknown
	// identifier or NaN.
	virtual tresult PLUGIN_API setParamAsEditor (ParamID id, ParamValue normalized) = 0;
	// Fills the record (see OrvoResponseRecord). kInvalidArgument, with only
	// size and version written, when the caller's size or version is not the
	// controller's; kInvalidArgument, nothing written, for a null record.
	virtual tresult PLUGIN_API getResponse (OrvoResponseRecord* record) = 0;

	static const FUID iid;
};

DECLARE_CLASS_IID (IOrvoToolAccess, 0x7E9ADE7A, 0x5EB8475C, 0xA8C533A5, 0xF4B8EE72)

} // namespace Vst
} // namespace Steinberg
