// Linked into every test only in the ThreadSanitizer build (-DPELORIN_TSAN=ON).
//
// QProcess starts its child with clone(CLONE_VM | CLONE_VFORK): until it execs, the
// child runs in the parent's memory, on the parent's thread-local storage, while the
// parent waits. The ThreadSanitizer runtime of GCC 12 treats every clone() as a fork
// and resets its bookkeeping in the child, which here is the parent's own: the test
// then dies at its next thread start ("starting new threads after multi-threaded
// fork"), or goes on with the starting thread blind to races. A clone that shares the
// memory is handed straight to the C library, as vfork() would be: the child only
// sets up its file descriptors and execs.

#include <dlfcn.h>
#include <sched.h>
#include <sys/types.h>

#include <cstdarg>

namespace {

using CloneFunction = int (*)(int (*)(void *), void *, int, void *, ...);

CloneFunction libraryClone(const char *library)
{
    void *handle = library ? dlopen(library, RTLD_LAZY | RTLD_NOLOAD) : RTLD_NEXT;
    return handle ? reinterpret_cast<CloneFunction>(dlsym(handle, "clone")) : nullptr;
}

} // namespace

extern "C" int clone(int (*fn)(void *), void *stack, int flags, void *arg, ...)
{
    va_list rest;
    va_start(rest, arg);
    pid_t *parentTid = va_arg(rest, pid_t *);
    void *tls = va_arg(rest, void *);
    pid_t *childTid = va_arg(rest, pid_t *);
    va_end(rest);

    static const CloneFunction sanitizerClone = libraryClone(nullptr);
    static const CloneFunction cLibraryClone = libraryClone("libc.so.6");
    const CloneFunction target = (flags & CLONE_VM) && cLibraryClone ? cLibraryClone : sanitizerClone;
    return target(fn, stack, flags, arg, parentTid, tls, childTid);
}
