// The tools' output files, written so that a tool never deletes or replaces what it
// did not make. A regular file (or a new one) is written as a temporary file in the
// same folder and renamed over the target when complete, keeping the permissions of a
// target that existed; a symbolic link is followed, so the link stays and its target
// is replaced. An existing file that is not regular (a device, a FIFO, a terminal,
// /dev/stdout and the other /proc/self/fd links) is written directly. On failure the
// temporary file is removed and the target is as it was.
#pragma once

#include <cstdio>
#include <string>

namespace outfile {

class Output {
 public:
  Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  // An output neither committed nor failed is abandoned: its temporary file goes.
  ~Output();

  // Gets the output ready for writing. On failure returns false with error set to
  // what failed and why (the caller names the file), and nothing was created.
  // Without a stream the file is left to another program to write at WritePath()
  // (a device or FIFO is then not opened here, so that opening it cannot wait).
  bool Open(const std::string& target, std::string& error, bool withStream = true);

  // The stream to write to (valid after a successful Open, until Commit).
  std::FILE* Stream() const { return stream_; }
  // The file being written: the temporary file, or the target when written directly
  // (for a program that writes the file itself; the stream then stays unused).
  const std::string& WritePath() const { return writePath_; }
  bool Direct() const { return direct_; }

  // Flushes, closes and, for a temporary file, puts it in the target's place. On
  // failure returns false with error set as for Open, and the temporary file is gone.
  bool Commit(std::string& error);

  // Gives up: closes and removes the temporary file (the target stays as it was).
  void Abandon();

 private:
  std::string writePath_;  // temporary file or target
  std::string finalPath_;  // what the temporary file is renamed to (links followed)
  std::FILE* stream_ = nullptr;
  bool direct_ = false;
  bool open_ = false;
};

// Whether target could be written as Output writes it (the folder exists and takes
// new files, or an existing device or FIFO is writable); false with error set if not.
bool CheckWritable(const std::string& target, std::string& error);

// Writes size bytes to target as above; false with error set on failure.
bool WriteFile(const std::string& target, const void* data, size_t size, std::string& error);

}  // namespace outfile
