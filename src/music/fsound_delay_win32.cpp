// SDL's output delay on Windows. SDL's WASAPI, DirectSound and winmm drivers hold
// sound beyond the buffer they ask for (the device's period, the stream's latency:
// IAudioClient::GetDevicePeriod and GetStreamLatency under WASAPI); none of it is
// counted here yet, so the position is the sound handed to SDL.
#include "music/fsound_delay.h"

namespace music::fsound {

void StartDelayReport(const char*, int, int) {}

double ReportedDelayMs() { return 0.0; }

void StopDelayReport() {}

}  // namespace music::fsound
