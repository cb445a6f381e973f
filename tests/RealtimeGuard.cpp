#include "RealtimeGuard.h"

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <time.h>

namespace
{

thread_local bool guarded = false;
std::atomic<int> violationCount { 0 };
std::atomic<const char*> firstViolationName { nullptr };

void note (const char* what) noexcept
{
    if (! guarded)
        return;

    const char* none = nullptr;
    firstViolationName.compare_exchange_strong (none, what);
    ++violationCount;
}

template <typename Fn>
Fn next (const char* name) noexcept
{
    return reinterpret_cast<Fn> (dlsym (RTLD_NEXT, name));
}

/** The next definition of a function, looked up on first use: shared libraries' initialisers
    may call these before this program's own initialisers have run. */
template <typename Fn>
Fn resolved (Fn& cached, const char* name) noexcept
{
    if (cached == nullptr)
        cached = next<Fn> (name);

    return cached;
}

// Resolved before main, so no lookup happens inside a guarded call.
using MutexFn = int (*) (pthread_mutex_t*);
using CondWaitFn = int (*) (pthread_cond_t*, pthread_mutex_t*);
using CondTimedWaitFn = int (*) (pthread_cond_t*, pthread_mutex_t*, const timespec*);
using SemFn = int (*) (sem_t*);
using SleepFn = int (*) (const timespec*, timespec*);
using OpenFn = int (*) (const char*, int, ...);
using OpenAtFn = int (*) (int, const char*, int, ...);
using FopenFn = FILE* (*) (const char*, const char*);
using WriteFn = ssize_t (*) (int, const void*, size_t);
using WritevFn = ssize_t (*) (int, const iovec*, int);
using ReadlinkFn = ssize_t (*) (const char*, char*, size_t);

MutexFn realMutexLock, realMutexTrylock;
CondWaitFn realCondWait;
CondTimedWaitFn realCondTimedWait;
SemFn realSemWait;
SleepFn realNanosleep;
OpenFn realOpen, realOpen64;
OpenAtFn realOpenAt;
FopenFn realFopen, realFopen64;
WriteFn realWrite;
WritevFn realWritev;
ReadlinkFn realReadlink;

__attribute__ ((constructor (101))) void resolve()
{
    realMutexLock = next<MutexFn> ("pthread_mutex_lock");
    realMutexTrylock = next<MutexFn> ("pthread_mutex_trylock");
    realCondWait = next<CondWaitFn> ("pthread_cond_wait");
    realCondTimedWait = next<CondTimedWaitFn> ("pthread_cond_timedwait");
    realSemWait = next<SemFn> ("sem_wait");
    realNanosleep = next<SleepFn> ("nanosleep");
    realOpen = next<OpenFn> ("open");
    realOpen64 = next<OpenFn> ("open64");
    realOpenAt = next<OpenAtFn> ("openat");
    realFopen = next<FopenFn> ("fopen");
    realFopen64 = next<FopenFn> ("fopen64");
    realWrite = next<WriteFn> ("write");
    realWritev = next<WritevFn> ("writev");
    realReadlink = next<ReadlinkFn> ("readlink");
}

mode_t modeArgument (int flags, va_list args)
{
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? (mode_t) va_arg (args, int) : 0;
}

} // namespace

extern "C"
{
void* __libc_malloc (size_t);
void* __libc_calloc (size_t, size_t);
void* __libc_realloc (void*, size_t);
void* __libc_memalign (size_t, size_t);
void __libc_free (void*);

void* malloc (size_t n)                          { note ("malloc"); return __libc_malloc (n); }
void* calloc (size_t n, size_t size)             { note ("calloc"); return __libc_calloc (n, size); }
void* realloc (void* p, size_t n)                { note ("realloc"); return __libc_realloc (p, n); }
void free (void* p)                              { if (p != nullptr) note ("free"); __libc_free (p); }
void* memalign (size_t a, size_t n)              { note ("memalign"); return __libc_memalign (a, n); }
void* aligned_alloc (size_t a, size_t n)         { note ("aligned_alloc"); return __libc_memalign (a, n); }

int posix_memalign (void** out, size_t a, size_t n)
{
    note ("posix_memalign");
    *out = __libc_memalign (a, n);
    return *out != nullptr ? 0 : 12;
}

int pthread_mutex_lock (pthread_mutex_t* m)      { note ("pthread_mutex_lock"); return resolved (realMutexLock, "pthread_mutex_lock") (m); }
int pthread_mutex_trylock (pthread_mutex_t* m)   { note ("pthread_mutex_trylock"); return resolved (realMutexTrylock, "pthread_mutex_trylock") (m); }
int pthread_cond_wait (pthread_cond_t* c, pthread_mutex_t* m)   { note ("pthread_cond_wait"); return resolved (realCondWait, "pthread_cond_wait") (c, m); }
int pthread_cond_timedwait (pthread_cond_t* c, pthread_mutex_t* m, const timespec* t)
{
    note ("pthread_cond_timedwait");
    return resolved (realCondTimedWait, "pthread_cond_timedwait") (c, m, t);
}
int sem_wait (sem_t* s)                          { note ("sem_wait"); return resolved (realSemWait, "sem_wait") (s); }
int nanosleep (const timespec* t, timespec* r)   { note ("nanosleep"); return resolved (realNanosleep, "nanosleep") (t, r); }

int open (const char* path, int flags, ...)
{
    va_list args;
    va_start (args, flags);
    const auto mode = modeArgument (flags, args);
    va_end (args);
    note ("open");
    return resolved (realOpen, "open") (path, flags, mode);
}

int open64 (const char* path, int flags, ...)
{
    va_list args;
    va_start (args, flags);
    const auto mode = modeArgument (flags, args);
    va_end (args);
    note ("open64");
    return resolved (realOpen64, "open64") (path, flags, mode);
}

int openat (int dir, const char* path, int flags, ...)
{
    va_list args;
    va_start (args, flags);
    const auto mode = modeArgument (flags, args);
    va_end (args);
    note ("openat");
    return resolved (realOpenAt, "openat") (dir, path, flags, mode);
}

FILE* fopen (const char* path, const char* mode)     { note ("fopen"); return resolved (realFopen, "fopen") (path, mode); }
FILE* fopen64 (const char* path, const char* mode)   { note ("fopen64"); return resolved (realFopen64, "fopen64") (path, mode); }
ssize_t write (int fd, const void* data, size_t n)   { note ("write"); return resolved (realWrite, "write") (fd, data, n); }
ssize_t writev (int fd, const iovec* v, int n)       { note ("writev"); return resolved (realWritev, "writev") (fd, v, n); }
ssize_t readlink (const char* path, char* out, size_t n)   { note ("readlink"); return resolved (realReadlink, "readlink") (path, out, n); }
}

namespace quorvel::test
{

RealtimeGuard::RealtimeGuard() noexcept    { guarded = true; }
RealtimeGuard::~RealtimeGuard()            { guarded = false; }

int RealtimeGuard::violations() noexcept   { return violationCount.load(); }

std::string RealtimeGuard::firstViolation()
{
    const auto* name = firstViolationName.load();
    return name != nullptr ? name : "";
}

void RealtimeGuard::reset() noexcept
{
    violationCount = 0;
    firstViolationName = nullptr;
}

} // namespace quorvel::test
