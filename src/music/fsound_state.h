// The FSOUND_* layer's state and checks, shared by its two outputs: SDL2 audio on the
// desktop (fsound.cpp) and Web Audio in a page (fsound_web.cpp).
#pragma once

#include <mpg123.h>

namespace music::fsound {

extern int lastError;    // FSOUND_GetError's code
extern int output;       // FSOUND_SetOutput's choice
extern bool initialised;  // between FSOUND_Init and FSOUND_Close

// Notes the error code; returns false.
bool Fail(int code);

// FSOUND_Init's checks before it opens anything: not started yet, 44100 Hz, a channel.
bool CheckInit(int mixRate, int maxChannels);

// FSOUND_Stream_OpenFile's start: checks that the system is started and that path
// names a regular file (else FMOD_ERR_FILE_NOTFOUND or FMOD_ERR_FILE_BAD), then makes
// a quiet, gapless decoder (where the file's tag states the encoder's delay and
// padding, they are cut, so the first sample played is the first one composed) with
// the given extra flags and no output format yet. Null on failure.
mpg123_handle* NewStreamDecoder(const char* path, long extraFlags);

}  // namespace music::fsound
