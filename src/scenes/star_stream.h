// The spike star and particle stream in the turning room (two scenes), and the
// state they share.
#pragma once

#include <cstdint>
#include <optional>

namespace scenes {

// Frames drawn by the two scenes; also the second scene's stream spin, degrees.
extern double StreamSpin;
// Indices 1 to 1276 into CosTable that make the spikes' middle rings breathe.
extern int32_t PulseIndex1;
extern int32_t PulseIndex2;
// Half-sizes of the spike's second and third rings.
extern double PulseRadius1;
extern double PulseRadius2;

// The checkered room with the star and the bluish stream (14231 to 21000 ms).
void StarStreamScene1();
// Creates the angles, pulse, stream records and RoomList that both scenes share.
void StarStreamSetup1();

// The wire room, three echoed stars and the spinning white stream (21001 to 28000 ms).
void StarStreamScene2();
// Only moves ScenePhase on: everything else carries over from the first scene.
void StarStreamSetup2();

// One spike along +z in the current frame, its rings sized by the pulse radii.
void DrawSpike();
// Six spikes, each filled (front faces) with alpha fillAlpha and wired with
// wireAlpha. Leaves the modelview turned by 270 degrees about y and both polygon
// modes at GL_LINE.
void DrawSpikeStar(float fillAlpha, float wireAlpha);
// The 400 stream records as camera-facing squares; expects texturing on with the
// stream's texture bound and the colour set. Without a spin (std::nullopt) no spin
// rotation is issued at all; with one, the stream turns by it about the room's x axis.
void DrawStream(std::optional<double> spin);

// Moves the 400 records one frame along -x, spreading them near the centre and
// emitting again those that left at the far side.
void AdvanceStream();
// Reads both radii from the table, then steps both indices.
void AdvancePulse();

}  // namespace scenes
