/* screen_watch: polls a rectangle of the X screen (DISPLAY) and notes, on the
   monotonic clock, each shown frame (any change of the pixels it samples) and each
   change between white and anything else.
     screen_watch X Y W H OUT [PERIOD_US]
   Every PERIOD_US (default 1000) it reads three one-pixel rows spread over the
   rectangle with XGetImage from the root window (Xvfb's framebuffer) and compares
   their colours (all pixels, the bits beside the colour masks ignored) with the
   poll before; a frame that changes none of them goes unseen. The rectangle
   counts as white when at least 90 % of every other pixel of those rows have every
   channel at 0x99 (60 %) or more: a white overlay of at least 60 % over any picture,
   as the flash's first frames are (a page that shows only some of the frames drawn may
   show the flash from its second or third frame on). It runs until SIGTERM or SIGINT,
   then writes OUT:
     poll PERIOD_US POLLS LONGEST_GAP_MS
     gap START_MS END_MS           (each wait of more than 5 ms between two polls)
     F BEFORE_MS AT_MS LEVEL FLAT  (a shown frame: the last poll that saw the rows as
                                    they were, the first that saw them changed, the
                                    mean of every other sampled pixel's darkest channel
                                    then, 0 to 255, and 1 when all sampled pixels had
                                    one colour)
     W|O BEFORE_MS AT_MS LEVEL     (a change to white or from it, the same way)
   Each poll's time is the middle of its first request's round trip. Times are
   CLOCK_MONOTONIC in milliseconds. */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <errno.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum { kRows = 3, kMaxNotes = 1 << 18 };

static volatile sig_atomic_t stop;
static void OnSignal(int sig) { (void)sig; stop = 1; }

static double NowMs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static struct {
  char kind; /* 'F' frame, 'W', 'O' change; 'g' gap */
  double a, b;
  int level, flat;
} notes[kMaxNotes];
static int noteCount;

static void Note(char kind, double a, double b, int level, int flat) {
  if (noteCount < kMaxNotes) {
    notes[noteCount].kind = kind;
    notes[noteCount].a = a;
    notes[noteCount].b = b;
    notes[noteCount].level = level;
    notes[noteCount].flat = flat;
    ++noteCount;
  }
}

static int Channel(uint32_t pixel, unsigned long mask) {
  if (!mask) return 0;
  int shift = __builtin_ctzl(mask);
  unsigned long bits = mask >> shift;
  return (int)(((pixel & mask) >> shift) * 255 / bits);
}

/* One row of the image into out, as colour bits only: the rest of a 32-bit pixel
   (the alpha a GL may write there) is not seen on the screen. */
static void CopyRow(XImage* image, int w, uint32_t mask, uint32_t* out) {
  static const uint16_t one = 1;
  const int littleEndian = *(const uint8_t*)&one == 1;
  if (image->bits_per_pixel == 32 && (image->byte_order == LSBFirst) == littleEndian) {
    const uint32_t* in = (const uint32_t*)image->data;
    for (int i = 0; i < w; ++i) out[i] = in[i] & mask;
  } else {
    for (int i = 0; i < w; ++i) out[i] = (uint32_t)XGetPixel(image, i, 0) & mask;
  }
}

int main(int argc, char** argv) {
  if (argc < 6) {
    fprintf(stderr, "usage: screen_watch X Y W H OUT [PERIOD_US]\n");
    return 2;
  }
  const int x = atoi(argv[1]), y = atoi(argv[2]), w = atoi(argv[3]), h = atoi(argv[4]);
  const char* out = argv[5];
  const long period = argc > 6 ? atol(argv[6]) : 1000;
  if (w <= 0 || h <= 0) {
    fprintf(stderr, "screen_watch: an empty rectangle\n");
    return 2;
  }
  Display* display = XOpenDisplay(NULL);
  if (!display) {
    fprintf(stderr, "screen_watch: cannot open the display\n");
    return 1;
  }
  Window root = DefaultRootWindow(display);
  Visual* visual = DefaultVisual(display, DefaultScreen(display));
  const uint32_t colour = (uint32_t)(visual->red_mask | visual->green_mask | visual->blue_mask);
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = OnSignal;
  sigaction(SIGTERM, &action, NULL);
  sigaction(SIGINT, &action, NULL);

  /* This poll's rows and the last poll's (swapped when they differ). */
  uint32_t* rows = calloc((size_t)kRows * w, sizeof(uint32_t));
  uint32_t* before = calloc((size_t)kRows * w, sizeof(uint32_t));
  if (!rows || !before) return 1;
  long polls = 0;
  double longest = 0, last = 0;
  int state = -1;
  struct timespec next;
  clock_gettime(CLOCK_MONOTONIC, &next);
  while (!stop) {
    double at = 0;
    for (int r = 0; r < kRows; ++r) {
      const int row = y + h * (2 * r + 1) / (2 * kRows);
      const double sent = NowMs();
      XImage* image = XGetImage(display, root, x, row, w, 1, AllPlanes, ZPixmap);
      if (r == 0) at = (sent + NowMs()) / 2;
      if (!image) { /* a row not read counts as unchanged */
        memcpy(rows + r * w, before + r * w, (size_t)w * sizeof(uint32_t));
        continue;
      }
      CopyRow(image, w, colour, rows + r * w);
      XDestroyImage(image);
    }
    const int changed = polls == 0 || memcmp(rows, before, (size_t)kRows * w * sizeof(uint32_t));
    if (polls > 0) {
      if (at - last > longest) longest = at - last;
      if (at - last > 5) Note('g', last, at, 0, 0);
    }
    /* White and the level are worked out only when the rows changed. */
    if (changed) {
      long white = 0, total = 0, level = 0;
      for (int i = 0; i < kRows * w; i += 2) {
        const uint32_t p = rows[i];
        int darkest = Channel(p, visual->red_mask);
        const int g = Channel(p, visual->green_mask), b = Channel(p, visual->blue_mask);
        if (g < darkest) darkest = g;
        if (b < darkest) darkest = b;
        ++total;
        level += darkest;
        white += darkest >= 0x99;
      }
      const int mean = total > 0 ? (int)(level / total) : 0;
      const int now = total > 0 && white * 10 >= total * 9;
      /* One colour over all the rows (pure white, black): the next frames may be the
         same and go unseen. */
      int flat = 1;
      for (int i = 1; i < kRows * w && flat; ++i) flat = rows[i] == rows[0];
      if (polls > 0) Note('F', last, at, mean, flat);
      if (now != state) {
        if (state >= 0) Note(now ? 'W' : 'O', last, at, mean, 0);
        state = now;
      }
      uint32_t* swap = before;
      before = rows;
      rows = swap;
    }
    last = at;
    ++polls;
    /* The next poll on the period's grid; after a stall, from now on. */
    next.tv_nsec += period * 1000;
    while (next.tv_nsec >= 1000000000L) {
      next.tv_nsec -= 1000000000L;
      ++next.tv_sec;
    }
    struct timespec now2;
    clock_gettime(CLOCK_MONOTONIC, &now2);
    if (now2.tv_sec > next.tv_sec || (now2.tv_sec == next.tv_sec && now2.tv_nsec > next.tv_nsec))
      next = now2;
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, NULL) == EINTR && !stop) {
    }
  }
  FILE* file = fopen(out, "w");
  if (!file) {
    perror(out);
    return 1;
  }
  fprintf(file, "poll %ld %ld %.3f\n", period, polls, longest);
  for (int i = 0; i < noteCount; ++i)
    if (notes[i].kind == 'g') fprintf(file, "gap %.3f %.3f 0\n", notes[i].a, notes[i].b);
    else if (notes[i].kind == 'F')
      fprintf(file, "F %.3f %.3f %d %d\n", notes[i].a, notes[i].b, notes[i].level, notes[i].flat);
    else fprintf(file, "%c %.3f %.3f %d\n", notes[i].kind, notes[i].a, notes[i].b, notes[i].level);
  fclose(file);
  XCloseDisplay(display);
  return 0;
}
