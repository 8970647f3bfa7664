// Test hooks of lumetra-test.exe (never in lumetra.exe): frames at exact steps of the
// frame pace from a fixed seed, as lumetra-render draws them, with chosen frames read
// back into files.
#pragma once

namespace test_hooks {

// With LUMETRA_TEST_FRAMES set, runs the frame loop's next frame itself and returns
// true; otherwise returns false and the loop runs as the program's.
bool StepFrame();

}  // namespace test_hooks
