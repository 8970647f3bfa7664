/* sink_record: records a PulseAudio source (by default the default sink's monitor)
   in small fragments, stamping each on arrival with the monotonic clock.
     sink_record OUT_PREFIX [FRAGMENT_MS] [SOURCE]
   PULSE_SERVER picks the server. The source is recorded at its own rate and channel
   count as 16-bit samples into OUT_PREFIX.raw; OUT_PREFIX.log has a first line
     rate RATE channels CHANNELS fragment_ms MS
   then one line per piece read, "FIRST_FRAME FRAMES ARRIVAL_NS" (a hole the server
   reports is recorded as silence and noted "FIRST_FRAME FRAMES hole"), and a line
   "overflow FRAME NS" for each overflow the server reports. Ends on SIGTERM or SIGINT. */
#define _GNU_SOURCE
#include <pulse/pulseaudio.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static const char* prefix;
static const char* sourceName = "@DEFAULT_MONITOR@";
static double fragmentMs = 2.0;
static pa_mainloop* loop;
static pa_stream* stream;
static FILE* raw;
static FILE* log_;
static long long frames;
static size_t frameBytes;
static char* pending; /* the log, kept in memory while recording */
static size_t pendingLength, pendingSize;

static long long NowNs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000000000LL + t.tv_nsec;
}

static void Log(const char* format, long long a, long long b, long long c) {
  if (pendingSize - pendingLength < 128) {
    pendingSize = pendingSize ? pendingSize * 2 : 1 << 20;
    pending = realloc(pending, pendingSize);
    if (!pending) abort();
  }
  pendingLength += snprintf(pending + pendingLength, 128, format, a, b, c);
}

static void Fail(const char* what) {
  fprintf(stderr, "sink_record: %s\n", what);
  exit(1);
}

static void OnRead(pa_stream* s, size_t length, void* user) {
  (void)length;
  (void)user;
  const void* data;
  size_t bytes;
  while (pa_stream_readable_size(s) > 0) {
    const long long now = NowNs();
    if (pa_stream_peek(s, &data, &bytes) < 0) Fail("peek failed");
    if (bytes == 0) break;
    const long long count = (long long)(bytes / frameBytes);
    if (data) {
      fwrite(data, 1, bytes, raw);
      Log("%lld %lld %lld\n", frames, count, now);
    } else {
      static char zeros[65536];
      for (size_t left = bytes; left > 0;) {
        size_t n = left < sizeof zeros ? left : sizeof zeros;
        fwrite(zeros, 1, n, raw);
        left -= n;
      }
      Log("%lld %lld hole\n", frames, count, 0);
    }
    frames += count;
    pa_stream_drop(s);
  }
}

static void OnOverflow(pa_stream* s, void* user) {
  (void)s;
  (void)user;
  Log("overflow %lld %lld\n", frames, NowNs(), 0);
}

static pa_context* context;

static void OnSource(pa_context* c, const pa_source_info* info, int eol, void* user) {
  (void)user;
  if (eol < 0) Fail("no such source");
  if (eol > 0 || !info) return;
  pa_sample_spec spec = {PA_SAMPLE_S16LE, info->sample_spec.rate, info->sample_spec.channels};
  frameBytes = pa_frame_size(&spec);
  fprintf(log_, "rate %u channels %u fragment_ms %g\n", spec.rate, spec.channels, fragmentMs);
  stream = pa_stream_new(c, "bench recorder", &spec, NULL);
  if (!stream) Fail("cannot make the stream");
  pa_stream_set_read_callback(stream, OnRead, NULL);
  pa_stream_set_overflow_callback(stream, OnOverflow, NULL);
  pa_buffer_attr attr;
  memset(&attr, 0xff, sizeof attr);
  attr.fragsize = (uint32_t)pa_usec_to_bytes((pa_usec_t)(fragmentMs * 1000), &spec);
  if (pa_stream_connect_record(stream, info->name, &attr,
                               PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE) < 0)
    Fail("cannot connect the stream");
}

static void OnContext(pa_context* c, void* user) {
  (void)user;
  switch (pa_context_get_state(c)) {
    case PA_CONTEXT_READY:
      pa_operation_unref(pa_context_get_source_info_by_name(c, sourceName, OnSource, NULL));
      break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
      Fail(pa_strerror(pa_context_errno(c)));
      break;
    default:
      break;
  }
}

static void OnSignal(pa_mainloop_api* api, pa_signal_event* e, int sig, void* user) {
  (void)e;
  (void)sig;
  (void)user;
  api->quit(api, 0);
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: sink_record OUT_PREFIX [FRAGMENT_MS] [SOURCE]\n");
    return 2;
  }
  prefix = argv[1];
  if (argc > 2) fragmentMs = atof(argv[2]);
  if (argc > 3) sourceName = argv[3];
  char path[4096];
  snprintf(path, sizeof path, "%s.raw", prefix);
  raw = fopen(path, "wb");
  snprintf(path, sizeof path, "%s.log", prefix);
  log_ = fopen(path, "w");
  if (!raw || !log_) Fail("cannot write the output");
  setvbuf(raw, NULL, _IOFBF, 1 << 20);
  loop = pa_mainloop_new();
  pa_mainloop_api* api = pa_mainloop_get_api(loop);
  pa_signal_init(api);
  pa_signal_new(SIGTERM, OnSignal, NULL);
  pa_signal_new(SIGINT, OnSignal, NULL);
  context = pa_context_new(api, "bench recorder");
  pa_context_set_state_callback(context, OnContext, NULL);
  if (pa_context_connect(context, NULL, PA_CONTEXT_NOAUTOSPAWN, NULL) < 0)
    Fail("cannot connect to the server");
  int result = 0;
  pa_mainloop_run(loop, &result);
  fwrite(pending, 1, pendingLength, log_);
  fclose(log_);
  fclose(raw);
  return 0;
}
