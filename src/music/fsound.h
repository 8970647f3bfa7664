// A small sound library with the FSOUND_* calls the production uses: one MP3 stream
// decoded by libmpg123 and played on an audible output (SDL2 audio, 44100 Hz stereo,
// 1024-sample buffers; Web Audio in a page: fsound_output.h), or on a silent output
// that opens no device. The stream's position is a steady clock that follows the sound
// as it is heard.
#pragma once

#include <cstdint>

namespace music {

// Outputs for FSOUND_SetOutput.
constexpr int FSOUND_OUTPUT_NOSOUND = 0;  // silent: no device, the position runs on real time
constexpr int FSOUND_OUTPUT_AUDIBLE = 1;  // SDL's audio device, or a page's audio context

// Error codes of FSOUND_GetError (their texts: SoundErrorText).
enum FMOD_ERRORS {
  FMOD_ERR_NONE = 0,
  FMOD_ERR_BUSY = 1,
  FMOD_ERR_UNINITIALIZED = 2,
  FMOD_ERR_INIT = 3,
  FMOD_ERR_ALLOCATED = 4,
  FMOD_ERR_PLAY = 5,
  FMOD_ERR_OUTPUT_FORMAT = 6,
  FMOD_ERR_COOPERATIVELEVEL = 7,
  FMOD_ERR_CREATEBUFFER = 8,
  FMOD_ERR_FILE_NOTFOUND = 9,
  FMOD_ERR_FILE_FORMAT = 10,
  FMOD_ERR_FILE_BAD = 11,
  FMOD_ERR_MEMORY = 12,
  FMOD_ERR_VERSION = 13,
  FMOD_ERR_INVALID_PARAM = 14,
  FMOD_ERR_NO_EAX = 15,
  FMOD_ERR_CHANNEL_ALLOC = 16,
  FMOD_ERR_RECORD = 17,
  FMOD_ERR_MEDIAPLAYER = 18,
};

struct FSOUND_STREAM;

// Chooses the output before FSOUND_Init; false after it (FMOD_ERR_BUSY).
bool FSOUND_SetOutput(int output);
// Only driver 0 (the system's default device) exists.
bool FSOUND_SetDriver(int driver);
// Starts the sound system; opens the audio device for the audible output. The
// mixing rate is fixed at 44100 Hz stereo; the channel count and flags are accepted.
bool FSOUND_Init(int mixRate, int maxChannels, unsigned int flags);
// The code of the last failure.
int FSOUND_GetError();
// Accepted for compatibility: the stream decodes as the device asks for data.
bool FSOUND_Stream_SetBufferSize(int ms);
// Opens an MP3 file as a stream, played once from its start; null on failure
// (FMOD_ERR_FILE_NOTFOUND, FMOD_ERR_FILE_FORMAT, FMOD_ERR_FILE_BAD).
FSOUND_STREAM* FSOUND_Stream_OpenFile(const char* path, unsigned int mode, int length);
// Starts the stream; channel -1 means any free channel. Returns the channel or -1.
int FSOUND_Stream_Play(int channel, FSOUND_STREAM* stream);
// ms since the stream started playing: 1 ms resolution, smooth between device
// buffers, never decreasing, and still advancing in real time after the stream's end.
int32_t FSOUND_Stream_GetTime(FSOUND_STREAM* stream);
bool FSOUND_Stream_Close(FSOUND_STREAM* stream);
// Not an FSOUND call: the audible output's own delay as it last reported it, in ms
// (from a buffer going out to its being heard; 0 on the silent output).
double OutputDelayMs();
// Closes the device and the sound system.
void FSOUND_Close();

}  // namespace music
