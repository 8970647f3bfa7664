/* av_selftest: the bench's calibration. Turns the whole X screen white while a sound
   it plays is heard, with a known offset between the two, timed by its own PulseAudio
   stream's clock.
     av_selftest OFFSET_MS COUNT LOG [MP3]
   It plays one continuous stream into the default sink (PULSE_SERVER) and plans
   COUNT clicks one second apart from 2 s on (a 4 ms 1 kHz square wave at half scale
   after silence); with MP3 (the soundtrack) it plays instead, from 2 s on, the
   soundtrack from 9 s to 52 s, whose accents at 21, 28, 35, 42 and 49 s are the
   events. For each event it asks the server when the event's sample will be heard
   (its stream's timing report: how far the sink has read the stream and how long that
   takes to play; the median of seven reports taken shortly before), turns the screen white OFFSET_MS before that moment (the
   sound comes after the picture when OFFSET_MS is positive), synchronises with the
   X server, and after 150 ms turns it black again. LOG gets one line per event,
   "EVENT HEARD_MS WHITE_MS UNDERFLOWS INTENDED_MS" on CLOCK_MONOTONIC: when the event's
   sample was to be heard, when the white reached the X server, how often the stream
   has run dry so far, and when the white was meant to reach it. */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <errno.h>
#include <math.h>
#include <mpg123.h>
#include <pulse/pulseaudio.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum { kRate = 44100, kLead = 2 * kRate };
static const double kMusicFrom = 9.0, kMusicTo = 52.0;

static pa_threaded_mainloop* loop;
static pa_stream* stream;
static long long written; /* frames handed to the stream */
static int underflows;
static long long events[64];
static int eventCount;
static short* music; /* the soundtrack's stretch, interleaved stereo */
static long long musicFrames;

static double NowMs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static void SleepUntil(double ms) {
  struct timespec t = {(time_t)(ms / 1e3), (long)((ms - (time_t)(ms / 1e3) * 1e3) * 1e6)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, NULL) == EINTR) {
  }
}

static void Fail(const char* what) {
  fprintf(stderr, "av_selftest: %s\n", what);
  exit(1);
}

/* Frame i of the stream: silence and clicks, or the soundtrack after a short lead. */
static void Frame(long long i, short* out) {
  out[0] = out[1] = 0;
  if (music) {
    if (i >= kLead && i - kLead < musicFrames) {
      out[0] = music[2 * (i - kLead)];
      out[1] = music[2 * (i - kLead) + 1];
    }
    return;
  }
  for (int k = 0; k < eventCount; ++k) {
    const long long d = i - events[k];
    if (d >= 0 && d < kRate * 4 / 1000) out[0] = out[1] = (d * 2000 / kRate) % 2 ? -16384 : 16384;
  }
}

static void OnWrite(pa_stream* s, size_t bytes, void* user) {
  (void)user;
  void* data;
  if (pa_stream_begin_write(s, &data, &bytes) < 0) Fail("begin_write failed");
  short* samples = data;
  const size_t frames = bytes / 4;
  for (size_t i = 0; i < frames; ++i) Frame(written + (long long)i, samples + 2 * i);
  pa_stream_write(s, data, frames * 4, NULL, 0, PA_SEEK_RELATIVE);
  written += (long long)frames;
}

static void OnUnderflow(pa_stream* s, void* user) {
  (void)s;
  (void)user;
  ++underflows;
}

static void OnState(pa_stream* s, void* user) {
  (void)s;
  (void)user;
  pa_threaded_mainloop_signal(loop, 0);
}

static void OnContext(pa_context* c, void* user) {
  (void)c;
  (void)user;
  pa_threaded_mainloop_signal(loop, 0);
}

/* The soundtrack from kMusicFrom to kMusicTo seconds, decoded without the encoder's
   delay and padding (libmpg123's gapless decoding, as the production's). */
static void LoadMusic(const char* path) {
  int error;
  mpg123_init();
  mpg123_handle* mh = mpg123_new(NULL, &error);
  mpg123_param(mh, MPG123_FLAGS, MPG123_GAPLESS, 0);
  if (mpg123_open(mh, path) != MPG123_OK) Fail("cannot open the soundtrack");
  long rate;
  int channels, encoding;
  mpg123_getformat(mh, &rate, &channels, &encoding);
  if (rate != kRate || channels != 2 || encoding != MPG123_ENC_SIGNED_16) Fail("unexpected format");
  const long long from = (long long)(kMusicFrom * kRate), to = (long long)(kMusicTo * kRate);
  music = malloc((size_t)(to - from) * 4);
  short buffer[8192];
  long long at = 0;
  size_t done;
  int r;
  do {
    r = mpg123_read(mh, (unsigned char*)buffer, sizeof buffer, &done);
    for (size_t i = 0; i < done / 4; ++i, ++at)
      if (at >= from && at < to) memcpy(music + 2 * (at - from), buffer + 2 * i, 4);
  } while (r == MPG123_OK && at < to);
  musicFrames = (at < to ? at : to) - from;
  mpg123_delete(mh);
}

static void OnTiming(pa_stream* s, int success, void* user) {
  (void)s;
  *(int*)user = success ? 1 : -1;
  pa_threaded_mainloop_signal(loop, 0);
}

/* When the stream's frame will be heard, on the monotonic clock (ms), or NAN: from a
   fresh timing report of the server, which says how far the sink has read the stream
   (the read index), how long what the sink has read takes to play (the sink's
   latency), and when that was so (its own wall clock time). */
static double Heard(long long frame) {
  int done = 0;
  pa_threaded_mainloop_lock(loop);
  pa_operation* o = pa_stream_update_timing_info(stream, OnTiming, &done);
  while (o && done == 0) pa_threaded_mainloop_wait(loop);
  if (o) pa_operation_unref(o);
  const pa_timing_info* info = done > 0 ? pa_stream_get_timing_info(stream) : NULL;
  double heard = NAN;
  if (info && info->synchronized_clocks && info->playing && info->read_index > 200000) {
    struct timespec wall, mono;
    clock_gettime(CLOCK_REALTIME, &wall);
    clock_gettime(CLOCK_MONOTONIC, &mono);
    const double wallToMono = (mono.tv_sec - wall.tv_sec) * 1e3 + (mono.tv_nsec - wall.tv_nsec) / 1e6;
    const double at = info->timestamp.tv_sec * 1e3 + info->timestamp.tv_usec / 1e3 + wallToMono;
    heard = at + info->sink_usec / 1e3 + (frame - info->read_index / 4) * 1e3 / kRate;
  }
  pa_threaded_mainloop_unlock(loop);
  return heard;
}

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: av_selftest OFFSET_MS COUNT LOG [MP3]\n");
    return 2;
  }
  const double offset = atof(argv[1]);
  FILE* log = fopen(argv[3], "w");
  if (!log) Fail("cannot write the log");
  if (argc > 4) {
    LoadMusic(argv[4]);
    for (int k = 0; k < 5; ++k)
      events[eventCount++] = kLead + (long long)((21 + 7 * k - kMusicFrom) * kRate);
  } else {
    eventCount = atoi(argv[2]);
    if (eventCount < 1 || eventCount > 64) Fail("COUNT is 1 to 64");
    for (int k = 0; k < eventCount; ++k) events[k] = kLead + (long long)k * kRate;
  }

  Display* display = XOpenDisplay(NULL);
  if (!display) Fail("cannot open the display");
  const int screen = DefaultScreen(display);
  XSetWindowAttributes attributes;
  attributes.override_redirect = True;
  attributes.background_pixel = BlackPixel(display, screen);
  Window window = XCreateWindow(display, RootWindow(display, screen), 0, 0,
                                DisplayWidth(display, screen), DisplayHeight(display, screen), 0,
                                CopyFromParent, InputOutput, CopyFromParent,
                                CWOverrideRedirect | CWBackPixel, &attributes);
  XMapRaised(display, window);
  GC gc = XCreateGC(display, window, 0, NULL);
  XSync(display, False);

  loop = pa_threaded_mainloop_new();
  pa_context* context = pa_context_new(pa_threaded_mainloop_get_api(loop), "av_selftest");
  pa_context_set_state_callback(context, OnContext, NULL);
  pa_threaded_mainloop_lock(loop);
  if (pa_context_connect(context, NULL, PA_CONTEXT_NOAUTOSPAWN, NULL) < 0 ||
      pa_threaded_mainloop_start(loop) < 0)
    Fail("cannot connect to the server");
  while (pa_context_get_state(context) != PA_CONTEXT_READY) {
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) Fail("the server refused");
    pa_threaded_mainloop_wait(loop);
  }
  const pa_sample_spec spec = {PA_SAMPLE_S16LE, kRate, 2};
  stream = pa_stream_new(context, "av_selftest", &spec, NULL);
  pa_stream_set_state_callback(stream, OnState, NULL);
  pa_stream_set_write_callback(stream, OnWrite, NULL);
  pa_stream_set_underflow_callback(stream, OnUnderflow, NULL);
  /* 300 ms queued, refilled every 20 ms: enough not to run dry on a busy machine. */
  pa_buffer_attr attr;
  memset(&attr, 0xff, sizeof attr);
  attr.tlength = (uint32_t)pa_usec_to_bytes(300000, &spec);
  attr.minreq = (uint32_t)pa_usec_to_bytes(20000, &spec);
  if (pa_stream_connect_playback(stream, NULL, &attr,
                                 PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                     PA_STREAM_ADJUST_LATENCY,
                                 NULL, NULL) < 0)
    Fail("cannot connect the stream");
  while (pa_stream_get_state(stream) != PA_STREAM_READY) {
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) Fail("the stream failed");
    pa_threaded_mainloop_wait(loop);
  }
  pa_threaded_mainloop_unlock(loop);

  for (int k = 0; k < eventCount; ++k) {
    /* When the event's sample will be heard, from the median of a few readings of the
       stream's timing, taken shortly before (the sink's clock drifts against ours). */
    double heard = 0;
    for (int pass = 0; pass < 2; ++pass) {
      double estimates[7];
      int n = 0;
      while (n < 7) {
        const double estimate = Heard(events[k]);
        if (!isnan(estimate)) estimates[n++] = estimate;
        SleepUntil(NowMs() + 3);
      }
      for (int i = 1; i < n; ++i)
        for (int j = i; j > 0 && estimates[j - 1] > estimates[j]; --j) {
          double t = estimates[j];
          estimates[j] = estimates[j - 1];
          estimates[j - 1] = t;
        }
      heard = estimates[n / 2];
      if (pass == 0) SleepUntil(heard - offset - 120);
    }
    const double intended = heard - offset;
    SleepUntil(intended);
    const double before = NowMs();
    XSetForeground(display, gc, WhitePixel(display, screen));
    XFillRectangle(display, window, gc, 0, 0, DisplayWidth(display, screen),
                   DisplayHeight(display, screen));
    XSync(display, False);
    const double white = (before + NowMs()) / 2;
    fprintf(log, "%d %.3f %.3f %d %.3f\n", k, heard, white, underflows, intended);
    SleepUntil(white + 150);
    XSetForeground(display, gc, BlackPixel(display, screen));
    XFillRectangle(display, window, gc, 0, 0, DisplayWidth(display, screen),
                   DisplayHeight(display, screen));
    XSync(display, False);
  }
  /* The soundtrack plays on to its end (3 s after the last accent). */
  SleepUntil(NowMs() + (music ? 3000 : 300));
  fclose(log);
  pa_threaded_mainloop_lock(loop);
  pa_stream_disconnect(stream);
  pa_threaded_mainloop_unlock(loop);
  pa_threaded_mainloop_stop(loop);
  XCloseDisplay(display);
  return 0;
}
