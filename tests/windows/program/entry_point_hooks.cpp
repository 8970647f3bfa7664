// LUMETRA_TEST_JUNK_ENTRY_POINTS=N,M,...: wglGetProcAddress answers N, M, ... in turn
// whatever the name, as drivers may answer -1, 1, 2 or 3 for a function they lack (the
// test build links with --wrap=__imp_wglGetProcAddress). Junk called crashes the run at
// once, with no crash dialog.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cstdlib>

extern "C" {

extern PROC(WINAPI* __real___imp_wglGetProcAddress)(LPCSTR);

static PROC WINAPI JunkOrEntryPoint(LPCSTR name) {
  static const char* const list = std::getenv("LUMETRA_TEST_JUNK_ENTRY_POINTS");
  static const char* next = list;
  if (!list) return __real___imp_wglGetProcAddress(name);
  SetErrorMode(SEM_NOGPFAULTERRORBOX);
  char* end = nullptr;
  const intptr_t junk = static_cast<intptr_t>(std::strtoll(next, &end, 10));
  next = *end == ',' ? end + 1 : list;
  return reinterpret_cast<PROC>(junk);
}

PROC(WINAPI* __wrap___imp_wglGetProcAddress)(LPCSTR) = JunkOrEntryPoint;
}
