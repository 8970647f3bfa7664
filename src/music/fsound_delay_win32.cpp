// SDL's output delay on Windows: how long the sound handed over at a callback waits
// before it is heard, from what Windows reports for the output SDL plays on, by the
// way each of SDL's drivers feeds it:
// - WASAPI (SDL's default): the callback is the device's period (fsound_sdl.cpp). SDL
//   waits until the endpoint's buffer holds at most one period, which it does once the
//   engine has taken a period from it, and writes the callback's sound at once: the
//   sound waits behind what the buffer still holds (nothing, at SDL's steady pace: one
//   period written per period taken) and then the engine's own latency. The delay is
//   that latency (IAudioClient::GetStreamLatency), asked once as the device opens of a
//   client of our own opened as SDL opens its own (the default output, shared mode,
//   the mix format at our rate) and released at once.
// - DirectSound: SDL fills the part of its eight-part looping buffer that follows the
//   part playing, as that one begins to play: one buffer ahead.
// - winmm: SDL keeps two wave buffers and fills one as the other begins to play: one
//   buffer ahead.
// What the system's mixer adds after DirectSound and winmm, Windows does not report.
#include <windows.h>
// windows.h first: the audio headers need its types.
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "music/fsound_delay.h"

namespace music::fsound {

namespace {

// Asking the system's audio service must not hold the opening for long (it answers
// in milliseconds; a stuck service leaves the delay at the fallback).
constexpr auto kAskWait = std::chrono::seconds(1);

std::atomic<double> delayMs{0.0};

// The stream latency in ms the audio engine reports for a shared-mode stream on the
// default output at `rate`, or a negative number when it cannot say.
double AskStreamLatencyMs(int rate) {
  double latencyMs = -1.0;
  const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  IMMDeviceEnumerator* devices = nullptr;
  IMMDevice* output = nullptr;
  IAudioClient* client = nullptr;
  WAVEFORMATEX* format = nullptr;
  if (SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                 __uuidof(IMMDeviceEnumerator),
                                 reinterpret_cast<void**>(&devices))) &&
      SUCCEEDED(devices->GetDefaultAudioEndpoint(eRender, eConsole, &output)) &&
      SUCCEEDED(output->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                 reinterpret_cast<void**>(&client))) &&
      SUCCEEDED(client->GetMixFormat(&format))) {
    // As SDL opens its stream: the engine converts our rate where the mix's differs.
    DWORD flags = AUDCLNT_STREAMFLAGS_EVENTCALLBACK;
    if (format->nSamplesPerSec != static_cast<DWORD>(rate)) {
      flags |= AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;
      format->nSamplesPerSec = rate;
      format->nAvgBytesPerSec = rate * format->nBlockAlign;
    }
    REFERENCE_TIME latency = 0;  // 100 ns
    if (SUCCEEDED(client->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, 0, 0, format, nullptr)) &&
        SUCCEEDED(client->GetStreamLatency(&latency)))
      latencyMs = latency / 1e4;
  }
  if (format) CoTaskMemFree(format);
  if (client) client->Release();
  if (output) output->Release();
  if (devices) devices->Release();
  if (com) CoUninitialize();
  return latencyMs;
}

// One question, shared with its thread, which may outlive it.
struct Question {
  std::mutex lock;
  std::condition_variable answered;
  bool done = false;
  double latencyMs = -1.0;
};

}  // namespace

void StartDelayReport(const char* driver, int bufferFrames, int rate) {
  const double bufferMs = bufferFrames * 1000.0 / rate;
  delayMs = 0.0;
  if (std::strcmp(driver, "directsound") == 0 || std::strcmp(driver, "winmm") == 0) {
    delayMs = bufferMs;
  } else if (std::strcmp(driver, "wasapi") == 0) {
    // Until the engine answers (or without an answer), the period SDL writes.
    delayMs = bufferMs;
    auto question = std::make_shared<Question>();
    std::thread([question, rate] {
      const double latencyMs = AskStreamLatencyMs(rate);
      std::lock_guard<std::mutex> hold(question->lock);
      question->latencyMs = latencyMs;
      question->done = true;
      question->answered.notify_all();
    }).detach();
    std::unique_lock<std::mutex> hold(question->lock);
    if (question->answered.wait_for(hold, kAskWait, [&] { return question->done; }) &&
        question->latencyMs >= 0)
      delayMs = question->latencyMs;
  }
}

double ReportedDelayMs() { return delayMs; }

void StopDelayReport() {}

}  // namespace music::fsound
