// Music playback: the soundtrack stream, whose position is the production's clock.
#pragma once

#include <cstdint>

#include "music/fsound.h"

namespace music {

extern FSOUND_STREAM* MusicStream;
extern int32_t MusicChannel;

// Starts the sound system (audible output when music is true, the silent one when
// false) and plays data/lumetra.mp3 from its start; the stream plays in both cases
// because it is the clock. Every failure ends the program through an "FMOD" box.
void StartMusic(bool music);

// The stream's position in ms (FSOUND_Stream_GetTime of MusicStream).
int32_t StreamPosition();

// Closes the stream, then the sound system.
void StopMusic();

// The fixed text of a sound error code; "Unknown error" for codes outside the table.
const char* SoundErrorText(int code);

}  // namespace music
