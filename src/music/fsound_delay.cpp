// SDL's output delay on Linux, asked of the sound server a few times a second on a
// thread of its own (libpulse, which reaches PulseAudio and PipeWire's pulse server
// alike) and smoothed:
// - PulseAudio (SDL's pulseaudio driver): the latency the server reports for our own
//   stream, the sound it holds for it and its sink's own delay. SDL writes at the
//   server's requests, a request's worth (about 6 ms) at a time, and its callback runs
//   at the request that completes its previous buffer: what a write carries is heard
//   13.4 ms later, the buffer handed over at a callback 15.8 ms later on average, as
//   the server's report at any moment (16.0 ms) says.
// - PipeWire reports no latency for a stream or a null sink (0.3.65: 0 µs), so what it
//   does is counted instead. pipewire-pulse lists, for our stream, the buffer it keeps
//   for it (pulse.attr.tlength, agreed with SDL), which it keeps filled by asking SDL
//   for more as the graph takes it: the sound SDL's callback hands over is heard that
//   buffer and one cycle of the graph later on average (measured from the callback to
//   the sink: 22.9, 35.5 and 44.5 ms for buffers of 17.4, 30 and 45 ms, cycles of 5.3
//   ms). The cycle is the shortest latency any stream on the server asks for, in the
//   server's frames, rounded down to a power of two. SDL's own pipewire driver fills
//   each buffer for the graph's next cycle, which is as short as the shortest latency
//   any stream on the server asks for (pipewire-pulse lists them all), or our buffer's
//   when none asks for less or there is no pipewire-pulse to list them. A later
//   PipeWire that reports our stream's latency is taken at its word.
// - SDL's disk driver writes each buffer as it begins to play, and its dummy driver
//   plays none: no delay. SDL's other drivers are counted as handing sound on at once.
#include "music/fsound_delay.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/proplist.h>
#include <pulse/sample.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
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

// One report, shared with its thread, which may outlive it when a stopped server keeps
// that thread from ending in time.
struct PulseReport {
  std::atomic<bool> stop{false};
  std::atomic<bool> done{false};
  pa_mainloop* loop = nullptr;
  std::string pid;
  bool nativePipeWire = false;  // SDL's pipewire driver plays, not its pulseaudio one
  double bufferMs = 0;          // SDL's buffer
  // Found out by the server's answers, on the thread.
  bool pipeWire = false;       // the server is PipeWire's
  bool asking = false;         // a round of questions is out
  bool foundOurs = false;      // this round: our stream is listed,
  double oursMs = 0;           // with this latency
  double shortestMs = 0;       // and the shortest latency a stream asks for (0: none)
  double heldMs = 0;           // the buffer pipewire-pulse keeps for ours (0: none listed)
  unsigned serverRate = 0;     // the server's own rate
  double latest[kSmoothed] = {};  // ms, a ring
  int count = 0;
  int next = 0;
};

std::atomic<double> delayMs{0.0};
std::shared_ptr<PulseReport> report;
std::thread asker;

double Median(const PulseReport& r) {
  std::vector<double> sorted(r.latest, r.latest + r.count);
  std::sort(sorted.begin(), sorted.end());
  return r.count % 2 ? sorted[r.count / 2] : (sorted[r.count / 2 - 1] + sorted[r.count / 2]) / 2;
}

// The latency a PipeWire stream asks for ("frames/rate" in node.latency), ms; 0 if none.
double AskedLatencyMs(pa_proplist* properties) {
  const char* asked = pa_proplist_gets(properties, "node.latency");
  unsigned frames = 0, rate = 0;
  if (!asked || std::sscanf(asked, "%u/%u", &frames, &rate) != 2 || rate == 0) return 0.0;
  return frames * 1000.0 / rate;
}

// The buffer pipewire-pulse keeps for a stream, ms; 0 if it does not say.
double PipeWirePulseBufferMs(const pa_sink_input_info* info) {
  const char* tlength = pa_proplist_gets(info->proplist, "pulse.attr.tlength");
  unsigned long long bytes = 0;
  if (!tlength || std::sscanf(tlength, "%llu", &bytes) != 1 || bytes == 0 ||
      !pa_sample_spec_valid(&info->sample_spec))
    return 0.0;
  return pa_bytes_to_usec(bytes, &info->sample_spec) / 1000.0;
}

// PipeWire's cycle for the shortest latency asked, ms, at the server's rate.
double GraphCycleMs(double shortestMs, unsigned rate) {
  if (shortestMs <= 0 || rate == 0) return 0.0;
  double frames = 1;
  while (frames * 2 <= shortestMs * rate / 1000.0) frames *= 2;
  return frames * 1000.0 / rate;
}

void NoteAsked(PulseReport* r, pa_proplist* properties) {
  const double ms = AskedLatencyMs(properties);
  if (ms > 0 && (r->shortestMs == 0 || ms < r->shortestMs)) r->shortestMs = ms;
}

// The round's answer: one more report of the delay.
void EndRound(PulseReport* r) {
  r->asking = false;
  double ms = r->oursMs;
  if (r->pipeWire && ms <= 0 && r->heldMs > 0 && r->shortestMs > 0)
    ms = r->heldMs + GraphCycleMs(r->shortestMs, r->serverRate);
  else if (r->pipeWire && ms <= 0)
    ms = r->nativePipeWire && r->shortestMs > 0 ? std::min(r->shortestMs, r->bufferMs)
                                                : r->bufferMs;
  else if (!r->foundOurs)
    return;
  r->latest[r->next] = ms;
  r->next = (r->next + 1) % kSmoothed;
  r->count = std::min(r->count + 1, kSmoothed);
  delayMs = Median(*r);
}

void OnSourceOutput(pa_context*, const pa_source_output_info* info, int last, void* data) {
  auto* r = static_cast<PulseReport*>(data);
  if (last)
    EndRound(r);
  else
    NoteAsked(r, info->proplist);
}

void OnSinkInput(pa_context* context, const pa_sink_input_info* info, int last, void* data) {
  auto* r = static_cast<PulseReport*>(data);
  if (last) {
    // On PipeWire, the streams that record take part in the graph's cycle too.
    pa_operation* asked = nullptr;
    if (r->pipeWire && last > 0)
      asked = pa_context_get_source_output_info_list(context, OnSourceOutput, r);
    if (asked)
      pa_operation_unref(asked);
    else
      EndRound(r);
    return;
  }
  NoteAsked(r, info->proplist);
  const char* pid = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID);
  if (pid && r->pid == pid && info->name && std::strcmp(info->name, "Lumetra") == 0) {
    r->foundOurs = true;
    r->oursMs = (info->buffer_usec + info->sink_usec) / 1000.0;
    r->heldMs = r->pipeWire ? PipeWirePulseBufferMs(info) : 0.0;
  }
}

void OnServer(pa_context* context, const pa_server_info* info, void* data) {
  auto* r = static_cast<PulseReport*>(data);
  r->pipeWire = info && info->server_name && std::strstr(info->server_name, "PipeWire");
  r->foundOurs = false;
  r->oursMs = r->shortestMs = r->heldMs = 0;
  r->serverRate = info ? info->sample_spec.rate : 0;
  if (pa_operation* asked = pa_context_get_sink_input_info_list(context, OnSinkInput, r))
    pa_operation_unref(asked);
  else
    r->asking = false;
}

// Asks the server every kAskEvery until stopped. Nothing here waits on the server:
// questions and answers go through the main loop, which a stop wakes.
void AskServer(std::shared_ptr<PulseReport> r) {
  pa_context* context = pa_context_new(pa_mainloop_get_api(r->loop), "Lumetra");
  if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
    auto askAt = steady_clock::now();
    while (!r->stop) {
      const pa_context_state_t state = pa_context_get_state(context);
      if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) break;
      const auto now = steady_clock::now();
      if (state == PA_CONTEXT_READY && !r->asking && now >= askAt) {
        if (pa_operation* asked = pa_context_get_server_info(context, OnServer, r.get())) {
          r->asking = true;
          pa_operation_unref(asked);
        }
        askAt = now + kAskEvery;
      }
      // While a round is out, as long as its answer takes (a stop wakes the loop).
      const auto wait = std::max(askAt - steady_clock::now(), steady_clock::duration::zero());
      const int waitUs = r->asking ? -1 : static_cast<int>(duration_cast<microseconds>(wait).count());
      if (pa_mainloop_prepare(r->loop, waitUs) < 0 || pa_mainloop_poll(r->loop) < 0 ||
          pa_mainloop_dispatch(r->loop) < 0)
        break;
    }
    pa_context_disconnect(context);
  }
  if (context) pa_context_unref(context);
  r->done = true;
}

}  // namespace

void StartDelayReport(const char* driver, int bufferFrames, int rate) {
  const bool pulse = std::strcmp(driver, "pulseaudio") == 0;
  const bool pipeWire = std::strcmp(driver, "pipewire") == 0;
  delayMs = 0.0;
  if (!pulse && !pipeWire) return;
  // Until the server's first answer (or without one), a whole buffer: SDL asks for
  // the next one when the server has room for it, or for the graph's next cycle.
  auto r = std::make_shared<PulseReport>();
  r->bufferMs = bufferFrames * 1000.0 / rate;
  r->nativePipeWire = pipeWire;
  delayMs = r->bufferMs;
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
