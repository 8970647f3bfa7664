/* av_analyse: picture against sound from a screen_watch file and a sink_record
   recording.
     av_analyse music POLL REC_PREFIX SOUNDTRACK.mp3 [SELFTEST_LOG]
     av_analyse clicks POLL REC_PREFIX [SELFTEST_LOG]
   The recording is placed on the sink's own clock: every piece read gives (its first
   frame, its arrival); a piece is never read before the sink has played its first
   frame, and often later, so the lower envelope of those points (the lower convex
   hull of the pieces within 2 s, evaluated at the frame wanted) gives when a frame
   was played, on the monotonic clock.
   music: the soundtrack (decoded without the encoder's delay and padding) is found in
   the recording by the loudness of its 4 to 15.5 s, then each accent (21, 28, 35, 42
   and 49 s of the soundtrack) by the loudness around it within 3 s of where the one
   before it was, and then by correlating the recording with the soundtrack from 0.1 s
   before to 0.3 s after it: the accent's onset is where the recording plays the
   soundtrack's frame of that moment.
   clicks: each click is the first sample above a quarter of full scale after 20 ms
   below it.
   With the self-test's log, each event's offset as the self-test made it (the sound as
   it planned, the white when it reached the X server) and the bench's error against
   it are printed too.
   Each event is paired with the nearest change of the screen to white within 2 s;
   its time is the middle between the last poll that saw no white and the first that
   saw it. Prints one line per event, "offset MS" (sound minus picture: positive when
   the sound comes after the picture), and their median.
   music, the shown frames (each change of the screen's sampled rows): per flash, how
   long after the frame before it the white's frame came and whether it was the
   flash's first frame (pure white); the intervals between the frames from the music's
   0 to 70 s; and per scene change (AV_SCENES, "MS:NAME ..." in music ms) the median
   interval before it and the largest within 300 ms after it. The music's time is put
   on the screen by the accents as heard, less the run's median offset. */
#define _GNU_SOURCE
#include <math.h>
#include <mpg123.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
  double* v;
  long n, cap;
} Doubles;

static void Push(Doubles* d, double x) {
  if (d->n == d->cap) {
    d->cap = d->cap ? d->cap * 2 : 1024;
    d->v = realloc(d->v, (size_t)d->cap * sizeof(double));
    if (!d->v) abort();
  }
  d->v[d->n++] = x;
}

static void Fail(const char* what, const char* detail) {
  fprintf(stderr, "av_analyse: %s %s\n", what, detail ? detail : "");
  exit(1);
}

static int CompareDoubles(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return x < y ? -1 : x > y;
}

static double Quantile(const double* v, long n, double q) {
  if (n == 0) return NAN;
  double* s = malloc((size_t)n * sizeof(double));
  memcpy(s, v, (size_t)n * sizeof(double));
  qsort(s, (size_t)n, sizeof(double), CompareDoubles);
  const double at = q * (n - 1);
  const long i = (long)at;
  const double r = i + 1 < n ? s[i] + (at - i) * (s[i + 1] - s[i]) : s[i];
  free(s);
  return r;
}

/* ---- The recording and the sink's clock ----------------------------------- */

static int rate, channels;
static float* sound; /* mono */
static long soundFrames;
static Doubles pieceFrame, pieceMs;
static long holes, overflows;

static void ReadRecording(const char* prefix) {
  char path[4096];
  snprintf(path, sizeof path, "%s.log", prefix);
  FILE* log = fopen(path, "r");
  if (!log) Fail("cannot read", path);
  double fragment;
  if (fscanf(log, "rate %d channels %d fragment_ms %lf\n", &rate, &channels, &fragment) != 3)
    Fail("not a recording log:", path);
  char line[256];
  double lastMs = 0;
  while (fgets(line, sizeof line, log)) {
    long long first, count, ns;
    char word[32];
    if (sscanf(line, "overflow %lld %lld", &first, &ns) == 2) {
      ++overflows;
    } else if (sscanf(line, "%lld %lld %31s", &first, &count, word) == 3) {
      if (strcmp(word, "hole") == 0) {
        ++holes;
      } else {
        /* A piece that came with the one before it (within a quarter of a fragment)
           is the rest of the same delivery: its first frame was played later than
           the delivery's first. Only each delivery's first piece bounds the clock. */
        const double ms = atoll(word) / 1e6;
        if (!(lastMs > 0 && ms - lastMs < fragment / 4)) {
          Push(&pieceFrame, (double)first);
          Push(&pieceMs, ms);
        }
        lastMs = ms;
      }
    }
  }
  fclose(log);
  snprintf(path, sizeof path, "%s.raw", prefix);
  FILE* raw = fopen(path, "rb");
  if (!raw) Fail("cannot read", path);
  fseek(raw, 0, SEEK_END);
  const long bytes = ftell(raw);
  fseek(raw, 0, SEEK_SET);
  soundFrames = bytes / (2 * channels);
  short* samples = malloc((size_t)bytes);
  sound = malloc((size_t)soundFrames * sizeof(float));
  if (!samples || !sound || fread(samples, 1, (size_t)bytes, raw) != (size_t)bytes)
    Fail("cannot read", path);
  fclose(raw);
  for (long i = 0; i < soundFrames; ++i) {
    float sum = 0;
    for (int c = 0; c < channels; ++c) sum += samples[i * channels + c];
    sound[i] = sum / channels / 32768.0f;
  }
  free(samples);
  if (pieceFrame.n < 10) Fail("the recording has too few pieces", NULL);
}

/* The lower convex hull of the pieces whose first frame lies in [from, to]. */
static long Hull(double from, double to, long* out) {
  long k = 0;
  for (long i = 0; i < pieceFrame.n; ++i) {
    const double x = pieceFrame.v[i], y = pieceMs.v[i];
    if (x < from || x > to) continue;
    while (k >= 2) {
      const double x1 = pieceFrame.v[out[k - 2]], y1 = pieceMs.v[out[k - 2]];
      const double x2 = pieceFrame.v[out[k - 1]], y2 = pieceMs.v[out[k - 1]];
      if ((x2 - x1) * (y - y1) - (y2 - y1) * (x - x1) <= 0) --k;
      else break;
    }
    out[k++] = i;
  }
  return k;
}

/* When the sink played frame f, on the monotonic clock (ms). */
static double PlayedAt(double f) {
  static long* hull;
  if (!hull) hull = malloc((size_t)pieceFrame.n * sizeof(long));
  const long n = Hull(f - 2.0 * rate, f + 2.0 * rate, hull);
  if (n == 0) return NAN;
  if (n == 1) return pieceMs.v[hull[0]] + (f - pieceFrame.v[hull[0]]) * 1e3 / rate;
  long i = 0;
  while (i + 2 < n && pieceFrame.v[hull[i + 1]] < f) ++i;
  const double x1 = pieceFrame.v[hull[i]], y1 = pieceMs.v[hull[i]];
  const double x2 = pieceFrame.v[hull[i + 1]], y2 = pieceMs.v[hull[i + 1]];
  return y1 + (f - x1) * (y2 - y1) / (x2 - x1);
}

/* The whole recording's envelope line: its rate against the monotonic clock and how
   late the pieces came after it. */
static void DescribeSink(void) {
  long* hull = malloc((size_t)pieceFrame.n * sizeof(long));
  const long n = Hull(-1e18, 1e18, hull);
  double mean = 0;
  for (long i = 0; i < pieceFrame.n; ++i) mean += pieceFrame.v[i] / pieceFrame.n;
  long i = 0;
  while (i + 2 < n && pieceFrame.v[hull[i + 1]] < mean) ++i;
  double slope = 1e3 / rate;
  if (n >= 2)
    slope = (pieceMs.v[hull[i + 1]] - pieceMs.v[hull[i]]) /
            (pieceFrame.v[hull[i + 1]] - pieceFrame.v[hull[i]]);
  double* late = malloc((size_t)pieceFrame.n * sizeof(double));
  for (long j = 0; j < pieceFrame.n; ++j) late[j] = pieceMs.v[j] - PlayedAt(pieceFrame.v[j]);
  const double seconds = (pieceFrame.v[pieceFrame.n - 1] - pieceFrame.v[0]) / rate;
  printf("sink: %d Hz, %.1f s in %ld deliveries, its clock %+.0f ppm against the monotonic "
         "clock; deliveries late by median %.2f ms, 99%% %.2f ms, most %.1f ms; "
         "%ld holes, %ld overflows\n",
         rate, seconds, pieceFrame.n, (1e3 / rate / slope - 1) * 1e6,
         Quantile(late, pieceFrame.n, 0.5), Quantile(late, pieceFrame.n, 0.99),
         Quantile(late, pieceFrame.n, 1.0), holes, overflows);
  free(late);
  free(hull);
}

/* ---- The screen ----------------------------------------------------------- */

static Doubles whiteBefore, whiteAt, whiteLevel, gapFrom, gapTo;
/* Shown frames: each one's time (the middle between the last poll before the change
   and the first that saw it), the poll that saw it, its level, and 1 when it had one
   colour over all the sampled pixels. */
static Doubles frameMs, framePoll, frameLevel, frameFlat;
static long framesJoined;

static void ReadPoll(const char* path) {
  FILE* file = fopen(path, "r");
  if (!file) Fail("cannot read", path);
  long period, polls;
  double longest;
  if (fscanf(file, "poll %ld %ld %lf\n", &period, &polls, &longest) != 3)
    Fail("not a screen_watch file:", path);
  char kind[8], line[256];
  double a, b, level, flat;
  long gaps = 0;
  while (fgets(line, sizeof line, file)) {
    const int fields = sscanf(line, "%7s %lf %lf %lf %lf", kind, &a, &b, &level, &flat);
    if (fields < 4) break;
    if (fields < 5) flat = level >= 255;
    if (strcmp(kind, "W") == 0) {
      Push(&whiteBefore, a);
      Push(&whiteAt, b);
      Push(&whiteLevel, level);
    } else if (strcmp(kind, "F") == 0) {
      /* A change in the poll right after another one is the rest of the same frame:
         put on the screen in pieces, or between the reads of one poll's rows. */
      if (framePoll.n > 0 && a <= framePoll.v[framePoll.n - 1]) {
        framePoll.v[framePoll.n - 1] = b;
        frameLevel.v[frameLevel.n - 1] = level;
        frameFlat.v[frameFlat.n - 1] = flat;
        ++framesJoined;
      } else {
        Push(&frameMs, (a + b) / 2);
        Push(&framePoll, b);
        Push(&frameLevel, level);
        Push(&frameFlat, flat);
      }
    } else if (strcmp(kind, "gap") == 0) {
      Push(&gapFrom, a);
      Push(&gapTo, b);
      ++gaps;
    }
  }
  fclose(file);
  printf("screen: %ld polls every %.2f ms, %ld changes to white, longest wait between polls "
         "%.1f ms, %ld waits over 5 ms; %ld shown frames (%ld changes in the poll after "
         "another counted with it)\n",
         polls, period / 1e3, whiteAt.n, longest, gaps, frameMs.n, framesJoined);
  if (whiteAt.n > 0) {
    printf("screen: changes to white at");
    for (long i = 0; i < whiteAt.n; ++i) printf(" %.3f", (whiteBefore.v[i] + whiteAt.v[i]) / 2);
    printf("\n");
  }
}

/* The change to white nearest to ms within 2 s: its index, or -1. */
static long NearestWhite(double ms) {
  long best = -1;
  for (long i = 0; i < whiteAt.n; ++i) {
    const double t = (whiteBefore.v[i] + whiteAt.v[i]) / 2;
    if (fabs(t - ms) < 2000 && (best < 0 || fabs(t - ms) < fabs((whiteBefore.v[best] +
                                                                  whiteAt.v[best]) / 2 - ms)))
      best = i;
  }
  return best;
}

/* The shown frame that the poll at ms saw, the last one seen by then: its index, or
   -1. */
static long FrameSeenBy(double ms) {
  long lo = 0, hi = framePoll.n; /* the first frame seen after ms */
  while (lo < hi) {
    const long mid = (lo + hi) / 2;
    if (framePoll.v[mid] <= ms) lo = mid + 1;
    else hi = mid;
  }
  return lo - 1;
}

/* The first shown frame later than ms: its index (frameMs.n if none). */
static long FrameAfter(double ms) {
  long lo = 0, hi = frameMs.n;
  while (lo < hi) {
    const long mid = (lo + hi) / 2;
    if (frameMs.v[mid] <= ms) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

/* Whether the interval ending at frame i shows how long the screen waited: not when
   it starts at a frame of one colour (pure white: the fade to white, the flash's
   first frame; black: the fade at the end), after which any number of frames may have
   been the same. */
static int Measurable(long i) { return i > 0 && !frameFlat.v[i - 1]; }

/* The median shown-frame interval of the whole production, set once it is placed. */
static double typicalInterval;

/* The music's end, ms: the last frame drawn is the first past it. */
enum { kEndMs = 70000 };

/* ---- Events --------------------------------------------------------------- */

static Doubles offsets, errors;

/* The self-test's plan, one line per event: "EVENT HEARD_MS WHITE_MS UNDERFLOWS
   INTENDED_MS" (when the event's sample was to be heard, when the white reached the X
   server, how often its stream had run dry, and when the white was meant to). */
static Doubles planHeard, planWhite, planDry, planIntended;

static void ReadPlan(const char* path) {
  FILE* file = fopen(path, "r");
  if (!file) Fail("cannot read", path);
  int k;
  double heard, white, dry, intended;
  while (fscanf(file, "%d %lf %lf %lf %lf\n", &k, &heard, &white, &dry, &intended) == 5) {
    Push(&planHeard, heard);
    Push(&planWhite, white);
    Push(&planDry, dry);
    Push(&planIntended, intended);
  }
  fclose(file);
}

static void Pair(int event, double soundMs, const char* extra) {
  const long w = NearestWhite(soundMs);
  if (w < 0) {
    printf("event %d: sound at %.3f ms, no change to white within 2 s\n", event, soundMs);
    return;
  }
  const double picture = (whiteBefore.v[w] + whiteAt.v[w]) / 2;
  const double offset = soundMs - picture;
  Push(&offsets, offset);
  printf("event %d: sound %.3f  picture %.3f (+-%.1f, level %.0f)  offset %+7.2f ms%s", event,
         soundMs, picture, (whiteAt.v[w] - whiteBefore.v[w]) / 2, whiteLevel.v[w], offset, extra);
  /* Against the self-test's plan: what it did (the sound as planned, the white when it
     reached the server) and how far the bench read each side from that. */
  const long p = event - 1;
  if (p < planHeard.n) {
    const double done = planHeard.v[p] - planWhite.v[p];
    Push(&errors, offset - done);
    printf("  made %+.2f, error %+.2f ms (sound %+.2f, picture %+.2f)", done, offset - done,
           soundMs - planHeard.v[p], picture - planWhite.v[p]);
    if (fabs(planWhite.v[p] - planIntended.v[p]) > 1)
      printf(" (drawn %.1f ms late)", planWhite.v[p] - planIntended.v[p]);
    if (planDry.v[p] > (p > 0 ? planDry.v[p - 1] : 0)) printf(" (the stream ran dry before)");
  }
  printf("\n");
  /* The shown frame in which the white was first seen, and the one before it. */
  const long f = FrameSeenBy(whiteAt.v[w]);
  if (f < 1 || typicalInterval <= 0) return;
  const double wait = frameMs.v[f] - frameMs.v[f - 1];
  printf("event %d frames: the white's frame came %.1f ms after the frame before it (%.1f of "
         "the run's intervals)", event, wait, wait / typicalInterval);
  /* The flash's first frame is white at every pixel; its second adds 95 % white to
     the scene, pure white only where the scene is no darker than 13 in any channel. */
  if (whiteLevel.v[w] >= 255) printf("; its first frame shown (level 255)");
  else printf("; its first frame not shown, the first seen white is fainter (level %.0f)",
              whiteLevel.v[w]);
  printf("; the next levels");
  for (long i = f + 1; i < frameMs.n && i <= f + 3; ++i)
    printf(" %.0f (+%.1f ms)", frameLevel.v[i], frameMs.v[i] - frameMs.v[i - 1]);
  printf("\n");
}

static void Clicks(void) {
  int event = 0;
  long quietSince = 0;
  const float level = 0.25f;
  for (long i = 0; i < soundFrames; ++i) {
    if (fabsf(sound[i]) < level) continue;
    if (i - quietSince >= rate / 50) Pair(++event, PlayedAt((double)i), "");
    quietSince = i + 1;
  }
}

/* The soundtrack, mono, at 44100 Hz, decoded as the production decodes it. */
static float* track;
static long trackFrames;

static void ReadSoundtrack(const char* path) {
  int error;
  mpg123_init();
  mpg123_handle* mh = mpg123_new(NULL, &error);
  mpg123_param(mh, MPG123_FLAGS, MPG123_GAPLESS, 0);
  if (mpg123_open(mh, path) != MPG123_OK) Fail("cannot open", path);
  long r;
  int c, encoding;
  mpg123_getformat(mh, &r, &c, &encoding);
  if (r != 44100 || c != 2 || encoding != MPG123_ENC_SIGNED_16) Fail("unexpected format:", path);
  long cap = 80 * 44100;
  track = malloc((size_t)cap * sizeof(float));
  short buffer[8192];
  size_t done;
  int result;
  do {
    result = mpg123_read(mh, (unsigned char*)buffer, sizeof buffer, &done);
    for (size_t i = 0; i + 1 < done / 2; i += 2) {
      if (trackFrames == cap) track = realloc(track, (size_t)(cap *= 2) * sizeof(float));
      track[trackFrames++] = (buffer[i] + buffer[i + 1]) / 65536.0f;
    }
  } while (result == MPG123_OK);
  mpg123_delete(mh);
}

/* Root-mean-square loudness of 10 ms blocks. */
static double* Envelope(const float* s, long frames, int r, long* blocks) {
  const long size = r / 100;
  *blocks = frames / size;
  double* e = malloc((size_t)(*blocks + 1) * sizeof(double));
  for (long b = 0; b < *blocks; ++b) {
    double sum = 0;
    for (long i = 0; i < size; ++i) sum += (double)s[b * size + i] * s[b * size + i];
    e[b] = sqrt(sum / size);
  }
  return e;
}

/* Normalised correlation of a[0..n) with b[0..n). */
static double Correlation(const double* a, const double* b, long n) {
  double ab = 0, aa = 0, bb = 0, ma = 0, mb = 0;
  for (long i = 0; i < n; ++i) {
    ma += a[i] / n;
    mb += b[i] / n;
  }
  for (long i = 0; i < n; ++i) {
    ab += (a[i] - ma) * (b[i] - mb);
    aa += (a[i] - ma) * (a[i] - ma);
    bb += (b[i] - mb) * (b[i] - mb);
  }
  return aa > 0 && bb > 0 ? ab / sqrt(aa * bb) : 0;
}

/* Where the recording plays the soundtrack's moment `accent` (seconds): first the
   accent's own stretch of loudness (2.5 s before it to 0.5 s after), its 10 ms blocks
   placed against the recording's with lags from lagFrom to lagTo blocks; then 0.4 s of
   samples around it, within 40 ms of that. The frame (between samples) and the match
   of the samples (1: the same). */
static double FindAccent(double accent, const double* ref, const double* rec, long recBlocks,
                         long lagFrom, long lagTo, double* frame, long* lag) {
  const long stretch = (long)(accent * 100) - 250;
  double loudness = -2;
  for (long d = lagFrom; d <= lagTo; ++d) {
    if (stretch + d < 0 || stretch + d + 300 > recBlocks) continue;
    const double c = Correlation(ref + stretch, rec + stretch + d, 300);
    if (c > loudness) {
      loudness = c;
      *lag = d;
    }
  }
  if (loudness < -1) return -1;
  const double ratio = (double)rate / 44100;
  const long window = (long)(0.4 * rate), reach = (long)(0.04 * rate);
  const double start = accent - 0.1; /* the window's start, seconds */
  const long guess = (long)((start + *lag / 100.0) * rate);
  if (guess - reach < 0 || guess + reach + window >= soundFrames) return -1;
  double* a = malloc((size_t)window * sizeof(double));
  double* b = malloc((size_t)window * sizeof(double));
  double* scores = malloc((size_t)(2 * reach + 1) * sizeof(double));
  for (long i = 0; i < window; ++i) { /* the soundtrack at the recording's rate */
    const double t = start * 44100 + i / ratio;
    const long j = (long)t;
    a[i] = track[j] + (t - j) * (track[j + 1] - track[j]);
  }
  long top = 0;
  for (long d = -reach; d <= reach; ++d) {
    for (long i = 0; i < window; ++i) b[i] = sound[guess + d + i];
    scores[d + reach] = Correlation(a, b, window);
  }
  for (long i = 1; i <= 2 * reach; ++i)
    if (scores[i] > scores[top]) top = i;
  /* The peak between samples, from a parabola through its neighbours. */
  double peak = top;
  if (top > 0 && top < 2 * reach) {
    const double l = scores[top - 1], m = scores[top], r = scores[top + 1];
    if (l - 2 * m + r < 0) peak += 0.5 * (l - r) / (l - 2 * m + r);
  }
  *frame = guess + (peak - reach) + 0.1 * rate;
  const double match = scores[top];
  free(a);
  free(b);
  free(scores);
  return match;
}

/* ---- Shown frames on the music's time ------------------------------------- */

/* Where the screen shows the music's ms: the accents as heard (music ms to monotonic
   ms), less the run's median of sound minus picture, joined by straight lines (a
   stream that ran dry between two accents bends the line there); before the first
   accent and after the last, the slope of the line fitted through them all. */
enum { kMaxPlaces = 8 };
static double placeMusic[kMaxPlaces], placeScreen[kMaxPlaces];
static int places;
static int placed;
static double fitSlope, fitResidual; /* ms per music ms; the accents' largest distance
                                        from the fitted line, ms */

static double ScreenAt(double musicMs) {
  int i = 0; /* the segment: from place i to place i + 1 */
  while (i + 2 < places && placeMusic[i + 1] < musicMs) ++i;
  if (places < 2 || musicMs < placeMusic[0] || musicMs > placeMusic[places - 1]) {
    const int k = musicMs < placeMusic[0] ? 0 : places - 1;
    return placeScreen[k] + fitSlope * (musicMs - placeMusic[k]);
  }
  return placeScreen[i] + (musicMs - placeMusic[i]) * (placeScreen[i + 1] - placeScreen[i]) /
                              (placeMusic[i + 1] - placeMusic[i]);
}

static double MusicAt(double screenMs) {
  int i = 0;
  while (i + 2 < places && placeScreen[i + 1] < screenMs) ++i;
  if (places < 2 || screenMs < placeScreen[0] || screenMs > placeScreen[places - 1]) {
    const int k = screenMs < placeScreen[0] ? 0 : places - 1;
    return placeMusic[k] + (screenMs - placeScreen[k]) / fitSlope;
  }
  return placeMusic[i] + (screenMs - placeScreen[i]) * (placeMusic[i + 1] - placeMusic[i]) /
                             (placeScreen[i + 1] - placeScreen[i]);
}

/* The production's shown frames, first to last: from the music's start to its end.
   The loading picture before it does not change for 2 s or more: a stream that ran
   dry before the first accent puts the music's start too soon, so the frame after
   such a wait before the first accent starts it if it comes later. */
static void ProductionFrames(long* first, long* last) {
  *first = FrameAfter(ScreenAt(0) - 50);
  for (long i = *first + 1; i < frameMs.n && frameMs.v[i] < placeScreen[0]; ++i)
    if (Measurable(i) && frameMs.v[i] - frameMs.v[i - 1] > 1900) *first = i;
  *last = FrameAfter(ScreenAt(kEndMs)) - 1;
}

static void PlaceFrames(const double* heard, const int* found, int n) {
  if (frameMs.n < 100) return; /* a picture of flashes only (the self-test's) */
  /* The flashes on the screen: the last five changes to white 6 to 8 s apart (the fade
     to white before them may be 7 s before the first). The accents sound alike, and
     where the stream ran dry the search may take one for another: then the flash it
     was paired with says which accent it was. */
  long flashes = -1;
  for (long i = 0; i + 4 < whiteAt.n; ++i) {
    int apart = 1;
    for (long j = i; j < i + 4; ++j) {
      const double d = whiteAt.v[j + 1] - whiteAt.v[j];
      apart = apart && d > 6000 && d < 8000;
    }
    if (apart) flashes = i;
  }
  /* Only the accents paired with a flash: one found in the wrong place has none. */
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  Doubles leads = {0};
  places = 0;
  for (int k = 0; k < n && places < kMaxPlaces; ++k) {
    const long w = found[k] ? NearestWhite(heard[k]) : -1;
    if (w < 0) continue;
    double music = 21000.0 + 7000 * k;
    if (flashes >= 0 && w >= flashes && w < flashes + 5 && w - flashes != k) {
      music = 21000.0 + 7000 * (w - flashes);
      printf("event %d: paired with the flash of %.0f s: the accent found was that one\n", k + 1,
             music / 1e3);
    }
    if (places > 0 && music <= placeMusic[places - 1]) continue;
    placeMusic[places] = music;
    placeScreen[places++] = heard[k];
    sx += music;
    sy += heard[k];
    sxx += music * music;
    sxy += music * heard[k];
    Push(&leads, heard[k] - (whiteBefore.v[w] + whiteAt.v[w]) / 2);
  }
  if (places == 0) {
    printf("frames: not placed on the music's time (no accent paired with a flash)\n");
    free(leads.v);
    return;
  }
  fitSlope = places >= 2 ? (places * sxy - sx * sy) / (places * sxx - sx * sx) : 1.0;
  fitResidual = 0;
  for (int k = 0; k < places; ++k)
    fitResidual = fmax(fitResidual, fabs(placeScreen[k] - (sy - fitSlope * sx) / places -
                                         fitSlope * placeMusic[k]));
  const double lead = Quantile(leads.v, leads.n, 0.5);
  for (int k = 0; k < places; ++k) placeScreen[k] -= lead;
  free(leads.v);
  placed = 1;
  /* A flash whose accent was not found is where the screen shows its moment. */
  for (long j = 0; flashes >= 0 && j < 5 && places < kMaxPlaces; ++j) {
    const double music = 21000.0 + 7000 * j;
    int k = 0;
    while (k < places && placeMusic[k] < music) ++k;
    if (k < places && placeMusic[k] == music) continue;
    memmove(placeMusic + k + 1, placeMusic + k, (size_t)(places - k) * sizeof(double));
    memmove(placeScreen + k + 1, placeScreen + k, (size_t)(places - k) * sizeof(double));
    placeMusic[k] = music;
    placeScreen[k] = (whiteBefore.v[flashes + j] + whiteAt.v[flashes + j]) / 2;
    ++places;
    printf("frames: the music's %.0f s placed by its flash (its accent not found)\n",
           music / 1e3);
  }
  long first, last;
  ProductionFrames(&first, &last);
  Doubles intervals = {0};
  for (long i = first + 1; i <= last; ++i)
    if (Measurable(i)) Push(&intervals, frameMs.v[i] - frameMs.v[i - 1]);
  if (intervals.n > 0) typicalInterval = Quantile(intervals.v, intervals.n, 0.5);
  free(intervals.v);
}

/* The run's shown frames and, for each scene change, the intervals around it. */
static void DescribeFrames(void) {
  if (!placed) return;
  long first, last, top = -1, white = 0, hidden = 0;
  double whiteMs = 0;
  ProductionFrames(&first, &last);
  Doubles intervals = {0};
  for (long i = first + 1; i <= last; ++i) {
    const double interval = frameMs.v[i] - frameMs.v[i - 1];
    if (!Measurable(i)) {
      ++white;
      whiteMs += interval;
      if (typicalInterval > 0) hidden += lround(interval / typicalInterval) - 1;
      continue;
    }
    Push(&intervals, interval);
    if (top < 0 || interval > frameMs.v[top] - frameMs.v[top - 1]) top = i;
  }
  /* A picture of one colour at the end (the fade to black) hides the frames after it
     up to the music's end. */
  if (typicalInterval > 0 && last >= first && last >= 0 && frameFlat.v[last] &&
      ScreenAt(kEndMs) > frameMs.v[last]) {
    ++white;
    whiteMs += ScreenAt(kEndMs) - frameMs.v[last];
    hidden += lround((ScreenAt(kEndMs) - frameMs.v[last]) / typicalInterval);
  }
  if (intervals.n == 0) {
    printf("frames: none shown from the music's start to its end\n");
    return;
  }
  printf("frames: %ld shown from the music's 0 to %.0f s, intervals median %.2f ms, p95 %.2f ms, "
         "largest %.2f ms (ending at the music's %.3f s); %ld intervals from a frame of one "
         "colour left out (%.0f ms, about %ld frames hidden there); placed by %d "
         "accents and flashes, the accents %.1f ms at most from one straight line\n",
         last - first + 1, kEndMs / 1e3, Quantile(intervals.v, intervals.n, 0.5),
         Quantile(intervals.v, intervals.n, 0.95), Quantile(intervals.v, intervals.n, 1),
         MusicAt(frameMs.v[top]) / 1e3, white, whiteMs, hidden, places, fitResidual);
  free(intervals.v);
  /* Scene changes (AV_SCENES: "MS:NAME ...", the Timeline's scene starts). Before: the
     intervals ending in the second up to 50 ms before the change; after: those
     ending from 50 ms before it (the picture may run that much ahead of its median)
     to 300 ms after it. */
  const char* scenes = getenv("AV_SCENES");
  for (const char* at = scenes; at && *at;) {
    char name[64] = "";
    int used = 0;
    double ms;
    if (sscanf(at, " %lf:%63[^ ]%n", &ms, name, &used) < 1 || used == 0) break;
    at += used;
    const double change = ScreenAt(ms);
    Doubles before = {0};
    for (long i = FrameAfter(change - 1000); i < frameMs.n && frameMs.v[i] <= change - 50; ++i)
      if (Measurable(i)) Push(&before, frameMs.v[i] - frameMs.v[i - 1]);
    long top = -1, count = 0;
    for (long i = FrameAfter(change - 50); i < frameMs.n && frameMs.v[i] <= change + 300; ++i) {
      if (!Measurable(i)) continue;
      ++count;
      if (top < 0 || frameMs.v[i] - frameMs.v[i - 1] > frameMs.v[top] - frameMs.v[top - 1]) top = i;
    }
    printf("scene %.3f s %s: before it median %.1f ms (%ld frames)", ms / 1e3, name,
           before.n ? Quantile(before.v, before.n, 0.5) : NAN, before.n);
    if (top >= 0)
      printf("; within 300 ms after it largest %.1f ms, ending %+.0f ms from the change (%ld "
             "frames)\n", frameMs.v[top] - frameMs.v[top - 1], frameMs.v[top] - change, count);
    else
      printf("; within 300 ms after it no interval but from frames of one colour\n");
    free(before.v);
  }
}

static void Music(const char* soundtrack) {
  ReadSoundtrack(soundtrack);
  long refBlocks, recBlocks;
  double* ref = Envelope(track, trackFrames, 44100, &refBlocks);
  double* rec = Envelope(sound, soundFrames, rate, &recBlocks);
  if (refBlocks < 5200) Fail("the soundtrack is too short", NULL);
  /* The anchor: the soundtrack's 4 to 15.5 s (bells and wind, the snare roll, the
     sweep and the drop, heard nowhere else) placed in the recording to 10 ms. */
  const long from = 400, length = 1150;
  long anchor = 0;
  double best = -1;
  for (long lag = -from; from + lag + length <= recBlocks; ++lag) {
    const double c = Correlation(ref + from, rec + from + lag, length);
    if (c > best) {
      best = c;
      anchor = lag;
    }
  }
  printf("soundtrack: its 4 to 15.5 s placed in the recording from %.2f s (loudness match "
         "%.3f)\n", (from + anchor) / 100.0, best);
  /* Each accent within 3 s of where the one before it was (a stream that ran dry
     plays on later, a skip sooner); the accents sound alike, the 7 s between them
     tell them apart. */
  enum { kAccents = 5 };
  double heard[kAccents];
  char extra[kAccents][80];
  int found[kAccents] = {0};
  long previous = anchor;
  for (int k = 0; k < kAccents; ++k) {
    const double accent = 21.0 + 7 * k;
    double frame = 0;
    long lag = 0;
    const double match =
        FindAccent(accent, ref, rec, recBlocks, previous - 300, previous + 300, &frame, &lag);
    if (match < 0.5) {
      printf("event %d: the accent at %.0f s not found (best match %.3f)\n", k + 1, accent, match);
      continue;
    }
    previous = lag;
    found[k] = 1;
    heard[k] = PlayedAt(frame);
    snprintf(extra[k], sizeof extra[k], "  (match %.3f, played %+.0f ms off the soundtrack's pace)",
             match, (lag - anchor) * 10.0);
  }
  PlaceFrames(heard, found, kAccents);
  for (int k = 0; k < kAccents; ++k)
    if (found[k]) Pair(k + 1, heard[k], extra[k]);
  DescribeFrames();
  free(ref);
  free(rec);
}

int main(int argc, char** argv) {
  const int music = argc > 1 && strcmp(argv[1], "music") == 0;
  if (argc < 4 || (music && argc < 5)) {
    fprintf(stderr, "usage: av_analyse music POLL REC_PREFIX SOUNDTRACK.mp3 [SELFTEST_LOG]\n"
                    "       av_analyse clicks POLL REC_PREFIX [SELFTEST_LOG]\n");
    return 2;
  }
  ReadRecording(argv[3]);
  ReadPoll(argv[2]);
  DescribeSink();
  if (argc > 4 + music) ReadPlan(argv[4 + music]);
  if (music) Music(argv[4]);
  else Clicks();
  if (offsets.n > 0)
    printf("median %+.2f ms over %ld events (%+.2f to %+.2f)\n",
           Quantile(offsets.v, offsets.n, 0.5), offsets.n, Quantile(offsets.v, offsets.n, 0),
           Quantile(offsets.v, offsets.n, 1));
  else
    printf("no event paired\n");
  if (errors.n > 0)
    printf("read error: median %+.2f ms (%+.2f to %+.2f)\n", Quantile(errors.v, errors.n, 0.5),
           Quantile(errors.v, errors.n, 0), Quantile(errors.v, errors.n, 1));
  return 0;
}
