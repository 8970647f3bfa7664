// The configuration dialog of the real program, driven with the keyboard under Xvfb.
#include "e2e_harness.h"

namespace {

using namespace e2e;

using DialogEndToEnd = EndToEnd;

void Keys(const std::string& window, const std::string& keys) {
  Shell("timeout 20 xdotool windowfocus --sync " + window + " key --delay 120 " + keys + " 2>&1");
}

TEST_F(DialogEndToEnd, KeyboardChoicesOpenAnOrdinaryWindowWithTheSilentOutput) {
  Process lumetra = StartLumetra(kBuild);
  auto dialog = FindWindow("Config", 20);
  ASSERT_TRUE(dialog) << "no configuration dialog";
  EXPECT_TRUE(dialog->second.starts_with("284x262")) << dialog->second;
  // Go! has the focus: on to Cancel, the list (one down: "800 x 600"), untick
  // Fullscreen, past True Color, untick Music, back to Go! and press it.
  Keys(dialog->first,
       "Tab Tab Down Tab space Tab Tab space "
       "shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab Return");
  auto window = FindWindow("Lumetra", 30);
  ASSERT_TRUE(window) << ReadFile(StderrFile());
  EXPECT_EQ(window->second, "800x600+0+0");
  // Past the loading picture the music would be playing: the silent output opens
  // no sound device, so the disk driver never writes its file.
  Pause(3500);
  EXPECT_FALSE(fs::exists(AudioFile()));
  PressKey(window->first, "Escape");
  std::optional<int> code = lumetra.Wait(20);
  ASSERT_TRUE(code) << "still running 20 s after Escape";
  EXPECT_EQ(*code, 0) << ReadFile(StderrFile());
}

TEST_F(DialogEndToEnd, EnterOnTheListOrACheckBoxStartsTheRunWithTheChoicesSoFar) {
  struct Case {
    const char* keys;
    const char* geometry;
  } cases[] = {{"Tab Tab Return", "640x480+0+0"},                  // on the list
               {"Tab Tab Down Tab space Return", "800x600+0+0"}};  // on "Fullscreen"
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    Process lumetra = StartLumetra(kBuild);
    auto dialog = FindWindow("Config", 20);
    ASSERT_TRUE(dialog) << "no configuration dialog\n"
                        << Shell("xwininfo -root -tree 2>&1") << ReadFile(StderrFile());
    Keys(dialog->first, c.keys);
    auto window = FindWindow("Lumetra", 30);
    ASSERT_TRUE(window) << "Enter did not start the run";
    EXPECT_EQ(window->second, c.geometry);
    PressKey(window->first, "Escape");
    std::optional<int> code = lumetra.Wait(20);
    ASSERT_TRUE(code) << "still running 20 s after Escape";
    EXPECT_EQ(*code, 0) << ReadFile(StderrFile());
  }
}

TEST_F(DialogEndToEnd, EscapeIsIgnoredAndCancelEndsBeforeAnyWindowOpens) {
  Process lumetra = StartLumetra(kBuild);
  auto dialog = FindWindow("Config", 20);
  ASSERT_TRUE(dialog) << "no configuration dialog";
  Keys(dialog->first, "Escape");
  EXPECT_FALSE(lumetra.Wait(1.5)) << "Escape ended the program";
  EXPECT_TRUE(IsViewable(dialog->first));

  Keys(dialog->first, "Tab Return");  // Cancel
  std::optional<int> code = lumetra.Wait(10);
  ASSERT_TRUE(code) << "still running after Cancel";
  EXPECT_EQ(*code, 0);
  EXPECT_FALSE(FindWindow("Lumetra", 0));
  EXPECT_FALSE(fs::exists(AudioFile()));
}

}  // namespace
