#include "tool_runner.h"

#include "support/test_pictures.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace rendertest {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string ToolPath() { return std::string(LUMETRA_BUILD_DIR) + "/lumetra-render"; }

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

Result RunCommand(const std::string& command) {
  const testsupport::TempDir dir;
  const std::string out = dir.File("out"), err = dir.File("err");
  const int status =
      std::system((command + " >" + Quote(out) + " 2>" + Quote(err) + " </dev/null").c_str());
  Result r;
  r.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.Out = ReadText(out);
  r.Err = ReadText(err);
  return r;
}

Result RunTool(const std::vector<std::string>& args, const std::string& env) {
  std::string command = "cd " + Quote(LUMETRA_BUILD_DIR) + " && " + env + " " + Quote(ToolPath());
  for (const std::string& a : args) command += " " + Quote(a);
  return RunCommand(command);
}

pngio::Image RenderAt(int ms, const std::string& size, unsigned seed) {
  const testsupport::TempDir dir;
  const std::string png = dir.File("frame.png");
  const Result r = RunTool({"--at", std::to_string(ms), "--size", size, "--seed",
                            std::to_string(seed), "-o", png});
  EXPECT_EQ(r.Code, 0) << r.Err;
  pngio::Image image;
  std::string error;
  EXPECT_TRUE(pngio::ReadPng(png, image, error)) << error;
  return image;
}

bool AllWhite(const pngio::Image& image) {
  if (image.Pixels.empty()) return false;
  for (uint8_t v : image.Pixels)
    if (v != 255) return false;
  return true;
}

}  // namespace rendertest
