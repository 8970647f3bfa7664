// Runs build/lumetra-render (or any command) as a separate process and captures its
// exit code and output, for the renderer's tests.
#pragma once

#include <string>
#include <vector>

#include "common/png_io.h"

namespace rendertest {

struct Result {
  int Code = -1;
  std::string Out;
  std::string Err;
};

// Runs the shell command line; env is prepended as "NAME=value ..." assignments.
Result RunCommand(const std::string& command);
// The tool with the given arguments (each quoted), run in the build folder.
Result RunTool(const std::vector<std::string>& args, const std::string& env = "");

std::string Quote(const std::string& s);
std::string ToolPath();
std::string ReadText(const std::string& path);

// Renders the frame at ms as PNG (64 x 48 unless size is given) and reads it back.
pngio::Image RenderAt(int ms, const std::string& size = "64x48", unsigned seed = 1);
bool AllWhite(const pngio::Image& image);

}  // namespace rendertest
