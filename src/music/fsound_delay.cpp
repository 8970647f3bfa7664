// SDL's output delay on Linux. On a PulseAudio server, and on PipeWire's, which SDL
// reaches through its pulseaudio driver: the latency the server reports for our own
// stream (the sound it holds for it, and its sink's own delay), asked a few times a
// second on a thread of its own and smoothed. SDL's disk driver writes each buffer as
// it begins to play, and its dummy driver plays none: no delay.
#include "music/fsound_delay.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/proplist.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace music::fsound {

namespace {

using namespace std::chrono;

constexpr auto kAskEvery = milliseconds(100);
constexpr auto kStopWait = seconds(1);
constexpr int kSmoothed = 9;  // the median of this many latest reports

// The state of one report, shared with its thread, which may outlive it when a
// stopped server keeps that thread from ending in time.
struct PulseReport {
  std::atomic<bool> stop{false};
  std::atomic<bool> done{false};
  pa_mainloop* loop = nullptr;
  std::string pid;
  double latest[kSmoothed] = {};  // ms, a ring
  int count = 0;
  int next = 0;
  bool asking = false;
};

std::atomic<double> delayMs{0.0};
std::shared_ptr<PulseReport> report;
std::thread asker;

double Median(const PulseReport& r) {
  std::vector<double> sorted(r.latest, r.latest + r.count);
  std::sort(sorted.begin(), sorted.end());
  return r.count % 2 ? sorted[r.count / 2] : (sorted[r.count / 2 - 1] + sorted[r.count / 2]) / 2;
}

void OnSinkInput(pa_context*, const pa_sink_input_info* info, int last, void* data) {
  auto* r = static_cast<PulseReport*>(data);
  if (last) {
    r->asking = false;
    return;
  }
  const char* pid = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID);
  if (!pid || r->pid != pid || !info->name || std::strcmp(info->name, "Lumetra") != 0) return;
  const double ms = (info->buffer_usec + info->sink_usec) / 1000.0;
  r->latest[r->next] = ms;
  r->next = (r->next + 1) % kSmoothed;
  r->count = std::min(r->count + 1, kSmoothed);
  delayMs = Median(*r);
}

// Asks the server for our stream's latency every kAskEvery until stopped. Nothing here
// waits on the server: requests and replies go through the main loop, which a stop
// wakes.
void AskServer(std::shared_ptr<PulseReport> r) {
  pa_context* context = pa_context_new(pa_mainloop_get_api(r->loop), "Lumetra");
  if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
    auto askAt = steady_clock::now();
    while (!r->stop) {
      const pa_context_state_t state = pa_context_get_state(context);
      if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) break;
      const auto now = steady_clock::now();
      if (state == PA_CONTEXT_READY && !r->asking && now >= askAt) {
        if (pa_operation* asked = pa_context_get_sink_input_info_list(context, OnSinkInput, r.get())) {
          r->asking = true;
          pa_operation_unref(asked);
        }
        askAt = now + kAskEvery;
      }
      // Waiting for an answer, as long as it takes (a stop wakes the loop).
      const auto wait = std::max(askAt - steady_clock::now(), steady_clock::duration::zero());
      const int waitUs = r->asking ? -1 : static_cast<int>(duration_cast<microseconds>(wait).count());
      if (pa_mainloop_prepare(r->loop, waitUs) < 0 ||
          pa_mainloop_poll(r->loop) < 0 || pa_mainloop_dispatch(r->loop) < 0)
        break;
    }
    pa_context_disconnect(context);
  }
  if (context) pa_context_unref(context);
  r->done = true;
}

}  // namespace

void StartDelayReport(const char* driver, int bufferFrames, int rate) {
  const double bufferMs = bufferFrames * 1000.0 / rate;
  delayMs = 0.0;
  if (std::strcmp(driver, "pulseaudio") != 0) return;
  // Until the server's first answer, a whole buffer: SDL asks for the next one when
  // the server has room for it.
  delayMs = bufferMs;
  auto r = std::make_shared<PulseReport>();
  r->loop = pa_mainloop_new();
  if (!r->loop) return;
  r->pid = std::to_string(getpid());
  report = r;
  asker = std::thread(AskServer, r);
}

double ReportedDelayMs() { return delayMs; }

void StopDelayReport() {
  if (!report) return;
  report->stop = true;
  pa_mainloop_wakeup(report->loop);
  const auto until = steady_clock::now() + kStopWait;
  while (!report->done && steady_clock::now() < until) std::this_thread::sleep_for(milliseconds(1));
  if (report->done) {
    asker.join();
    pa_mainloop_free(report->loop);
  } else {
    asker.detach();  // it ends, and keeps what it uses, whenever the server lets it
  }
  report.reset();
}

}  // namespace music::fsound
