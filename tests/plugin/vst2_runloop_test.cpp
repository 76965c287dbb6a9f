// The VST 2 module's run loop: SDK timers and VSTGUI's handlers run when the
// host calls on the thread that registered them, never elsewhere, and survive
// handlers that unregister each other while a round runs.

#include "module/orvovst2runloop.h"

#include <gtest/gtest.h>

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
