#pragma once

// Clang's thread-safety analysis (-Wthread-safety): the lock a member is guarded by, and the locks a
// function needs or takes, written where the compiler checks them. Other compilers see nothing.
#if defined(__clang__)
#define TONVEX_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define TONVEX_THREAD_ATTRIBUTE(x)
#endif

#define CAPABILITY(x) TONVEX_THREAD_ATTRIBUTE(capability(x))
#define SCOPED_CAPABILITY TONVEX_THREAD_ATTRIBUTE(scoped_lockable)
#define GUARDED_BY(x) TONVEX_THREAD_ATTRIBUTE(guarded_by(x))
#define REQUIRES(...) TONVEX_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) TONVEX_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define RELEASE(...) TONVEX_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) TONVEX_THREAD_ATTRIBUTE(try_acquire_capability(__VA_ARGS__))
#define EXCLUDES(...) TONVEX_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
#define RETURN_CAPABILITY(x) TONVEX_THREAD_ATTRIBUTE(lock_returned(x))
#define NO_THREAD_SAFETY_ANALYSIS TONVEX_THREAD_ATTRIBUTE(no_thread_safety_analysis)
