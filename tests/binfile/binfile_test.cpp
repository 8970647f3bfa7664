// The checked binary-file helper: what each failure reports and how it ends.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "framework/binfile/binfile.h"

namespace {

struct Failure {
  int32_t Code;
  std::string Name, Problem;
};

void Throw(int32_t code, const std::string& name, const std::string& problem, uintptr_t) {
  throw Failure{code, name, problem};
}

class BinFile : public ::testing::Test {
 protected:
  void SetUp() override {
    binfile::SetFailureHandler(Throw);
    dir = std::filesystem::temp_directory_path() / ("binfile_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    binfile::SetFailureHandler(nullptr);
    std::filesystem::remove_all(dir);
  }
  std::string Path(const char* name) { return (dir / name).string(); }

  template <typename F>
  Failure FailureOf(F&& f) {
    try {
      f();
    } catch (const Failure& failure) {
      return failure;
    }
    return {0, "", "no failure"};
  }

  std::filesystem::path dir;
};

}  // namespace

TEST_F(BinFile, WritesSeeksAndReadsBack) {
  binfile::File out;
  binfile::Create(out, Path("a.bin"));
  binfile::Write(out, "abcdef", 6);
  binfile::Seek(out, 1);
  binfile::Write(out, "XY", 2);
  EXPECT_EQ(binfile::Size(out), 6u);
  binfile::Close(out);

  binfile::File in;
  binfile::OpenRead(in, Path("a.bin"));
  char text[7] = {};
  binfile::Read(in, text, 6);
  EXPECT_STREQ(text, "aXYdef");
  binfile::Seek(in, 4);
  binfile::Read(in, text, 2);
  EXPECT_EQ(std::string(text, 2), "ef");
  binfile::Close(in);
}

TEST_F(BinFile, CreateReplacesAnExistingFile) {
  std::ofstream(Path("b.bin")) << "a much longer old content";
  binfile::File out;
  binfile::Create(out, Path("b.bin"));
  binfile::Write(out, "new", 3);
  binfile::Close(out);
  EXPECT_EQ(std::filesystem::file_size(Path("b.bin")), 3u);
}

TEST_F(BinFile, EachFailureHasItsRuntimeErrorNumber) {
  binfile::File file;
  Failure f = FailureOf([&] { binfile::OpenRead(file, Path("missing.bin")); });
  EXPECT_EQ(f.Code, 2);
  EXPECT_EQ(f.Name, Path("missing.bin"));
  EXPECT_EQ(f.Problem, "file not found");

  std::ofstream(Path("short.bin")) << "abc";
  binfile::File in;
  binfile::OpenRead(in, Path("short.bin"));
  char buffer[8];
  EXPECT_EQ(FailureOf([&] { binfile::Read(in, buffer, 4); }).Code, 100);

  binfile::File never;
  EXPECT_EQ(FailureOf([&] { binfile::Read(never, buffer, 1); }).Code, 103);
  EXPECT_EQ(FailureOf([&] { binfile::Write(never, buffer, 1); }).Code, 103);
  EXPECT_EQ(FailureOf([&] { binfile::Close(never); }).Code, 103);

  // Other open failures carry the system's error number.
  EXPECT_EQ(FailureOf([&] { binfile::OpenRead(file, dir.string()); }).Code, EISDIR);
  EXPECT_EQ(FailureOf([&] { binfile::Create(file, Path("no/such/dir.bin")); }).Code, ENOENT);
}

TEST_F(BinFile, ShortWriteOnAFullDevice) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  binfile::File out;
  binfile::Create(out, "/dev/full");
  // The write may be buffered; the failure then shows up when the data is flushed.
  Failure f = FailureOf([&] {
    binfile::Write(out, std::string(100000, 'x').data(), 100000);
    binfile::Close(out);
  });
  EXPECT_EQ(f.Code, 101);
}

TEST(BinFileReport, BoxTextNamesTheErrorAndAddressAndExitsWithIt) {
  // No display: the box's caption and text go to standard error.
  EXPECT_EXIT(
      {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        binfile::File file;
        binfile::OpenRead(file, "/nonexistent/picture.tqz");
      },
      ::testing::ExitedWithCode(2), "Error: Runtime error 2 at 0x[0-9A-F]+");
  EXPECT_EXIT(
      {
        binfile::UseConsoleMessages("tqz");
        binfile::File file;
        binfile::Read(file, nullptr, 1);
      },
      ::testing::ExitedWithCode(103), "tqz: : file not open");
}
