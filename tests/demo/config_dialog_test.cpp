#include <gtest/gtest.h>

#include "demo/config_dialog.h"

namespace {

using demo::ConfigDialogCommand;
using demo::DemoSettings;
using demo::DialogOutcome;

TEST(ConfigDialog, OpensWithTheDefaultsTickedAndTheFirstResolution) {
  const demo::ConfigDialogView view = demo::InitConfigDialog(DemoSettings{});
  EXPECT_TRUE(view.FullscreenChecked);
  EXPECT_TRUE(view.TrueColorChecked);
  EXPECT_TRUE(view.MusicChecked);
  ASSERT_EQ(view.SelectedResolution, 0);
  EXPECT_STREQ(demo::Resolutions[0].Text, "640 x 480");

  DemoSettings plain;
  plain.Fullscreen = false;
  plain.ColorBits = 16;
  plain.Music = false;
  const demo::ConfigDialogView unticked = demo::InitConfigDialog(plain);
  EXPECT_FALSE(unticked.FullscreenChecked);
  EXPECT_FALSE(unticked.TrueColorChecked);
  EXPECT_FALSE(unticked.MusicChecked);
}

TEST(ConfigDialog, GoUntouchedStartsWithTheDefaults) {
  DemoSettings settings;
  const auto view = demo::InitConfigDialog(settings);
  EXPECT_EQ(ConfigDialogCommand(settings, demo::GoButton, view.SelectedResolution),
            DialogOutcome::Go);
  EXPECT_EQ(settings.Width, 640);
  EXPECT_EQ(settings.Height, 480);
  EXPECT_EQ(settings.ColorBits, 32);
  EXPECT_TRUE(settings.Fullscreen);
  EXPECT_TRUE(settings.Music);
}

TEST(ConfigDialog, EveryClickFlipsItsFlag) {
  DemoSettings settings;
  ConfigDialogCommand(settings, demo::TrueColorBox, 0);
  EXPECT_EQ(settings.ColorBits, 16);
  ConfigDialogCommand(settings, demo::TrueColorBox, 0);
  EXPECT_EQ(settings.ColorBits, 32);

  ConfigDialogCommand(settings, demo::FullscreenBox, 0);
  EXPECT_FALSE(settings.Fullscreen);
  ConfigDialogCommand(settings, demo::MusicBox, 0);
  EXPECT_FALSE(settings.Music);
  ConfigDialogCommand(settings, demo::FullscreenBox, 0);
  ConfigDialogCommand(settings, demo::MusicBox, 0);
  EXPECT_TRUE(settings.Fullscreen);
  EXPECT_TRUE(settings.Music);
}

TEST(ConfigDialog, GoTakesOnlyResolutionsOfTheList) {
  const int32_t expected[4][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 960}};
  for (int32_t i = 0; i < 4; ++i) {
    DemoSettings settings;
    ConfigDialogCommand(settings, demo::GoButton, i);
    EXPECT_EQ(settings.Width, expected[i][0]);
    EXPECT_EQ(settings.Height, expected[i][1]);
  }
  for (int32_t outside : {-1, 4, 1000}) {
    DemoSettings settings;
    settings.Width = 1024;
    settings.Height = 768;
    EXPECT_EQ(ConfigDialogCommand(settings, demo::GoButton, outside), DialogOutcome::Go);
    EXPECT_EQ(settings.Width, 1024);
    EXPECT_EQ(settings.Height, 768);
  }
}

TEST(ConfigDialog, CancelEndsAndOtherCommandsDoNothing) {
  DemoSettings settings;
  EXPECT_EQ(ConfigDialogCommand(settings, demo::CancelButton, 2), DialogOutcome::Cancel);
  // Escape's cancel command (2) and the list itself are not handled.
  EXPECT_EQ(ConfigDialogCommand(settings, 2, 2), DialogOutcome::Stay);
  EXPECT_EQ(ConfigDialogCommand(settings, demo::ResolutionList, 2), DialogOutcome::Stay);
  const DemoSettings defaults;
  EXPECT_EQ(settings.Width, defaults.Width);
  EXPECT_EQ(settings.ColorBits, defaults.ColorBits);
  EXPECT_EQ(settings.Fullscreen, defaults.Fullscreen);
  EXPECT_EQ(settings.Music, defaults.Music);
}

}  // namespace
