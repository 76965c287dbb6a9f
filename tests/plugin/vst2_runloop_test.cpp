// The VST 2 module's run loop: SDK timers and VSTGUI's handlers run when the
// host calls on the thread that registered them (or, for an SDK timer, on the
// editor's thread that adopted it), never elsewhere nor on two threads at
// once, and survive handlers that unregister each other while a round runs.

#include "module/orvovst2runloop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <unistd.h>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

struct Counter : ITimerCallback
{
	int calls = 0;
	void onTimer (Timer*) override { ++calls; }
};

// A run-loop timer that unregisters another one when it runs.
struct Unregistering : Linux::ITimerHandler, FObject
{
	Linux::ITimerHandler* other = nullptr;
	int calls = 0;
	void PLUGIN_API onTimer () override
	{
		++calls;
		if (other)
			OrvoVst2RunLoop::instance ().unregisterTimer (other);
	}
	DELEGATE_REFCOUNT (FObject)
	DEFINE_INTERFACES
		DEF_INTERFACE (Linux::ITimerHandler)
	END_DEFINE_INTERFACES (FObject)
};

struct Readable : Linux::IEventHandler, FObject
{
	int calls = 0;
	void PLUGIN_API onFDIsSet (Linux::FileDescriptor fd) override
	{
		++calls;
		char c;
		if (read (fd, &c, 1) != 1)
			ADD_FAILURE () << "called without data";
	}
	DELEGATE_REFCOUNT (FObject)
	DEFINE_INTERFACES
		DEF_INTERFACE (Linux::IEventHandler)
	END_DEFINE_INTERFACES (FObject)
};

void sleepMs (int ms)
{
	std::this_thread::sleep_for (std::chrono::milliseconds (ms));
}

// Counts its calls and how many ran at once; holds each call while 'hold'.
struct Holding : ITimerCallback
{
	std::atomic<int> calls {0};
	std::atomic<int> inside {0};
	std::atomic<int> mostAtOnce {0};
	std::atomic<bool> hold {false};
	void onTimer (Timer*) override
	{
		const int now = ++inside;
		mostAtOnce = std::max (mostAtOnce.load (), now);
		++calls;
		while (hold)
			sleepMs (1);
		--inside;
	}
};

} // namespace

TEST (Vst2RunLoop, SdkTimerRunsWhenDueOnItsOwnThreadOnly)
{
	auto& loop = OrvoVst2RunLoop::instance ();
	Counter due, notDue;
	IPtr<Timer> shortTimer = owned (OrvoVst2RunLoop::createTimer (&due, 1));
	IPtr<Timer> longTimer = owned (OrvoVst2RunLoop::createTimer (&notDue, 600000));
	ASSERT_TRUE (shortTimer && longTimer);
	sleepMs (5);

	std::thread other ([&] {
		loop.pump ();
		loop.fire (&due);
	});
	other.join ();
	EXPECT_EQ (due.calls, 0) << "ran on a thread that did not create it";

	loop.pump ();
	EXPECT_EQ (due.calls, 1);
	EXPECT_EQ (notDue.calls, 0) << "ran before its interval";

	// fire runs a timer at once, due or not.
	loop.fire (&notDue);
	EXPECT_EQ (notDue.calls, 1);

	// Released by its owner, a timer runs no more.
	shortTimer = nullptr;
	sleepMs (5);
	loop.pump ();
	loop.fire (&due);
	EXPECT_EQ (due.calls, 1);
}

TEST (Vst2RunLoop, HandlersUnregisteredDuringARoundAreNotCalled)
{
	auto& loop = OrvoVst2RunLoop::instance ();
	auto first = owned (new Unregistering ());
	auto second = owned (new Unregistering ());
	first->other = second;
	second->other = first;
	ASSERT_EQ (loop.registerTimer (first, 1), kResultTrue);
	ASSERT_EQ (loop.registerTimer (second, 1), kResultTrue);
	sleepMs (5);
	loop.pump ();
	// Whichever ran first took the other out of the loop.
	EXPECT_EQ (first->calls + second->calls, 1);
	EXPECT_EQ (loop.unregisterTimer (first), first->calls == 1 ? kResultTrue : kResultFalse);
	EXPECT_EQ (loop.unregisterTimer (second), second->calls == 1 ? kResultTrue : kResultFalse);
}

TEST (Vst2RunLoop, EventHandlerRunsWhenItsDescriptorIsReadable)
{
	auto& loop = OrvoVst2RunLoop::instance ();
	int fds[2];
	ASSERT_EQ (pipe (fds), 0);
	auto handler = owned (new Readable ());
	ASSERT_EQ (loop.registerEventHandler (handler, fds[0]), kResultTrue);
	loop.pump ();
	EXPECT_EQ (handler->calls, 0);
	ASSERT_EQ (write (fds[1], "x", 1), 1);
	loop.pump ();
	EXPECT_EQ (handler->calls, 1);
	EXPECT_EQ (loop.unregisterEventHandler (handler), kResultTrue);
	ASSERT_EQ (write (fds[1], "x", 1), 1);
	loop.pump ();
	EXPECT_EQ (handler->calls, 1);
	EXPECT_EQ (loop.unregisterEventHandler (handler), kResultFalse);
	close (fds[0]);
	close (fds[1]);
}

// A host may open the editor on a thread of its own: the wrapper's timer
// moves there while the editor is open, and back home after.
TEST (Vst2RunLoop, AdoptedTimerRunsOnTheAdoptingThreadOnlyAndOnOneAtOnce)
{
	auto& loop = OrvoVst2RunLoop::instance ();
	Holding callback;
	IPtr<Timer> timer = owned (OrvoVst2RunLoop::createTimer (&callback, 600000));
	ASSERT_TRUE (timer);
	auto adoptAndFire = [&] {
		loop.adoptTimers (&callback);
		loop.fire (&callback);
	};
	std::thread (adoptAndFire).join ();
	EXPECT_EQ (callback.calls, 1) << "did not run on the thread that adopted it";
	loop.fire (&callback);
	EXPECT_EQ (callback.calls, 1) << "ran on the thread it left";

	// Adopted again while its call runs on the other thread: not run twice.
	callback.hold = true;
	std::thread holding (adoptAndFire);
	while (callback.inside == 0)
		sleepMs (1);
	adoptAndFire ();
	callback.hold = false;
	holding.join ();
	EXPECT_EQ (callback.mostAtOnce, 1);
	EXPECT_EQ (callback.calls, 2);

	std::thread ([&] { loop.returnTimers (&callback); }).join ();
	loop.fire (&callback);
	EXPECT_EQ (callback.calls, 3) << "did not run at home again";
}
