// The host side of an editor in an X11 window: the UI loop that serves the
// editor's Linux::IRunLoop and IPlugFrame as DAWs do (X connections and timers
// of every open editor on one thread), for the window tests and the editor
// benchmark.
#pragma once

#include "pluginterfaces/gui/iplugview.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace orvotest {

using namespace Steinberg;
using Clock = std::chrono::steady_clock;

// The host's UI loop: X11 connections and timers of every open editor, plus
// the frame interface through which the editor asks for its size.
class RunLoop : public Linux::IRunLoop, public IPlugFrame
{
public:
	tresult PLUGIN_API registerEventHandler (Linux::IEventHandler* handler,
	                                         Linux::FileDescriptor fd) override
	{
		if (!handler)
			return kInvalidArgument;
		handler->addRef ();
		events.push_back ({handler, fd});
		return kResultTrue;
	}
	tresult PLUGIN_API unregisterEventHandler (Linux::IEventHandler* handler) override
	{
		for (auto it = events.begin (); it != events.end (); ++it)
		{
			if (it->handler == handler)
			{
				handler->release ();
				events.erase (it);
				return kResultTrue;
			}
		}
		return kResultFalse;
	}
	tresult PLUGIN_API registerTimer (Linux::ITimerHandler* handler,
	                                  Linux::TimerInterval ms) override
	{
		if (!handler || ms == 0)
			return kInvalidArgument;
		handler->addRef ();
		timers.push_back ({handler, ms, Clock::now () + std::chrono::milliseconds (ms)});
		return kResultTrue;
	}
	tresult PLUGIN_API unregisterTimer (Linux::ITimerHandler* handler) override
	{
		for (auto it = timers.begin (); it != timers.end (); ++it)
		{
			if (it->handler == handler)
			{
				handler->release ();
				timers.erase (it);
				return kResultTrue;
			}
		}
		return kResultFalse;
	}

	// IPlugFrame
	tresult PLUGIN_API resizeView (IPlugView* view, ViewRect* newSize) override
	{
		if (!view || !newSize)
			return kInvalidArgument;
		lastResize = *newSize;
		++resizeCount;
		// The host's window follows first, then the view learns its size.
		if (onResize)
			onResize (*newSize);
		return view->onSize (newSize);
	}

	tresult PLUGIN_API queryInterface (const TUID iid, void** obj) override
	{
		QUERY_INTERFACE (iid, obj, FUnknown::iid, Linux::IRunLoop)
		QUERY_INTERFACE (iid, obj, Linux::IRunLoop::iid, Linux::IRunLoop)
		QUERY_INTERFACE (iid, obj, IPlugFrame::iid, IPlugFrame)
		*obj = nullptr;
		return kNoInterface;
	}
	uint32 PLUGIN_API addRef () override { return 1000; }
	uint32 PLUGIN_API release () override { return 1000; }

	// Runs the loop for 'ms' milliseconds; 'each' runs once per turn.
	template <typename Each>
	void pump (int ms, Each each)
	{
		const auto end = Clock::now () + std::chrono::milliseconds (ms);
		while (Clock::now () < end)
		{
			each ();
			turn (end);
		}
	}
	void pump (int ms)
	{
		pump (ms, [] {});
	}

	size_t handlerCount () const { return events.size () + timers.size (); }

	ViewRect lastResize {};
	int resizeCount {0};
	std::function<void (const ViewRect&)> onResize;

private:
	struct Event
	{
		Linux::IEventHandler* handler;
		int fd;
	};
	struct Timer
	{
		Linux::ITimerHandler* handler;
		Linux::TimerInterval interval;
		Clock::time_point due;
	};

	void turn (Clock::time_point end)
	{
		auto next = end;
		for (const auto& t : timers)
			next = std::min (next, t.due);
		// Rounded up: a timer due in less than a millisecond would otherwise
		// make the loop spin with zero timeouts until it is due.
		int timeout = static_cast<int> (
		    std::chrono::ceil<std::chrono::milliseconds> (next - Clock::now ()).count ());
		timeout = std::max (0, std::min (timeout, 10));
		std::vector<pollfd> fds;
		for (const auto& e : events)
			fds.push_back ({e.fd, POLLIN, 0});
		if (fds.empty ())
			std::this_thread::sleep_for (std::chrono::milliseconds (timeout));
		else if (poll (fds.data (), fds.size (), timeout) > 0)
		{
			// Handlers may unregister others while they run: look each up again.
			for (const auto& p : fds)
			{
				if (!(p.revents & (POLLIN | POLLHUP | POLLERR)))
					continue;
				for (const auto& e : events)
				{
					if (e.fd == p.fd)
					{
						e.handler->onFDIsSet (p.fd);
						break;
					}
				}
			}
		}
		const auto now = Clock::now ();
		std::vector<Linux::ITimerHandler*> dueTimers;
		for (auto& t : timers)
		{
			if (t.due <= now)
			{
				t.due = now + std::chrono::milliseconds (t.interval);
				dueTimers.push_back (t.handler);
			}
		}
		for (auto* h : dueTimers)
		{
			bool live = std::any_of (timers.begin (), timers.end (),
			                         [h] (const Timer& t) { return t.handler == h; });
			if (live)
				h->onTimer ();
		}
	}

	std::vector<Event> events;
	std::vector<Timer> timers;
};


} // namespace orvotest
