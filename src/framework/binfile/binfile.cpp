// Checked binary file access: stdio underneath, every failure ends the program
// through the runtime error report.
#include "framework/binfile/binfile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>

// The window unit's box, in a program that has the window unit; a program without it
// (a command-line tool linking only the codec and this helper) prints the text.
namespace window {
[[gnu::weak]] void ShowMessageBox(const char* caption, const char* text);
}  // namespace window

namespace binfile {
namespace {

FailureHandler handler = nullptr;
const char* consoleProgram = nullptr;

[[noreturn]] void Raise(const std::string& name, int32_t code, uintptr_t address,
                        std::string problem = {}) {
  if (problem.empty()) problem = ProblemText(code);
  if (handler) handler(code, name, problem, address);
  if (consoleProgram) {
    std::fprintf(stderr, "%s: %s: %s\n", consoleProgram, name.c_str(), problem.c_str());
  } else {
    char text[64];
    std::snprintf(text, sizeof text, "Runtime error %d at 0x%08" PRIXPTR, code, address);
    if (window::ShowMessageBox)
      window::ShowMessageBox("Error", text);
    else
      std::fprintf(stderr, "Error: %s\n", text);
  }
  std::exit(code);
}

#define CALLER reinterpret_cast<uintptr_t>(__builtin_return_address(0))

// The system's error number of a failed call, or fallback when it left none. On
// Windows that is the system's own code (3 for a missing folder, 5 for access denied),
// which the C library keeps in _doserrno beside its errno.
int32_t ErrnoOr(int32_t fallback) {
#ifdef _WIN32
  if (_doserrno > 0 && _doserrno < 256) return static_cast<int32_t>(_doserrno);
#endif
  return errno > 0 && errno < 256 ? errno : fallback;
}

// Clears the error numbers before a call whose failure is to be reported.
void ClearErrno() {
#ifdef _WIN32
  _doserrno = 0;
#endif
  errno = 0;
}

// The system's description of errno after a failed write, if it left one.
std::string WriteProblem() {
  std::string problem = ProblemText(ShortWrite);
  if (errno > 0) problem += ": " + std::string(std::strerror(errno));
  return problem;
}

}  // namespace

File::~File() {
  if (Handle) std::fclose(Handle);
}

std::string ProblemText(int32_t code) {
  switch (code) {
    case MissingFile: return "file not found";
    case ShortRead: return "unexpected end of file (truncated or damaged)";
    case ShortWrite: return "could not write the whole file";
    case NotOpen: return "file not open";
    case OutOfMemory: return "not enough memory";
    default: return std::strerror(code);
  }
}

__attribute__((noinline)) void OpenRead(File& file, const std::string& name) {
  if (file.Handle) std::fclose(file.Handle);
  file.Name = name;
  ClearErrno();
  file.Handle = std::fopen(name.c_str(), "rb");
  if (!file.Handle) Raise(name, ErrnoOr(MissingFile), CALLER);
  // A directory opens fine but cannot be read: refuse it here, as the system would.
  struct stat info;
  if (fstat(fileno(file.Handle), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(file.Handle);
    file.Handle = nullptr;
    Raise(name, EISDIR, CALLER);
  }
}

__attribute__((noinline)) void Create(File& file, const std::string& name) {
  if (file.Handle) std::fclose(file.Handle);
  file.Name = name;
  ClearErrno();
  file.Handle = std::fopen(name.c_str(), "wb");
  if (!file.Handle) {
    const int32_t code = ErrnoOr(MissingFile);
    Raise(name, code, CALLER, "cannot create: " + std::string(std::strerror(code)));
  }
}

__attribute__((noinline)) void Read(File& file, void* buffer, size_t count) {
  if (!file.Handle) Raise(file.Name, NotOpen, CALLER);
  if (count == 0) return;
  if (std::fread(buffer, 1, count, file.Handle) != count) Raise(file.Name, ShortRead, CALLER);
}

__attribute__((noinline)) void Write(File& file, const void* buffer, size_t count) {
  if (!file.Handle) Raise(file.Name, NotOpen, CALLER);
  if (count == 0) return;
  errno = 0;
  if (std::fwrite(buffer, 1, count, file.Handle) != count)
    Raise(file.Name, ShortWrite, CALLER, WriteProblem());
}

__attribute__((noinline)) void Seek(File& file, uint64_t position) {
  if (!file.Handle) Raise(file.Name, NotOpen, CALLER);
  if (position > static_cast<uint64_t>(INT64_MAX) ||
      fseeko(file.Handle, static_cast<off_t>(position), SEEK_SET) != 0)
    Raise(file.Name, ShortRead, CALLER);
}

__attribute__((noinline)) uint64_t Size(File& file) {
  if (!file.Handle) Raise(file.Name, NotOpen, CALLER);
  // Buffered writes count too: flush them before asking the system.
  std::fflush(file.Handle);
  struct stat info;
  if (fstat(fileno(file.Handle), &info) != 0) Raise(file.Name, ShortRead, CALLER);
  return static_cast<uint64_t>(info.st_size);
}

__attribute__((noinline)) void Close(File& file) {
  if (!file.Handle) Raise(file.Name, NotOpen, CALLER);
  std::FILE* handle = file.Handle;
  file.Handle = nullptr;
  // Data still in the stdio buffer is written here; a full disk shows up now.
  errno = 0;
  if (std::fclose(handle) != 0) Raise(file.Name, ShortWrite, CALLER, WriteProblem());
}

__attribute__((noinline)) void Fail(const std::string& fileName, int32_t code) {
  Raise(fileName, code, CALLER);
}

void SetFailureHandler(FailureHandler newHandler) { handler = newHandler; }

void UseConsoleMessages(const char* programName) { consoleProgram = programName; }

}  // namespace binfile
