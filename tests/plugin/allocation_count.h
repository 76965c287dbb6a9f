// Counts heap allocations while gCounting is set, for the real-time tests.
// Replaces the global allocation functions: include it in one file of a test
// program only. Sanitizer builds bring their own allocator, so the hooks (and
// ORVO_COUNT_ALLOCATIONS) exist only in plain builds.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define ORVO_COUNT_ALLOCATIONS 1
namespace orvotest {
inline bool gCounting = false;
inline long gAllocations = 0;
inline void countAllocation ()
{
	if (gCounting)
		++gAllocations;
}
} // namespace orvotest
extern "C" void* __libc_malloc (size_t);
extern "C" void* __libc_calloc (size_t, size_t);
extern "C" void* __libc_realloc (void*, size_t);
extern "C" void __libc_free (void*);
extern "C" void* malloc (size_t n)
{
	orvotest::countAllocation ();
	return __libc_malloc (n);
}
extern "C" void* calloc (size_t n, size_t m)
{
	orvotest::countAllocation ();
	return __libc_calloc (n, m);
}
extern "C" void* realloc (void* p, size_t n)
{
	orvotest::countAllocation ();
	return __libc_realloc (p, n);
}
void* operator new (size_t n)
{
	orvotest::countAllocation ();
	if (void* p = __libc_malloc (n ? n : 1))
		return p;
	throw std::bad_alloc ();
}
void operator delete (void* p) noexcept { __libc_free (p); }
void operator delete (void* p, size_t) noexcept { __libc_free (p); }
#endif
