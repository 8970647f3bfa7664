// The tumbling checker stack and the three scenes that show it: alone, then off-centre
// with the upper half of the intro picture, then sliding with its lower half.
#pragma once

namespace scenes {

// Eleven concentric textured squares, square i (0..10) of half-width 1 + i at depth i,
// alpha 1 - i/10 (square 10, alpha 0, adds nothing and is left out). The caller sets the
// modelview matrix and binds the checkers texture with 2D texturing on. red is the
// colour's red component (clamped by OpenGL).
void DrawCheckerStack(float red);

// Up to 3740 ms: the stack spinning slowly in the middle of the screen.
void CheckerStackScene1();

// 3741 to 7250 ms: the stack at the lower left, the upper picture half at the lower right.
void CheckerStackScene2();
// First frame of scene 2: marker 11, SpinAngle restarts at 50.
void CheckerStackSetup2();

// 7251 to 14230 ms: the stack spinning faster and sliding to the left, the lower
// picture half at the upper left.
void CheckerStackScene3();
// First frame of scene 3: marker 12, SpinAngle restarts at -60, Progress at 0.
void CheckerStackSetup3();

}  // namespace scenes
