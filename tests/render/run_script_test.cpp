// ./run.sh on a machine without a display records the video instead of failing.
// Runs a copy of run.sh in a folder whose scripts and programs are stand-ins.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/test_pictures.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

using namespace rendertest;

void WriteScript(const std::string& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body;
  fs::permissions(path, fs::perms::owner_all);
}

// A copy of run.sh with stand-in install, build, program and renderer, in dir.
std::string MakeTree(const testsupport::TempDir& dir, int renderExit) {
  const std::string top = dir.Path();
  fs::create_directories(top + "/scripts");
  fs::create_directories(top + "/build");
  fs::copy_file(std::string(LUMETRA_SOURCE_DIR) + "/run.sh", top + "/run.sh");
  WriteScript(top + "/scripts/deps.sh", "exit 0\n");
  WriteScript(top + "/scripts/build.sh", "exit 0\n");
  WriteScript(top + "/build/lumetra", "echo program ran\n");
  WriteScript(top + "/build/lumetra-render",
              "echo \"$@\" > render-args\n[ " + std::to_string(renderExit) +
                  " -ne 0 ] && exit " + std::to_string(renderExit) + "\ntouch lumetra.mp4\n");
  return top;
}

TEST(RunScript, WithoutADisplayRecordsTheVideoAndSaysWhereItIs) {
  const testsupport::TempDir dir;
  const std::string top = MakeTree(dir, 0);
  const Result r = RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY bash " + Quote(top + "/run.sh"));
  EXPECT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(ReadText(top + "/build/render-args"), "-o lumetra.mp4\n");
  EXPECT_NE(r.Out.find(top + "/build/lumetra.mp4"), std::string::npos) << r.Out;
  EXPECT_EQ(r.Out.find("program ran"), std::string::npos);
}

TEST(RunScript, AFailedRecordingFailsTheScript) {
  const testsupport::TempDir dir;
  const std::string top = MakeTree(dir, 4);
  const Result r = RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY bash " + Quote(top + "/run.sh"));
  EXPECT_NE(r.Code, 0);
  EXPECT_EQ(r.Out.find("Done"), std::string::npos) << r.Out;
}

TEST(RunScript, WithADisplayRunsTheProgram) {
  const testsupport::TempDir dir;
  const std::string top = MakeTree(dir, 0);
  const Result r = RunCommand("env DISPLAY=:99 bash " + Quote(top + "/run.sh"));
  EXPECT_EQ(r.Code, 0) << r.Err;
  EXPECT_NE(r.Out.find("program ran"), std::string::npos);
  EXPECT_FALSE(fs::exists(top + "/build/render-args"));
}

}  // namespace
