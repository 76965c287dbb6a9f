#include "controller/orvomonitorcontroller.h"

#include "params/kv_vstparam.h"
#include "params/orvomonitorchunk.h"
#include "editor/orvomonitorview.h"

#include "base/source/fstreamer.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Steinberg {
namespace Vst {

namespace {

// The controller's chunk, little-endian: "OrMC", an int32 version (1), the
// bypass switch as a normalized double and the editor's zoom as a double.
constexpr char kControllerChunkTag[4] = {'O', 'r', 'M', 'C'};
constexpr int32 kControllerChunkVersion = 1;

// The zooms the editor framework accepts.
constexpr double kMinZoom = 0.5;
constexpr double kMaxZoom = 4.;

// A binary attribute as text ("" when it is missing); a sender's terminator
// is dropped.
std::string textAttribute (IAttributeList* attributes, IAttributeList::AttrID id)
{
	const void* data = nullptr;
	uint32 size = 0;
	if (!attributes || attributes->getBinary (id, data, size) != kResultOk || !data)
		return {};
	std::string text (static_cast<const char*> (data), size);
	const auto end = text.find ('\0');
	return end == std::string::npos ? text : text.substr (0, end);
}

// Copies 'text' into 'utf8' (capacity 'size', terminated), never cutting a
// UTF-8 sequence in two.
void copyUtf8 (const std::string& text, char* utf8, int32 size)
{
	if (!utf8 || size <= 0)
		return;
	size_t n = std::min (text.size (), static_cast<size_t> (size - 1));
	if (n < text.size ())
		while (n > 0 && (static_cast<unsigned char> (text[n]) & 0xC0) == 0x80)
			--n; // text[n] continues a sequence: cut before its lead byte
	std::memcpy (utf8, text.data (), n);
	utf8[n] = 0;
}

} // namespace

FUnknown* OrvoMonitorController::createInstance (void* /*context*/)
{
	return static_cast<IEditController*> (new OrvoMonitorController ());
}

tresult PLUGIN_API OrvoMonitorController::initialize (FUnknown* context)
{
	const tresult result = EditControllerEx1::initialize (context);
	if (result != kResultOk)
		return result;
	if (!createMonitorParameters (parameters))
		return kOutOfMemory;
	// Until the processor reports: the default input and the built-in set.
	numSpeakers = monitorSpeakers (SpeakerArr::k51, azimuths, SFM_BINAURAL_MAX_SPEAKERS, &lfeIndex);
	hrtfName = sfm_hrir_builtin ()->name;
	hrtfNotice.clear ();
	hrtfPath.clear ();
	return kResultOk;
}

tresult PLUGIN_API OrvoMonitorController::terminate ()
{
	views.clear ();
	return EditControllerEx1::terminate ();
}

tresult PLUGIN_API OrvoMonitorController::setComponentState (IBStream* state)
{
	if (!state)
		return kResultFalse;
	OrvoMonitorState loaded;
	// Refused whole, as the processor refuses it: the controls keep showing
	// what plays.
	if (readMonitorChunk (state, loaded) != kResultOk)
		return kResultFalse;
	monitorStateToParameters (loaded, parameters);
	hrtfPath = loaded.path;
	updateAllViews ();
	return kResultOk;
}

tresult PLUGIN_API OrvoMonitorController::getState (IBStream* state)
{
	if (!state)
		return kResultFalse;
	IBStreamer out (state, kLittleEndian);
	const bool ok = out.writeRaw (kControllerChunkTag, sizeof (kControllerChunkTag)) ==
	                    static_cast<TSize> (sizeof (kControllerChunkTag)) &&
	                out.writeInt32 (kControllerChunkVersion) &&
	                out.writeDouble (getParamNormalized (kMonBypass)) && out.writeDouble (editorZoom);
	return ok ? kResultOk : kResultFalse;
}

tresult PLUGIN_API OrvoMonitorController::setState (IBStream* state)
{
	if (!state)
		return kResultFalse;
	IBStreamer in (state, kLittleEndian);
	char tag[sizeof (kControllerChunkTag)] {};
	int32 version = 0;
	double bypassed = 0., zoom = 1.;
	// Anything but a whole chunk changes nothing; a later version may append.
	if (in.readRaw (tag, sizeof (tag)) != static_cast<TSize> (sizeof (tag)) ||
	    std::memcmp (tag, kControllerChunkTag, sizeof (tag)) != 0 || !in.readInt32 (version) ||
	    version < 1 || !in.readDouble (bypassed) || !(bypassed == bypassed) ||
	    !in.readDouble (zoom) || !(zoom == zoom))
		return kResultFalse;
	setParamNormalized (kMonBypass, std::clamp (bypassed, 0., 1.));
	setEditorZoom (zoom);
	return kResultOk;
}

void OrvoMonitorController::setEditorZoom (double zoom)
{
	if (!(zoom == zoom))
		return;
	editorZoom = std::clamp (zoom, kMinZoom, kMaxZoom);
	// An open editor follows a zoom that a loaded state brings.
	for (kv_IView* view : views)
		if (auto* editor = dynamic_cast<kv_VSTGUIEditor*> (view))
			if (editor->getZoom () != editorZoom)
				editor->setZoom (editorZoom);
}

tresult PLUGIN_API OrvoMonitorController::setParamNormalized (ParamID tag, ParamValue value)
{
	Parameter* p = getParameterObject (tag);
	if (!p || !(value == value))
		return kResultFalse;
	p->setNormalized (value);
	notifyViews (tag, p->toPlain (p->getNormalized ()));
	return kResultOk;
}

IPlugView* PLUGIN_API OrvoMonitorController::createView (FIDString name)
{
	if (!name || std::strcmp (name, ViewType::kEditor) != 0)
		return nullptr;
	return new OrvoMonitorView (this, this, this);
}

tresult PLUGIN_API OrvoMonitorController::notify (IMessage* message)
{
	const char* id = message ? message->getMessageID () : nullptr;
	if (!id)
		return kInvalidArgument;
	IAttributeList* attributes = message->getAttributes ();
	if (std::strcmp (id, kMonMsgHrtfStatus) == 0)
	{
		hrtfName = textAttribute (attributes, "name");
		hrtfNotice = textAttribute (attributes, "notice");
		hrtfPath = textAttribute (attributes, "path");
		notifyViews (kMonStatusChanged, 0.);
		return kResultOk;
	}
	if (std::strcmp (id, kMonMsgLayout) == 0)
	{
		int64 count = 0, lfe = -1;
		const void* data = nullptr;
		uint32 size = 0;
		if (!attributes || attributes->getInt ("count", count) != kResultOk ||
		    attributes->getInt ("lfe", lfe) != kResultOk ||
		    attributes->getBinary ("azimuths", data, size) != kResultOk || count < 0 ||
		    count > SFM_BINAURAL_MAX_SPEAKERS || size != sizeof (float) * static_cast<size_t> (count) ||
		    (count > 0 && !data))
			return kInvalidArgument;
		numSpeakers = static_cast<int32> (count);
		lfeIndex = lfe >= 0 && lfe < count ? static_cast<int32> (lfe) : -1;
		if (count > 0)
			std::memcpy (azimuths, data, size);
		notifyViews (kMonStatusChanged, 0.);
		return kResultOk;
	}
	return EditControllerEx1::notify (message);
}

//------------------------------------------------------------------------
// Views
//------------------------------------------------------------------------

void OrvoMonitorController::editorAttached (EditorView* editor)
{
	if (auto* view = dynamic_cast<kv_IView*> (editor))
		addView (view);
}

void OrvoMonitorController::editorRemoved (EditorView* editor)
{
	if (auto* view = dynamic_cast<kv_IView*> (editor))
		removeView (view);
}

void OrvoMonitorController::addView (kv_IView* view)
{
	if (!view)
		return;
	views.push_back (view);
	updateAllViews ();
}

void OrvoMonitorController::removeView (kv_IView* view)
{
	views.erase (std::remove (views.begin (), views.end (), view), views.end ());
}

void OrvoMonitorController::notifyViews (ParamID id, double plain)
{
	for (kv_IView* view : views)
		view->parameterChanged (id, plain);
}

void OrvoMonitorController::updateAllViews ()
{
	for (int32 i = 0; i < parameters.getParameterCount (); ++i)
		if (Parameter* p = parameters.getParameterByIndex (i))
			notifyViews (p->getInfo ().id, p->toPlain (p->getNormalized ()));
	notifyViews (kMonStatusChanged, 0.);
}

//------------------------------------------------------------------------
// kv_IEffect, kv_IMonitor
//------------------------------------------------------------------------

double OrvoMonitorController::getParameter (ParamID id)
{
	Parameter* p = getParameterObject (id);
	return p ? p->toPlain (p->getNormalized ()) : 0.;
}

void OrvoMonitorController::setParameter (ParamID id, double plain)
{
	Parameter* p = getParameterObject (id);
	if (!p || !(plain == plain))
		return;
	if (id == kMonHeadRotation)
		plain = wrapHeadRotation (plain);
	// The editor brackets a gesture with beginEdit/endEdit itself.
	const ParamValue value = p->toNormalized (plain);
	setParamNormalized (id, value);
	performEdit (id, getParamNormalized (id));
}

double OrvoMonitorController::getParameterDefault (ParamID id)
{
	Parameter* p = getParameterObject (id);
	return p ? p->toPlain (p->getInfo ().defaultNormalizedValue) : 0.;
}

void OrvoMonitorController::getDisplayData (int32 /*request*/, void* /*buffer*/)
{
	// The monitor has no response display.
}

void OrvoMonitorController::getHrtfName (char* utf8, int32 size)
{
	copyUtf8 (hrtfName, utf8, size);
}

void OrvoMonitorController::getHrtfNotice (char* utf8, int32 size)
{
	copyUtf8 (hrtfNotice, utf8, size);
}

void OrvoMonitorController::chooseHrtf (const char* utf8Path)
{
	const size_t bytes = utf8Path ? std::strlen (utf8Path) : 0;
	IPtr<IMessage> message = owned (allocateMessage ());
	IAttributeList* attributes = message ? message->getAttributes () : nullptr;
	if (!attributes)
		return;
	message->setMessageID (kMonMsgHrtfPath);
	attributes->setBinary ("path", utf8Path ? utf8Path : "", static_cast<uint32> (bytes));
	// The processor answers with "hrtfStatus", which the views then show.
	sendMessage (message);
}

int32 OrvoMonitorController::getSpeakers (float* azimuthDeg, int32 max, int32* lfe)
{
	if (lfe)
		*lfe = lfeIndex;
	for (int32 i = 0; azimuthDeg && i < numSpeakers && i < max; ++i)
		azimuthDeg[i] = azimuths[i];
	return numSpeakers;
}

bool OrvoMonitorController::canReadSofa ()
{
	return sfm_hrir_sofa_supported ();
}

} // namespace Vst
} // namespace Steinberg
