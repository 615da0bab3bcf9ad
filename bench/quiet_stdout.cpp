#include "bench/quiet_stdout.h"

#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>

namespace {

int muted = 0; // nesting depth

using FflushFn = int (*)(FILE*);

// The C library's own fflush, found once; ours hides it by name.
FflushFn LibraryFflush() {
    static const FflushFn fn = reinterpret_cast<FflushFn>(dlsym(RTLD_NEXT, "fflush"));
    return fn;
}

} // namespace

namespace bench {
void MuteStdout(bool on) {
    if (on && muted == 0)
        LibraryFflush()(stdout);
    muted += on ? 1 : -1;
}
} // namespace bench

extern "C" int printf(const char* format, ...) {
    if (muted > 0)
        return 0;
    va_list args;
    va_start(args, format);
    const int n = std::vprintf(format, args);
    va_end(args);
    return n;
}

extern "C" int fflush(FILE* stream) {
    if (muted > 0 && stream == stdout)
        return 0;
    return LibraryFflush()(stream);
}
