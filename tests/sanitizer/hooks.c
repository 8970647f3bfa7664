/* Linked into every program of the sanitizer build (cmake -DLUMETRA_SANITIZE=ON,
   ./test.sh --sanitize): the test programs, the production and the tools. The
   options are compiled in, so a program started by a test, by hand or under a
   debugger reports the same way; ASAN_OPTIONS, UBSAN_OPTIONS and LSAN_OPTIONS still
   override them one by one. */

#include <stdlib.h>

/* A report ends the program with an exit code no program of ours uses, so a test
   that expects a failure code (1, 2, 100...) still sees the report as a failure.
   Dynamic TLS blocks are not tracked: LeakSanitizer's scan of them at exit crashed
   its tracer ("Tracer caught signal 11" in ScanRangeForPointers at an address near
   0x1000) about once in thirty runs of the program on a busy machine. The blocks are
   still scanned as heap memory, reached through each thread's TLS vector. */
const char* __asan_default_options(void) {
  return "detect_leaks=1:exitcode=86:intercept_tls_get_addr=0";
}

const char* __ubsan_default_options(void) {
  return "halt_on_error=1:print_stacktrace=1:exitcode=86";
}

/* Leaks wholly inside system libraries are listed, each with its reason, in the one
   suppressions file beside this one. */
const char* __lsan_default_options(void) {
  return "suppressions='" LUMETRA_LSAN_SUPPRESSIONS "':print_suppressions=0";
}

/* Libraries are never unloaded. The GL driver (and SDL's video back ends, GTK's
   modules) would otherwise be gone when LeakSanitizer writes its report at exit, so
   their allocations would show as "unknown module" and could not be told apart from
   ours. This definition takes the place of the C library's for every library in the
   process; keeping a library loaded is always allowed. */
int dlclose(void* handle) {
  (void)handle;
  return 0;
}

/* Mesa's on-disk shader cache keeps a worker thread that Mesa joins from an exit
   handler, so a thread ends just as LeakSanitizer stops every thread to scan it, the
   moment its tracer handles worst. Without the cache (it only saves shader compile
   time between runs) there is no such thread. Runs before main, so before the GL
   driver reads its environment. */
__attribute__((constructor)) static void NoShaderCacheThread(void) {
  setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
}
