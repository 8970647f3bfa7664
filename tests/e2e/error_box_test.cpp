// Error boxes of the real program when SDL cannot show its own (made to fail by a
// preload): the GTK box appears with the caption, waits for the user, and the exit
// code follows the error.
#include "e2e_harness.h"

namespace {

using namespace e2e;

using ErrorBoxEndToEnd = EndToEnd;

TEST_F(ErrorBoxEndToEnd, WhenSdlCannotShowTheBoxGtkShowsItAndItWaitsForTheUser) {
  struct Case {
    const char* name;
    const char* caption;
    const char* text;  // what would reach standard error if no box were shown
    const char* removedPicture;
    std::optional<double> music;
    int exitCode;
  } cases[] = {{"missing soundtrack", "FMOD", "File not found", nullptr, std::nullopt, 0},
               {"missing picture", "Error", "Runtime error 2", "flare.tqz", 1.0, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path workdir = MakeWorkdir(c.music);
    if (c.removedPicture) fs::remove(workdir / "data" / c.removedPicture);
    Process lumetra = Process::Start({(kBuild / "lumetra").string()}, workdir,
                                     {{"DISPLAY", display_},
                                      {"SDL_AUDIODRIVER", "disk"},
                                      {"SDL_DISKAUDIOFILE", AudioFile().string()},
                                      {"LD_PRELOAD", NO_SDL_BOX_LIBRARY},
                                      {"ASAN_OPTIONS", "verify_asan_link_order=0"}},
                                     {"WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}, StderrFile());
    AcceptDialog();
    auto box = FindWindow(c.caption, 60);
    ASSERT_TRUE(box) << ReadFile(StderrFile());
    EXPECT_TRUE(IsViewable(box->first));
    EXPECT_FALSE(lumetra.Wait(0)) << "ended without waiting for the box";
    PressKey(box->first, "Return");
    std::optional<int> code = lumetra.Wait(20);
    ASSERT_TRUE(code) << "still running after the box was answered";
    EXPECT_EQ(*code, c.exitCode);
    EXPECT_EQ(ReadFile(StderrFile()).find(c.text), std::string::npos)
        << "the text went to standard error instead of the box";
    fs::remove_all(workdir);
  }
}

}  // namespace
