// Frames of the checker-stack stretch at 640 x 480 as PNG files, for looking at.
// Needs the production's pictures in build/data; writes build/frames/*.png.
// Run: tests/test_scenes --gtest_also_run_disabled_tests --gtest_filter='CheckerStackFrames.*'
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "demo/startup.h"
#include "framework/particle/random.h"
#include "framework/window/window.h"
#include "support/gl_fixture.h"
#include "support/scene_fixture.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

TEST(CheckerStackFrames, DISABLED_SaveFramesAsPng) {
  ASSERT_TRUE(testsupport::OpenTestContext(kWidth, kHeight));
  demo::BuildTables();
  demo::LoadTextureBank();
  demo::CreateParticlePool();
  std::filesystem::create_directories("frames");

  for (int32_t clock : {1000, 5000, 10000, 13500, 14230}) {
    // Every 15 ms frame up to the clock, as the frame loop at its pacing limit.
    demo::ResetSceneGlobals();
    particle::SeedRandom(1);
    testsupport::RunFramesUpTo(clock);
    testsupport::SaveFramePng("frames/checker_stack_" + std::to_string(clock) + ".png", kWidth,
                              kHeight);
  }

  demo::DestroyParticlePool();
  demo::DestroyTextureBank();
  window::CloseOffscreenContext();
}

}  // namespace
