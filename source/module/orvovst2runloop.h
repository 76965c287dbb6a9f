// The run loop of the VST 2 module on Linux. A VST 3 host hands its plug-ins a
// run loop; a VST 2 host has none, only its calls on the user-interface thread
// (the editor idle call among them). This run loop collects the SDK's timers
// (the wrapper moves host parameter changes into the controller on one) and
// VSTGUI's timers and X11 connection, and runs whatever is due whenever the
// host calls the plug-in on the thread that registered it. Handlers run only on
// the thread that registered them, and are to be unregistered there too; an
// SDK timer can move to the thread of an editor and back (adoptTimers). A
// handler never runs on two threads at once.
#pragma once

#include "base/source/timer.h"
#include "pluginterfaces/gui/iplugview.h"

#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace Steinberg {
namespace Vst {

class OrvoVst2RunLoop : public Linux::IRunLoop
{
public:
	static OrvoVst2RunLoop& instance ();

	// The SDK's timer factory (InjectCreateTimerFunction): timers on this run loop.
	static Timer* createTimer (ITimerCallback* callback, uint32 intervalMilliseconds);

	// Runs, on the calling thread, the handlers registered on it: readable file
	// descriptors, then timers that are due. Returns at once on a thread that
	// registered nothing (the audio thread).
	void pump ();
	// Runs now the timers of this callback registered on the calling thread,
	// due or not.
	void fire (ITimerCallback* callback);
	// The SDK timers of this callback run on the calling thread from now on
	// (where a host runs the editor), or again on the thread that created
	// them (returnTimers).
	void adoptTimers (ITimerCallback* callback);
	void returnTimers (ITimerCallback* callback);

	// Linux::IRunLoop: handlers are held (addRef) until unregistered.
	tresult PLUGIN_API registerEventHandler (Linux::IEventHandler* handler,
	                                         Linux::FileDescriptor fd) override;
	tresult PLUGIN_API unregisterEventHandler (Linux::IEventHandler* handler) override;
	tresult PLUGIN_API registerTimer (Linux::ITimerHandler* handler,
	                                  Linux::TimerInterval milliseconds) override;
	tresult PLUGIN_API unregisterTimer (Linux::ITimerHandler* handler) override;

	// One object for the module's lifetime: reference counting does nothing.
	tresult PLUGIN_API queryInterface (const TUID iid, void** obj) override;
	uint32 PLUGIN_API addRef () override { return 1; }
	uint32 PLUGIN_API release () override { return 1; }

private:
	class SdkTimer;

	struct Entry
	{
		uint64_t id;
		std::thread::id thread; // where it runs
		std::thread::id home;   // where it was registered
		Linux::IEventHandler* eventHandler; // with fd
		Linux::ITimerHandler* timerHandler; // with interval and due
		ITimerCallback* callback; // an SDK timer's receiver, for fire ()
		bool held; // registered through IRunLoop, so referenced
		bool running; // in its call, on some thread
		int fd;
		uint64_t intervalMs;
		uint64_t dueMs;
	};

	uint64_t add (Entry entry);
	// Takes out the entry of this handler; false when there is none.
	bool remove (Linux::IEventHandler* eventHandler, Linux::ITimerHandler* timerHandler);
	// Calls the handler of entry 'id' if it is still registered and not
	// running already.
	void run (uint64_t id);
	// Sets where this callback's timers run: the calling thread, or home.
	void moveTimers (ITimerCallback* callback, bool toCaller);

	std::mutex mutex;
	std::vector<Entry> entries;
	uint64_t nextId {1};
};

} // namespace Vst
} // namespace Steinberg
