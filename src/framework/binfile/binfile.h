// Checked binary file access with a record size of one byte. Every failure ends
// the program through the runtime error box: "Runtime error N at 0x..." captioned
// "Error", exit code N (2 missing file, 100 short read, 101 short write, 103 not open;
// other open failures give the system's error number). Command-line tools may
// replace the box with a one-line message (UseConsoleMessages).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace binfile {

// Runtime error numbers.
constexpr int32_t MissingFile = 2;
constexpr int32_t ShortRead = 100;
constexpr int32_t ShortWrite = 101;
constexpr int32_t NotOpen = 103;
constexpr int32_t OutOfMemory = 203;  // heap overflow: a size the memory cannot hold

// A file opened by OpenRead or Create; a File that goes out of scope while open is
// closed without further checks (the failure path), so call Close to finish a write.
struct File {
  std::FILE* Handle = nullptr;
  std::string Name;

  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();
};

// Opens an existing file for reading.
void OpenRead(File& file, const std::string& name);
// Creates a file for writing, replacing any existing one.
void Create(File& file, const std::string& name);
// Reads exactly count bytes (error 100 when the file ends first).
void Read(File& file, void* buffer, size_t count);
// Writes exactly count bytes (error 101 when fewer are stored).
void Write(File& file, const void* buffer, size_t count);
// Moves to byte position (from the start).
void Seek(File& file, uint64_t position);
// Length of the file in bytes.
uint64_t Size(File& file);
// Flushes and closes; a write that fails on the way to disk is error 101.
void Close(File& file);

// Ends the program with runtime error code for fileName (the handler decides how).
[[noreturn]] void Fail(const std::string& fileName, int32_t code);

// How failures are reported. The handler gets the error number, the file name, a
// short description of the problem and the address of the failing call; it must not
// return (exit, or throw to a caller that expects it). nullptr restores the box.
using FailureHandler = void (*)(int32_t code, const std::string& fileName,
                                const std::string& problem, uintptr_t address);
void SetFailureHandler(FailureHandler handler);

// For command-line tools: failures print "program: file: problem" on standard error
// and exit with the error number, with no box.
void UseConsoleMessages(const char* programName);

// The problem text of an error number ("file not found", "unexpected end of file", ...).
std::string ProblemText(int32_t code);

}  // namespace binfile
