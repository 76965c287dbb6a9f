#include "editor/kv_vstguieditor.h"

#include "vstgui/lib/cframe.h"

#include <cmath>
#include <cstring>
#include <vector>

#if SMTG_OS_LINUX
#include "pluginterfaces/gui/iplugview.h"
#include "vstgui/lib/platform/linux/x11platform.h"
#include "vstgui/lib/platform/platform_x11.h"
#include <xcb/xcb.h>
#endif

#if SMTG_OS_LINUX
// The module's entry (the SDK's linuxmain.cpp) defines the module handle that
// VSTGUI's set-up asks for. Programs that link the editor without being a
// module (the test suites) get this null stand-in; in the module the entry's
// definition wins.
__attribute__ ((weak)) void* moduleHandle = nullptr;
#endif

namespace Steinberg {
namespace Vst {

using namespace VSTGUI;

#if SMTG_OS_LINUX
namespace {

// VSTGUI's X11 run-loop interface served by the host's Linux::IRunLoop: the
// frame's X connection and its redraw and editor timers become handlers of
// the host's UI loop, so everything runs on the host's UI thread.
class HostRunLoop : public X11::IRunLoop, public AtomicReferenceCounted
{
public:
	explicit HostRunLoop (Linux::IRunLoop* loop) : runLoop (loop) {}

	~HostRunLoop () noexcept override
	{
		for (auto& h : eventHandlers)
			runLoop->unregisterEventHandler (h);
		for (auto& h : timerHandlers)
			runLoop->unregisterTimer (h);
	}

	bool registerEventHandler (int fd, X11::IEventHandler* handler) final
	{
		auto h = Steinberg::owned (new EventHandler (handler));
		if (runLoop->registerEventHandler (h, fd) != kResultTrue)
			return false;
		eventHandlers.push_back (h);
		return true;
	}

	bool unregisterEventHandler (X11::IEventHandler* handler) final
	{
		for (auto it = eventHandlers.begin (); it != eventHandlers.end (); ++it)
		{
			if ((*it)->handler == handler)
			{
				(*it)->handler = nullptr;
				runLoop->unregisterEventHandler (*it);
				eventHandlers.erase (it);
				return true;
			}
		}
		return false;
	}

	bool registerTimer (uint64_t interval, X11::ITimerHandler* handler) final
	{
		auto h = Steinberg::owned (new TimerHandler (handler, this));
		if (runLoop->registerTimer (h, interval) != kResultTrue)
			return false;
		timerHandlers.push_back (h);
		return true;
	}

	bool unregisterTimer (X11::ITimerHandler* handler) final
	{
		for (auto it = timerHandlers.begin (); it != timerHandlers.end (); ++it)
		{
			if ((*it)->handler == handler)
			{
				(*it)->handler = nullptr;
				runLoop->unregisterTimer (*it);
				timerHandlers.erase (it);
				return true;
			}
		}
		return false;
	}

private:
	struct EventHandler : Linux::IEventHandler, FObject
	{
		explicit EventHandler (X11::IEventHandler* h) : handler (h) {}
		void PLUGIN_API onFDIsSet (Linux::FileDescriptor) override
		{
			IPtr<EventHandler> self (this);
			if (handler)
				handler->onEvent ();
		}
		X11::IEventHandler* handler;
		DELEGATE_REFCOUNT (FObject)
		DEFINE_INTERFACES
			DEF_INTERFACE (Linux::IEventHandler)
		END_DEFINE_INTERFACES (FObject)
	};

	// X events that xcb read while a timer's work waited for a reply (a
	// redraw, a pointer query) sit in xcb's queue without making the
	// connection readable again, so the host's loop would not report them
	// until the next event arrives: a click could wait for the next click.
	// After every timer the queue is drained.
	void drainEvents ()
	{
		auto handlers = eventHandlers;
		for (auto& h : handlers)
			if (h->handler)
				h->handler->onEvent ();
	}

	struct TimerHandler : Linux::ITimerHandler, FObject
	{
		TimerHandler (X11::ITimerHandler* h, HostRunLoop* owner) : handler (h), owner (owner) {}
		void PLUGIN_API onTimer () override
		{
			if (!handler)
				return;
			// The handler may close the last frame, which unregisters this
			// timer and releases the adapter: keep both alive for the call.
			IPtr<TimerHandler> self (this);
			SharedPointer<HostRunLoop> keep (owner);
			handler->onTimer ();
			keep->drainEvents ();
		}
		X11::ITimerHandler* handler;
		HostRunLoop* owner;
		DELEGATE_REFCOUNT (FObject)
		DEFINE_INTERFACES
			DEF_INTERFACE (Linux::ITimerHandler)
		END_DEFINE_INTERFACES (FObject)
	};

	IPtr<Linux::IRunLoop> runLoop;
	std::vector<IPtr<EventHandler>> eventHandlers;
	std::vector<IPtr<TimerHandler>> timerHandlers;
};

} // namespace
#endif // SMTG_OS_LINUX

kv_VSTGUIEditor::kv_VSTGUIEditor (void* controller, kv_IEffect* effect, kv_IZoomStore* zoomStore)
: VSTGUIEditor (controller), effect (effect), zoomStore (zoomStore)
{
	if (zoomStore)
		setZoom (zoomStore->getEditorZoom ());
}

namespace {
// Zooms and content scales beyond these make no usable window.
constexpr double kMinScale = 0.5;
constexpr double kMaxScale = 4.;
bool usableScale (double s) { return s >= kMinScale && s <= kMaxScale; }
} // namespace

void kv_VSTGUIEditor::setDesignSize (int32 width, int32 height)
{
	designWidth = width;
	designHeight = height;
	applyScale ();
}

void kv_VSTGUIEditor::applyScale ()
{
	const double scale = getScale ();
	ViewRect r (0, 0, static_cast<int32> (std::lround (designWidth * scale)),
	            static_cast<int32> (std::lround (designHeight * scale)));
	if (frame)
		frame->setZoom (scale);
	const bool resized = r.getWidth () != getRect ().getWidth () || r.getHeight () != getRect ().getHeight ();
	setRect (r);
	// The host learns the new size only once the view is in its window.
	if (frame && plugFrame && resized)
		plugFrame->resizeView (this, &r);
}

bool kv_VSTGUIEditor::setZoom (double newZoom)
{
	if (!usableScale (newZoom))
		return false;
	if (newZoom == zoom)
		return true;
	zoom = newZoom;
	if (zoomStore)
		zoomStore->setEditorZoom (zoom);
	if (designWidth > 0)
		applyScale ();
	zoomChanged ();
	return true;
}

tresult PLUGIN_API kv_VSTGUIEditor::setContentScaleFactor (ScaleFactor factor)
{
	if (!usableScale (factor))
		return kInvalidArgument;
	if (factor != contentScale)
	{
		contentScale = factor;
		if (designWidth > 0)
			applyScale ();
	}
	return kResultTrue;
}

kv_VSTGUIEditor::~kv_VSTGUIEditor ()
{
	effect = nullptr;
}

tresult PLUGIN_API kv_VSTGUIEditor::isPlatformTypeSupported (FIDString type)
{
	if (!type)
		return kInvalidArgument;
#if SMTG_OS_WINDOWS
	if (std::strcmp (type, kPlatformTypeHWND) == 0)
		return kResultTrue;
#elif SMTG_OS_LINUX
	if (std::strcmp (type, kPlatformTypeX11EmbedWindowID) == 0)
		return kResultTrue;
#else
	return VSTGUIEditor::isPlatformTypeSupported (type);
#endif
	return kInvalidArgument;
}

tresult PLUGIN_API kv_VSTGUIEditor::attached (void* parent, FIDString type)
{
	if (!parent || isPlatformTypeSupported (type) != kResultTrue)
		return kResultFalse;
	// One window at a time: a second attach while a frame exists is refused.
	if (frame)
		return kResultFalse;
	tresult result = VSTGUIEditor::attached (parent, type);
	if (!frame)
	{
		// open failed, yet the base has told the controller about the view:
		// take it back out, so the controller keeps no view without a window.
		VSTGUIEditor::removed ();
		return kResultFalse;
	}
	return result;
}

tresult PLUGIN_API kv_VSTGUIEditor::checkSizeConstraint (ViewRect* rect)
{
	if (!rect)
		return kInvalidArgument;
	// Fixed size: whatever the host proposes, the answer is the editor's own.
	rect->right = rect->left + getRect ().getWidth ();
	rect->bottom = rect->top + getRect ().getHeight ();
	return kResultTrue;
}

bool kv_VSTGUIEditor::openFrame (CFrame* newFrame, void* parent, const PlatformType& platformType)
{
#if SMTG_OS_LINUX
	FUnknownPtr<Linux::IRunLoop> loop (plugFrame);
	if (!loop)
	{
		newFrame->forget ();
		return false;
	}
	X11::FrameConfig config;
	config.runLoop = VSTGUI::makeOwned<HostRunLoop> (loop);
	frame = newFrame;
	if (!frame->open (parent, platformType, &config))
#else
	frame = newFrame;
	if (!frame->open (parent, platformType))
#endif
	{
		frame->forget ();
		frame = nullptr;
		return false;
	}
#if SMTG_OS_LINUX
	// VSTGUI maps its window only when the host speaks XEmbed; many hosts
	// just hand a window and expect the plug-in's view to show itself.
	if (auto* x11 = dynamic_cast<X11::IX11Frame*> (frame->getPlatformFrame ()))
	{
		auto* xcb = X11::RunLoop::instance ().getXcbConnection ();
		xcb_map_window (xcb, x11->getX11WindowID ());
		xcb_flush (xcb);
	}
#endif
	return true;
}

} // namespace Vst
} // namespace Steinberg
