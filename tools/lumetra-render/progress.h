// A one-line progress bar on standard error, drawn only when it is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace render {

class ProgressBar {
 public:
  // enabled false (or a standard error that is no terminal) draws nothing.
  ProgressBar(std::string label, bool enabled);
  ~ProgressBar();
  // Redraws at most ten times a second.
  void Update(int64_t done, int64_t total);
  // Clears the line.
  void Finish();

 private:
  std::string label_;
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
};

}  // namespace render
