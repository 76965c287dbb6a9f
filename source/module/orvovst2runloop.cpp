// The VST 2 module's run loop: see orvovst2runloop.h.

#include "module/orvovst2runloop.h"

#include <algorithm>
#include <poll.h>
#include <time.h>

namespace Steinberg {
namespace Vst {

namespace {

uint64_t nowMs ()
{
	timespec ts {};
	clock_gettime (CLOCK_MONOTONIC, &ts);
	return static_cast<uint64_t> (ts.tv_sec) * 1000u + static_cast<uint64_t> (ts.tv_nsec) / 1000000u;
}

// Set on a thread once it registers a handler: only such threads pump, so the
// audio thread never takes the lock.
thread_local bool threadHasHandlers = false;

} // namespace

//------------------------------------------------------------------------
// An SDK timer as a run-loop timer. Held by its creator only: destroying it
// unregisters it.
class OrvoVst2RunLoop::SdkTimer : public Timer, public Linux::ITimerHandler
{
public:
	SdkTimer (ITimerCallback* callback) : callback (callback) {}
	~SdkTimer () override { stop (); }

	bool start (uint32 intervalMs)
	{
		Entry entry {};
		entry.timerHandler = this;
		entry.callback = callback;
		entry.intervalMs = std::max<uint32> (intervalMs, 1);
		entry.dueMs = nowMs () + entry.intervalMs;
		registered = OrvoVst2RunLoop::instance ().add (entry) != 0;
		return registered;
	}
	void stop () override
	{
		if (registered)
			OrvoVst2RunLoop::instance ().remove (nullptr, this);
		registered = false;
	}
	void PLUGIN_API onTimer () override { callback->onTimer (this); }

	DELEGATE_REFCOUNT (Timer)
	tresult PLUGIN_API queryInterface (const TUID iid, void** obj) override
	{
		QUERY_INTERFACE (iid, obj, Linux::ITimerHandler::iid, Linux::ITimerHandler)
		return Timer::queryInterface (iid, obj);
	}

private:
	ITimerCallback* callback;
	bool registered {false};
};

//------------------------------------------------------------------------
OrvoVst2RunLoop& OrvoVst2RunLoop::instance ()
{
	static OrvoVst2RunLoop runLoop;
	return runLoop;
}

//------------------------------------------------------------------------
Timer* OrvoVst2RunLoop::createTimer (ITimerCallback* callback, uint32 intervalMilliseconds)
{
	if (!callback)
		return nullptr;
	auto* timer = new SdkTimer (callback);
	if (!timer->start (intervalMilliseconds))
	{
		timer->release ();
		return nullptr;
	}
	return timer;
}

//------------------------------------------------------------------------
uint64_t OrvoVst2RunLoop::add (Entry entry)
{
	std::lock_guard<std::mutex> lock (mutex);
	entry.id = nextId++;
	entry.thread = entry.home = std::this_thread::get_id ();
	entries.push_back (entry);
	threadHasHandlers = true;
	return entry.id;
}

//------------------------------------------------------------------------
bool OrvoVst2RunLoop::remove (Linux::IEventHandler* eventHandler,
                              Linux::ITimerHandler* timerHandler)
{
	FUnknown* heldHandler = nullptr;
	{
		std::lock_guard<std::mutex> lock (mutex);
		auto it = std::find_if (entries.begin (), entries.end (), [&] (const Entry& e) {
			return eventHandler ? e.eventHandler == eventHandler : e.timerHandler == timerHandler;
		});
		if (it == entries.end ())
			return false;
		if (it->held)
			heldHandler = eventHandler ? static_cast<FUnknown*> (eventHandler)
			                           : static_cast<FUnknown*> (timerHandler);
		entries.erase (it);
	}
	// Released outside the lock: the last release may unregister more.
	if (heldHandler)
		heldHandler->release ();
	return true;
}

//------------------------------------------------------------------------
void OrvoVst2RunLoop::run (uint64_t id)
{
	Linux::IEventHandler* eventHandler = nullptr;
	Linux::ITimerHandler* timerHandler = nullptr;
	int fd = -1;
	{
		std::lock_guard<std::mutex> lock (mutex);
		auto it = std::find_if (entries.begin (), entries.end (),
		                        [&] (const Entry& e) { return e.id == id; });
		if (it == entries.end () || it->running)
			return; // unregistered by an earlier handler of this round, or busy
		it->running = true;
		eventHandler = it->eventHandler;
		timerHandler = it->timerHandler;
		fd = it->fd;
		if (timerHandler)
			it->dueMs = nowMs () + it->intervalMs;
		// Alive for the call even if it unregisters itself or its owner lets go.
		if (eventHandler)
			eventHandler->addRef ();
		else
			timerHandler->addRef ();
	}
	if (eventHandler)
		eventHandler->onFDIsSet (fd);
	else
		timerHandler->onTimer ();
	{
		std::lock_guard<std::mutex> lock (mutex);
		auto it = std::find_if (entries.begin (), entries.end (),
		                        [&] (const Entry& e) { return e.id == id; });
		if (it != entries.end ())
			it->running = false;
	}
	// Released outside the lock: the last release may unregister more.
	if (eventHandler)
		eventHandler->release ();
	else
		timerHandler->release ();
}

//------------------------------------------------------------------------
void OrvoVst2RunLoop::pump ()
{
	if (!threadHasHandlers)
		return;
	std::vector<pollfd> fds;
	std::vector<uint64_t> fdIds;
	std::vector<uint64_t> timerIds;
	{
		std::lock_guard<std::mutex> lock (mutex);
		const auto now = nowMs ();
		const auto thread = std::this_thread::get_id ();
		for (const Entry& e : entries)
		{
			if (e.thread != thread)
				continue;
			if (e.eventHandler)
			{
				fds.push_back ({e.fd, POLLIN, 0});
				fdIds.push_back (e.id);
			}
			else if (e.dueMs <= now)
				timerIds.push_back (e.id);
		}
	}
	if (!fds.empty () && poll (fds.data (), fds.size (), 0) > 0)
	{
		for (size_t i = 0; i < fds.size (); ++i)
			if (fds[i].revents & (POLLIN | POLLERR | POLLHUP))
				run (fdIds[i]);
	}
	for (const auto id : timerIds)
		run (id);
}

//------------------------------------------------------------------------
void OrvoVst2RunLoop::fire (ITimerCallback* callback)
{
	if (!threadHasHandlers || !callback)
		return;
	std::vector<uint64_t> ids;
	{
		std::lock_guard<std::mutex> lock (mutex);
		const auto thread = std::this_thread::get_id ();
		for (const Entry& e : entries)
			if (e.thread == thread && e.callback == callback)
				ids.push_back (e.id);
	}
	for (const auto id : ids)
		run (id);
}

//------------------------------------------------------------------------
void OrvoVst2RunLoop::moveTimers (ITimerCallback* callback, bool toCaller)
{
	if (!callback)
		return;
	std::lock_guard<std::mutex> lock (mutex);
	for (Entry& e : entries)
		if (e.callback == callback)
			e.thread = toCaller ? std::this_thread::get_id () : e.home;
	if (toCaller)
		threadHasHandlers = true;
}

void OrvoVst2RunLoop::adoptTimers (ITimerCallback* callback)
{
	moveTimers (callback, true);
}

void OrvoVst2RunLoop::returnTimers (ITimerCallback* callback)
{
	moveTimers (callback, false);
}

//------------------------------------------------------------------------
tresult PLUGIN_API OrvoVst2RunLoop::registerEventHandler (Linux::IEventHandler* handler,
                                                         Linux::FileDescriptor fd)
{
	if (!handler || fd < 0)
		return kInvalidArgument;
	Entry entry {};
	entry.eventHandler = handler;
	entry.held = true;
	entry.fd = fd;
	handler->addRef ();
	add (entry);
	return kResultTrue;
}

//------------------------------------------------------------------------
tresult PLUGIN_API OrvoVst2RunLoop::unregisterEventHandler (Linux::IEventHandler* handler)
{
	return handler && remove (handler, nullptr) ? kResultTrue : kResultFalse;
}

//------------------------------------------------------------------------
tresult PLUGIN_API OrvoVst2RunLoop::registerTimer (Linux::ITimerHandler* handler,
                                                  Linux::TimerInterval milliseconds)
{
	if (!handler)
		return kInvalidArgument;
	Entry entry {};
	entry.timerHandler = handler;
	entry.held = true;
	entry.intervalMs = std::max<uint64_t> (milliseconds, 1);
	entry.dueMs = nowMs () + entry.intervalMs;
	handler->addRef ();
	add (entry);
	return kResultTrue;
}

//------------------------------------------------------------------------
tresult PLUGIN_API OrvoVst2RunLoop::unregisterTimer (Linux::ITimerHandler* handler)
{
	return handler && remove (nullptr, handler) ? kResultTrue : kResultFalse;
}

//------------------------------------------------------------------------
tresult PLUGIN_API OrvoVst2RunLoop::queryInterface (const TUID iid, void** obj)
{
	QUERY_INTERFACE (iid, obj, FUnknown::iid, Linux::IRunLoop)
	QUERY_INTERFACE (iid, obj, Linux::IRunLoop::iid, Linux::IRunLoop)
	*obj = nullptr;
	return kNoInterface;
}

} // namespace Vst
} // namespace Steinberg
