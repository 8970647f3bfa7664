// The delay of SDL's audio output after it asks for a buffer: how long the sound handed
// over then takes to be heard, as the platform's sound system reports it. One file per
// platform: fsound_delay.cpp (Linux: PulseAudio and PipeWire), fsound_delay_win32.cpp.
#pragma once

namespace music::fsound {

// Begins reporting for the device SDL has opened on `driver` (SDL's name for it),
// which asks for `bufferFrames` frames at a time at `rate` frames per second.
void StartDelayReport(const char* driver, int bufferFrames, int rate);

// The delay in ms, smoothed over the latest reports. Never waits: safe in the audio
// callback and the frame loop.
double ReportedDelayMs();

// Ends the reports; waits a bounded time at most, whatever the sound server does.
void StopDelayReport();

}  // namespace music::fsound
