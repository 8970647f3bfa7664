// Not a check: renders the late frames of the run at 640 x 480 to PNG files for
// looking at. Run with
//   ./tests/test_scenes --gtest_also_run_disabled_tests --gtest_filter='LookAtFrames.*'
// from the build directory; the pictures go to look_frames/.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "demo/startup.h"
#include "demo/timeline.h"
#include "framework/particle/random.h"
#include "framework/window/window.h"
#include "support/gl_fixture.h"
#include "support/scene_fixture.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

class LookAtFrames : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(testsupport::OpenTestContext(kWidth, kHeight));
    demo::BuildTables();
    demo::LoadTextureBank();
    demo::CreateParticlePool();
    demo::ResetSceneGlobals();
    particle::SeedRandom(1);
  }
  static void TearDownTestSuite() {
    demo::DestroyParticlePool();
    demo::DestroyTextureBank();
    window::CloseOffscreenContext();
  }
};

// Every frame from 0 ms at the 15 ms pacing; the frame whose step contains a chosen
// time is drawn at exactly that time and saved.
TEST_F(LookAtFrames, DISABLED_LateFramesOfTheRun) {
  const int32_t chosen[] = {36000, 40000, 45000, 52000, 58000, 62000, 67000, 69900};
  const std::string dir = "look_frames";
  std::filesystem::create_directories(dir);
  size_t next = 0;
  for (int32_t clock = 0; next < std::size(chosen); clock += 15) {
    if (chosen[next] < clock + 15) {
      demo::DrawTimelineFrame(chosen[next]);
      testsupport::SaveFramePng(dir + "/frame_" + std::to_string(chosen[next]) + ".png",
                                kWidth, kHeight);
      ++next;
    } else {
      demo::DrawTimelineFrame(clock);
    }
  }
}

}  // namespace
