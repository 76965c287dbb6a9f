#include "controller/orvocontroller.h"
#include "editor/orvoview.h"

#include "params/kv_vstparam.h"
#include "params/orvoparams.h"
#include "params/orvoparammap.h"
#include "params/orvostatechunk.h"

#include "base/source/fstreamer.h"
#include "pluginterfaces/base/ustring.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Steinberg {
namespace Vst {

DEF_CLASS_IID (IOrvoToolAccess)
DEF_CLASS_IID (IOrvoToolVersion)

FUnknown* OrvoController::createInstance (void* /*context*/)
{
	return static_cast<IEditController*> (new OrvoController ());
}

tresult PLUGIN_API OrvoController::initialize (FUnknown* context)
{
	const tresult result = EditControllerEx1::initialize (context);
	if (result != kResultOk)
		return result;

	for (const OrvoUnitDesc& desc : kOrvoUnits)
	{
		String128 name {};
		UString (name, 128).assign (desc.name);
		addUnit (new Unit (name, desc.id, desc.parentId, desc.programListId));
	}
	if (!createParameters (parameters))
		return kOutOfMemory;

	// The private engine only designs decodes for the display: set up at a
	// fixed rate and never given work buffers.
	engineSetup = {};
	engineParams = {};
	engineState = {};
	engineBuffers = {};
	engineResponse = {};
	responseDirty = true;
	sfm_setup_init (&engineSetup, 48000.f);
	engineSetup.numInputs = 3;
	engineSetup.numOutputs = 6;
	engineSetup.inputFormat = SFM_FORMAT_SEPARATE | SFM_FORMAT_FLOAT32;
	engineSetup.outputFormat = SFM_FORMAT_SEPARATE | SFM_FORMAT_FLOAT32;
	sfm_params_default (&engineParams);
	sfm_init (&engineState, &engineBuffers, &engineSetup, engineParams, nullptr, &engineResponse);

	for (int32 row = 0; row < kNumFormatPresets; ++row)
		for (int32 id = 0; id < kFormatPresetColumns; ++id)
			formatPresets[row][id] =
			    plainParamToNormalized (static_cast<ParamID> (id), formatPresetTable[row][id]);
	return kResultOk;
}

tresult PLUGIN_API OrvoController::terminate ()
{
	views.clear ();
	sfm_free (&engineState, &engineBuffers, nullptr, nullptr);
	return EditControllerEx1::terminate ();
}

tresult PLUGIN_API OrvoController::setComponentState (IBStream* state)
{
	if (!state)
		return kResultFalse;
	// A damaged chunk still sets the entries before its fault (the processor
	// plays them), so the views follow whatever the reader did.
	const tresult result = readStateChunk (state, parameters);
	updateAllViews ();
	return result;
}

// The controller's chunk, little-endian: the four bytes "OrvC", an int32
// version, the bypass switch as a normalized double and, from version 2 on,
// the editor's zoom as a double (1 is the designed size). A version 1 chunk
// leaves the zoom as it is.
namespace {
constexpr char kControllerChunkTag[4] = {'O', 'r', 'v', 'C'};
constexpr int32 kControllerChunkVersion = 2;
constexpr int32 kFirstChunkVersion = 1;

// The zoom nearest to 'zoom' among those the editor offers.
double offeredZoom (double zoom)
{
	double best = OrvoView::kZooms[0];
	for (double z : OrvoView::kZooms)
		if (std::abs (z - zoom) < std::abs (best - zoom))
			best = z;
	return best;
}
} // namespace

void OrvoController::setEditorZoom (double zoom)
{
	if (!(zoom == zoom))
		return;
	editorZoom = offeredZoom (zoom);
	// An open editor follows a zoom that a loaded state brings.
	for (auto* view : views)
		if (auto* editor = dynamic_cast<OrvoView*> (view))
			if (editor->getZoom () != editorZoom)
				editor->setZoom (editorZoom);
}

tresult PLUGIN_API OrvoController::getState (IBStream* state)
{
	if (!state)
		return kResultFalse;
	IBStreamer out (state, kLittleEndian);
	const bool ok = out.writeRaw (kControllerChunkTag, sizeof (kControllerChunkTag)) ==
	                    static_cast<TSize> (sizeof (kControllerChunkTag)) &&
	                out.writeInt32 (kControllerChunkVersion) &&
	                out.writeDouble (getParamNormalized (kParamBypass)) && out.writeDouble (editorZoom);
	return ok ? kResultOk : kResultFalse;
}

tresult PLUGIN_API OrvoController::setState (IBStream* state)
{
	if (!state)
		return kResultFalse;
	IBStreamer in (state, kLittleEndian);
	char tag[sizeof (kControllerChunkTag)] {};
	int32 version = 0;
	double bypassed = 0.;
	double zoom = editorZoom;
	// Anything but a whole chunk of a known version changes nothing.
	if (in.readRaw (tag, sizeof (tag)) != static_cast<TSize> (sizeof (tag)) ||
	    std::memcmp (tag, kControllerChunkTag, sizeof (tag)) != 0 || !in.readInt32 (version) ||
	    version < kFirstChunkVersion || version > kControllerChunkVersion ||
	    !in.readDouble (bypassed) || !(bypassed == bypassed))
		return kResultFalse;
	if (version >= 2 && (!in.readDouble (zoom) || !(zoom == zoom)))
		return kResultFalse;
	setParamNormalized (kParamBypass, std::clamp (bypassed, 0., 1.));
	setEditorZoom (zoom);
	return kResultOk;
}

tresult PLUGIN_API OrvoController::setParamNormalized (ParamID tag, ParamValue value)
{
	Parameter* p = getParameterObject (tag);
	if (!p || !(value == value)) // unknown, or a non-number that carries no value
		return kResultFalse;
	p->setNormalized (value);
	const double plain = p->toPlain (p->getNormalized ());
	// Meter traffic arrives continuously and never changes the decode.
	if (tag < kParamVuInFront)
		responseDirty = true;
	notifyViews (tag, plain);
	return kResultOk;
}

IPlugView* PLUGIN_API OrvoController::createView (FIDString name)
{
	if (!name || std::strcmp (name, ViewType::kEditor) != 0)
		return nullptr;
	return new OrvoView (this, this, this);
}

void OrvoController::editorAttached (EditorView* editor)
{
	if (auto* view = dynamic_cast<kv_IView*> (editor))
		addView (view);
}

void OrvoController::editorRemoved (EditorView* editor)
{
	if (auto* view = dynamic_cast<kv_IView*> (editor))
		removeView (view);
}

void OrvoController::addView (kv_IView* view)
{
	if (!view)
		return;
	views.push_back (view);
	updateAllViews ();
}

void OrvoController::removeView (kv_IView* view)
{
	auto it = std::find (views.begin (), views.end (), view);
	if (it != views.end ())
		views.erase (it);
}

void OrvoController::notifyViews (ParamID id, double plain)
{
	for (kv_IView* view : views)
		if (view)
			view->parameterChanged (id, plain);
}

void OrvoController::updateAllViews ()
{
	const int32 count = parameters.getParameterCount ();
	for (kv_IView* view : views)
	{
		if (!view)
			continue;
		for (int32 i = 0; i < count; ++i)
		{
			Parameter* p = parameters.getParameterByIndex (i);
			if (p)
				view->parameterChanged (p->getInfo ().id, p->toPlain (p->getNormalized ()));
		}
	}
	responseDirty = true;
}

// Hosts build their controls' ranges from the plain values at normalized 0
// and 1; a closed gain's minus infinity there turns a generic fader's
// position into NaN. Hosts get the linear end of the range instead (-25 dB);
// the text at that end still reads minus infinity, and the parameter objects,
// the editor and the state keep it.
ParamValue PLUGIN_API OrvoController::normalizedParamToPlain (ParamID tag, ParamValue value)
{
	const ParamValue plain = EditControllerEx1::normalizedParamToPlain (tag, value);
	if (std::isfinite (plain))
		return plain;
	auto* p = dynamic_cast<kv_VSTParam*> (getParameterObject (tag));
	if (!p)
		return 0.0;
	const ParamValue x = std::clamp (value, 0.0, 1.0);
	return p->getMinPlain () + x * (p->getMaxPlain () - p->getMinPlain ());
}

//------------------------------------------------------------------------
// kv_IEffect
//------------------------------------------------------------------------

double OrvoController::getParameter (ParamID id)
{
	Parameter* p = getParameterObject (id);
	return p ? p->toPlain (p->getNormalized ()) : 0.0;
}

double OrvoController::getParameterDefault (ParamID id)
{
	ParameterInfo info {};
	if (getParameterInfoByTag (id, info) != kResultOk)
		return 0.0;
	return normalizedParamToPlain (id, info.defaultNormalizedValue);
}

void OrvoController::editGroup (const ParamID* ids, const ParamValue* values, int32 count)
{
	// One gesture for the host: every parameter is opened, moved and closed
	// inside one group edit (hosts without group edits ignore the brackets).
	startGroupEdit ();
	for (int32 i = 0; i < count; ++i)
		beginEdit (ids[i]);
	for (int32 i = 0; i < count; ++i)
		performEdit (ids[i], values[i]);
	for (int32 i = 0; i < count; ++i)
		endEdit (ids[i]);
	finishGroupEdit ();
}

void OrvoController::setParameter (ParamID id, double plain)
{
	if (id >= kParamVuInFront)
		return; // meters are the processor's to write
	if (!getParameterObject (id))
		return; // no such parameter: nothing to tell the host
	if (!(plain == plain))
		return; // a non-number carries no setting

	if (id == kParamRearWidthOn)
	{
		if (plain != 0.0)
		{
			const ParamValue on = plainParamToNormalized (id, plain);
			setParamNormalized (id, on);
			performEdit (id, on);
			return;
		}
		// Switching off snaps Rear Width to the value that follows from Width.
		const ParamValue rear =
		    plainParamToNormalized (kParamRearWidth, rearWidthForWidth (getParameter (kParamWidth)));
		const ParamValue off = plainParamToNormalized (id, 0.0);
		setParamNormalized (id, off);
		setParamNormalized (kParamRearWidth, rear);
		const ParamID ids[] = {kParamRearWidthOn, kParamRearWidth};
		const ParamValue values[] = {off, rear};
		editGroup (ids, values, 2);
		return;
	}

	if (id == kParamOutFormat)
	{
		// Nearest list index, rounded in single precision as the editor's
		// controls deliver it.
		// Checked before the conversion: a float beyond the integers has none.
		const float rounded = std::floor (static_cast<float> (plain) + 0.5f);
		if (!(rounded >= 0.f && rounded < static_cast<float> (kNumFormatPresets)))
			return;
		const auto index = static_cast<uint32> (rounded);
		const double* row = formatPresets[index];
		constexpr int32 count = kNumUserParams;
		ParamID ids[count];
		ParamValue values[count];
		for (int32 i = 0; i < count; ++i)
		{
			ids[i] = static_cast<ParamID> (i + 1);
			values[i] = row[i + 1];
			setParamNormalized (ids[i], values[i]);
		}
		editGroup (ids, values, count);
		return;
	}

	if (id == kParamWidth && getParameter (kParamRearWidthOn) == 0.0)
	{
		// Rear Width follows Width while its own control is off.
		const ParamValue width = plainParamToNormalized (id, plain);
		const ParamValue rear = plainParamToNormalized (kParamRearWidth, rearWidthForWidth (plain));
		setParamNormalized (id, width);
		setParamNormalized (kParamRearWidth, rear);
		const ParamID ids[] = {kParamWidth, kParamRearWidth};
		const ParamValue values[] = {width, rear};
		editGroup (ids, values, 2);
		return;
	}

	// The editor brackets a gesture with beginEdit/endEdit itself.
	const ParamValue value = plainParamToNormalized (id, plain);
	setParamNormalized (id, value);
	performEdit (id, value);
}

double OrvoController::rearWidthForWidth (double widthDegrees)
{
	return Vst::rearWidthForWidth (engineParams, widthDegrees);
}

const sfm_response& OrvoController::currentResponse ()
{
	if (responseDirty)
	{
		responseDirty = false;
		applyParameters (parameters, &engineState, &engineParams);
		sfm_set_params (&engineState, &engineBuffers, engineParams);
		sfm_compute_response (&engineState, &engineResponse);
	}
	return engineResponse;
}

void OrvoController::getDisplayData (int32 request, void* buffer)
{
	if (request != kResponseRequest || !buffer)
		return;
	std::memcpy (buffer, &currentResponse (), sizeof (sfm_response));
}

//------------------------------------------------------------------------
// IOrvoToolAccess, IOrvoToolVersion
//------------------------------------------------------------------------

int32 PLUGIN_API OrvoController::getFormatPresetCount ()
{
	return kNumFormatPresets;
}

tresult PLUGIN_API OrvoController::getFormatPresetValue (int32 row, ParamID id,
                                                         ParamValue* normalized)
{
	if (!normalized || row < 0 || row >= kNumFormatPresets || id < 1 || id > kNumUserParams)
		return kInvalidArgument;
	*normalized = formatPresets[row][id];
	return kResultOk;
}

tresult PLUGIN_API OrvoController::setParamAsEditor (ParamID id, ParamValue normalized)
{
	if (id < 1 || id > kNumUserParams || !getParameterObject (id) || !(normalized == normalized))
		return kInvalidArgument;
	if (id == kParamOutFormat || id == kParamWidth || id == kParamRearWidthOn)
	{
		setParameter (id, normalizedParamToPlain (id, normalized));
		return kResultOk;
	}
	// Set as given: a round trip through the plain value could move a
	// normalized value the host's text parser placed just inside a range end.
	setParamNormalized (id, normalized);
	performEdit (id, getParamNormalized (id));
	return kResultOk;
}

tresult PLUGIN_API OrvoController::getResponse (OrvoResponseRecord* record)
{
	static_assert (SFM_RESPONSE_POINTS == kOrvoResponsePoints,
	               "the record carries every point of the engine's response");
	if (!record)
		return kInvalidArgument;
	const bool matches = record->size == sizeof (OrvoResponseRecord) &&
	                     record->version == kOrvoResponseVersion;
	record->size = sizeof (OrvoResponseRecord);
	record->version = kOrvoResponseVersion;
	if (!matches)
		return kInvalidArgument;

	const sfm_response& r = currentResponse ();
	record->numChannels = std::clamp<int32> (r.numChannels, 0, kOrvoResponseChannels);
	record->numPoints = std::clamp<int32> (r.numPoints, 0, kOrvoResponsePoints);
	for (int32 c = 0; c < kOrvoResponseChannels; ++c)
		record->channelMuted[c] = c < record->numChannels ? r.channelMuted[c] : 0;
	for (int32 k = 0; k < kOrvoResponsePoints; ++k)
		record->angle[k] = r.angle[k];
	for (int32 c = 0; c < kOrvoResponseChannels; ++c)
		for (int32 k = 0; k < kOrvoResponsePoints; ++k)
			record->response[c][k] =
			    c < record->numChannels ? r.response[c * SFM_RESPONSE_POINTS + k] : 0.f;
	return kResultOk;
}

tresult PLUGIN_API OrvoController::getToolAccessVersion (int32* major, int32* minor)
{
	if (!major || !minor)
		return kInvalidArgument;
	*major = kOrvoToolAccessMajor;
	*minor = kOrvoToolAccessMinor;
	return kResultOk;
}

} // namespace Vst
} // namespace Steinberg
