// LUMETRA_TEST_JUNK_ENTRY_POINTS=N,M,... makes wglGetProcAddress answer N, M, ... in
// turn, whatever the name, as some drivers answer -1, 1, 2 or 3 for a function they
// lack. The test build is linked with --wrap=__imp_wglGetProcAddress, so the window
// unit's calls come here.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

extern "C" {

extern PROC(WINAPI* __real___imp_wglGetProcAddress)(LPCSTR);

static PROC WINAPI JunkOrEntryPoint(LPCSTR name) {
  static size_t calls = 0;
  const char* list = std::getenv("LUMETRA_TEST_JUNK_ENTRY_POINTS");
  if (!list) return __real___imp_wglGetProcAddress(name);
  // A junk value called crashes: the run then ends at once with the crash's code
  // instead of in Wine's crash dialog.
  SetErrorMode(SEM_NOGPFAULTERRORBOX);
  std::vector<intptr_t> junk;
  std::stringstream values(list);
  for (std::string value; std::getline(values, value, ',');) junk.push_back(std::stoll(value));
  return reinterpret_cast<PROC>(junk[calls++ % junk.size()]);
}

PROC(WINAPI* __wrap___imp_wglGetProcAddress)(LPCSTR) = JunkOrEntryPoint;
}
