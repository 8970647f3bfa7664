// The tool's three jobs: one frame as PNG, the production as video, a timing report.
// Each prints its own one-line errors and returns the process exit code.
#pragma once

#include <cstdint>
#include <string>

#include "session.h"

namespace render {

struct Job {
  std::string Output;           // absolute path
  FrameSize Size;
  FrameSize TinySize{64, 48};   // timing: the viewport where fill is negligible
  int32_t AtMs = 0;             // still
  bool Loading = false;         // still: the loading picture instead
  int32_t FromMs = 0;           // video
  int32_t ToMs = LastClockMs;   // video
  uint32_t Seed = 1;
  bool ShowProgress = true;
};

int RenderStill(const Job& job);
int RecordVideo(const Job& job);
int RunTiming(const Job& job);

// Writes "lumetra-render: text" on standard error.
void PrintError(const std::string& text);

// The full path of an executable found in PATH, or "" when there is none.
std::string FindProgram(const std::string& name);

}  // namespace render
