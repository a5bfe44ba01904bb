// Preloaded into the encoder by its tests to make the failures it must survive: with
// PARVANE_FAIL=thread no thread starts, with PARVANE_FAIL=worker-memory no thread but the main
// one can allocate with new.

#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <new>
#include <pthread.h>
#include <string_view>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

bool Failing(std::string_view what) {
    const char* mode = std::getenv("PARVANE_FAIL");
    return mode && what == mode;
}

} // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*),
                              void* arg) {
    if (Failing("thread"))
        return EAGAIN;
    using TCreate = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const auto create = reinterpret_cast<TCreate>(dlsym(RTLD_NEXT, "pthread_create"));
    return create(thread, attr, start, arg);
}

void* operator new(std::size_t size) {
    if (Failing("worker-memory") && syscall(SYS_gettid) != getpid())
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
