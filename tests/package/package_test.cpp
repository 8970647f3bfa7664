// The Debian package as a user gets it: made by CPack from the build tree, unpacked
// with dpkg-deb into a temporary folder, and run from there (the launcher and the
// tools find everything relative to their own places).
#include <set>

#include "common/png_io.h"
#include "e2e/e2e_harness.h"
#include "support/test_pictures.h"

namespace {

using namespace e2e;

const std::set<std::string> kPackageFiles = {
    "usr/games/lumetra",
    "usr/lib/games/lumetra/lumetra",
    "usr/bin/lumetra-render",
    "usr/bin/tqz",
    "usr/share/games/lumetra/data/loading.tqz",
    "usr/share/games/lumetra/data/intro1.tqz",
    "usr/share/games/lumetra/data/checkers.tqz",
    "usr/share/games/lumetra/data/checkers2.tqz",
    "usr/share/games/lumetra/data/flare.tqz",
    "usr/share/games/lumetra/data/flare2.tqz",
    "usr/share/games/lumetra/data/greets1.tqz",
    "usr/share/games/lumetra/data/greets2.tqz",
    "usr/share/games/lumetra/data/greets3.tqz",
    "usr/share/games/lumetra/data/lumetra.mp3",
    "usr/share/applications/org.lumetra.lumetra.desktop",
    "usr/share/icons/hicolor/48x48/apps/lumetra.png",
    "usr/share/icons/hicolor/64x64/apps/lumetra.png",
    "usr/share/icons/hicolor/128x128/apps/lumetra.png",
    "usr/share/icons/hicolor/256x256/apps/lumetra.png",
    "usr/share/metainfo/org.lumetra.lumetra.metainfo.xml",
    "usr/share/man/man6/lumetra.6.gz",
    "usr/share/man/man1/lumetra-render.1.gz",
    "usr/share/man/man1/tqz.1.gz",
    "usr/share/doc/lumetra/copyright",
    "usr/share/doc/lumetra/changelog.gz",
    "usr/share/lintian/overrides/lumetra",
};

// Runs a shell command line with standard error joined to the output; returns the exit code.
int RunShell(const std::string& command, std::string& output) {
  output.clear();
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

using PackageEndToEnd = EndToEnd;

TEST_F(PackageEndToEnd, TheUnpackedPackageHasTheGamesLayoutAndRunsFromWhereItLies) {
  if (Shell("command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps").empty())
    GTEST_SKIP() << "dpkg-deb and dpkg-shlibdeps are needed to build and unpack the package "
                    "(apt-get install dpkg-dev)";

  // CPack on the build tree, with its own output and staging folder, so that it
  // neither builds anything nor meets a ./package.sh running at the same time.
  const fs::path out = dir_ / "out";
  std::string log;
  ASSERT_EQ(RunShell(std::string("'") + LUMETRA_CPACK + "' --config " +
                    Quote(kBuild / "CPackConfig.cmake") + " -G DEB -B " + Quote(out),
                log),
            0)
      << log;
  std::vector<fs::path> debs;
  for (const auto& entry : fs::directory_iterator(out))
    if (entry.path().extension() == ".deb") debs.push_back(entry.path());
  ASSERT_EQ(debs.size(), 1u) << log;

  std::string fields;
  ASSERT_EQ(RunShell("dpkg-deb -f " + Quote(debs[0]) + " Depends Recommends Section", fields), 0);
  EXPECT_NE(fields.find("libsdl2"), std::string::npos) << fields;  // from the linked libraries
  EXPECT_NE(fields.find("Recommends: ffmpeg"), std::string::npos) << fields;
  EXPECT_NE(fields.find("Section: games"), std::string::npos) << fields;

  const fs::path root = dir_ / "root";
  ASSERT_EQ(RunShell("dpkg-deb -x " + Quote(debs[0]) + " " + Quote(root), log), 0) << log;
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (!entry.is_directory()) files.insert(fs::relative(entry.path(), root).string());
  EXPECT_EQ(files, kPackageFiles);
  EXPECT_TRUE(ReadFile(root / "usr/share/doc/lumetra/copyright")
                  .starts_with("Format: https://www.debian.org/doc/packaging-manuals/"
                               "copyright-format/1.0/"));
  EXPECT_NE(ReadFile(root / "usr/share/applications/org.lumetra.lumetra.desktop")
                .find("\nExec=/usr/games/lumetra\n"),
            std::string::npos);

  // Run from an empty folder: lumetra-render finds the installed data by itself. The
  // libraries the runs open (logged by the loader) all come with the Depends.
  const fs::path elsewhere = dir_ / "elsewhere", loads = dir_ / "loads";
  fs::create_directories(elsewhere);
  fs::create_directories(loads);
  const std::string logLoads = "LD_DEBUG=libs LD_DEBUG_OUTPUT=" + Quote(loads / "ld") + " ";
  ASSERT_EQ(RunShell("cd " + Quote(elsewhere) + " && " + logLoads +
                    Quote(root / "usr/bin/lumetra-render") + " --at 21015 -o frame.png -q",
                log),
            0)
      << log;
  pngio::Image frame;
  std::string error;
  ASSERT_TRUE(pngio::ReadPng((elsewhere / "frame.png").string(), frame, error)) << error;
  EXPECT_EQ(frame.Width, 640);
  EXPECT_TRUE(std::all_of(frame.Pixels.begin(), frame.Pixels.end(),
                          [](uint8_t v) { return v == 255; }))
      << "the first frame of the flash is not white";

  ASSERT_EQ(RunShell(Quote(root / "usr/bin/tqz") + " info " +
                    Quote(root / "usr/share/games/lumetra/data/greets1.tqz"),
                log),
            0)
      << log;
  EXPECT_NE(log.find("well formed     yes"), std::string::npos) << log;

  // The launcher runs the program from the data's folder, whatever folder it starts in.
  Process lumetra = Process::Start({(root / "usr/games/lumetra").string()}, elsewhere,
                                   {{"DISPLAY", display_},
                                    {"LD_DEBUG", "libs"},
                                    {"LD_DEBUG_OUTPUT", (loads / "ld").string()},
                                    {"SDL_AUDIODRIVER", "disk"},
                                    {"SDL_DISKAUDIOFILE", AudioFile().string()}},
                                   {"WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}, StderrFile());
  auto dialog = FindWindow("Config", 20);
  ASSERT_TRUE(dialog) << "no configuration dialog: " << ReadFile(StderrFile());
  const fs::path proc = "/proc/" + std::to_string(lumetra.pid);
  std::error_code ec;
  EXPECT_EQ(fs::read_symlink(proc / "exe", ec), fs::canonical(root / "usr/lib/games/lumetra/lumetra"));
  EXPECT_EQ(fs::read_symlink(proc / "cwd", ec), fs::canonical(root / "usr/share/games/lumetra"));
  Shell("timeout 20 xdotool windowfocus --sync " + dialog->first + " key --delay 120 Tab Return");
  std::optional<int> code = lumetra.Wait(10);
  ASSERT_TRUE(code) << "still running after Cancel";
  EXPECT_EQ(*code, 0) << ReadFile(StderrFile());

  ASSERT_EQ(RunShell(std::string(LUMETRA_SOURCE_DIR) + "/tests/package/uncovered_libraries.sh " +
                    Quote(debs[0]) + " " + Quote(loads) + "/ld.*",
                log),
            0);
  EXPECT_EQ(log, "") << "opened at run time, but no package in Depends brings them in";
}

}  // namespace

namespace {

// The same tree packed twice, a second apart, gives the same bytes.
TEST(PackageBytes, TwoPackagingsOfTheSameTreeAreTheSame) {
  const testsupport::TempDir dir;
  std::vector<std::string> packed;
  for (const char* run : {"one", "two"}) {
    if (!packed.empty()) usleep(1100 * 1000);  // file times would differ by a second
    std::string log;
    ASSERT_EQ(RunShell(LUMETRA_SOURCE_DIR "/scripts/package-deb.sh " + Quote(dir.File(run)) +
                           " " + Quote(kBuild),
                       log),
              0)
        << log;
    std::string bytes;
    for (const auto& entry : fs::directory_iterator(dir.File(run)))
      if (entry.path().extension() == ".deb" || entry.path().extension() == ".ddeb")
        bytes += entry.path().filename().string() + ":" + ReadFile(entry.path());
    packed.push_back(bytes);
  }
  EXPECT_GT(packed[0].size(), 100000u);
  EXPECT_TRUE(packed[0] == packed[1]);
}

}  // namespace
