// The outputs under the FSOUND_* front (fsound.cpp): SDL2 audio on the desktop and on
// Windows (fsound_sdl.cpp), Web Audio in a page (fsound_web.cpp). An output provides
// the routines of the first part below and nothing else: it opens and closes itself,
// feeds itself by calling FeedOutput when it wants sound, and says where its sound is
// heard (the time on its clock each buffer goes out at, and its own delay after that).
// The front does the calls' checks, decodes the stream, keeps its state, and makes the
// clock from those reports.
#pragma once

#include <mpg123.h>

#include <cstddef>

namespace music {
struct FSOUND_STREAM;
}

namespace music::fsound {

// An output's own state for one stream (a format converter), or null.
struct OutputStream;

// What an output says of itself when it opens.
struct OutputSpec {
  int rate = 44100;          // frames per second it plays
  int bufferFrames = 1024;   // frames it asks for at a time
  // Whether it keeps a clock of its own that stands still while it does (Web Audio's
  // context time). Without one (SDL), its clock is the steady time at which it asks
  // for sound: it moves while it asks, each request placing it within the buffer
  // before, and the position read from it is steered, as the requests come in bursts.
  bool ownClock = false;
};

// Where an output's sound is now.
struct OutputTime {
  double clockMs = 0;  // its clock now (the one FeedOutput's atMs is on)
  double delayMs = 0;  // from going out on that clock to being heard, as it reports it
};

// ---- Provided by each output ----

// Opens the audible output, waiting a bounded time at most; false when it cannot.
bool OpenOutput(OutputSpec& spec);
// Closes it, waiting a bounded time at most.
void CloseOutput();
// Has it ask for sound.
void StartOutput();
// While held, no FeedOutput runs.
void HoldOutput();
void ReleaseOutput();
// Where its sound is now. Never waits.
OutputTime ReadOutputTime();
// Lets the output run for about `ms` while a caller waits for it.
void AwaitOutput(int ms);

// Sets the formats the decoder may deliver, before the file is opened.
void OfferFormats(mpg123_handle* decoder);
// The output's state for a stream whose decoder delivers this format; null with an
// FMOD error code in `error` when the output cannot play it.
OutputStream* NewOutputStream(mpg123_handle* decoder, long rate, int channels, int encoding,
                              int* error);
void DeleteOutputStream(OutputStream* output);
// Writes the stream's next `frames` frames into `out` in the output's format (silence
// after its end), or drops them when `out` is null.
void RenderStream(FSOUND_STREAM* stream, void* out, int frames);

// ---- Provided by the front, for the outputs ----

// The output takes the next `frames` frames of the playing stream into `out`, to go
// out at `atMs` on its clock. False when no stream plays: the output plays silence.
bool FeedOutput(void* out, int frames, double atMs);
// One read of `stream`'s decoder into `into` (at most `bytes`); marks the stream ended
// when the decoder has no more. The bytes read.
size_t DecodeStream(FSOUND_STREAM* stream, void* into, size_t bytes);
// The stream's decoder and output state.
mpg123_handle* StreamDecoder(FSOUND_STREAM* stream);
OutputStream* StreamOutput(FSOUND_STREAM* stream);
bool StreamEnded(FSOUND_STREAM* stream);

// Steady time in ms.
double SteadyMs();

}  // namespace music::fsound
