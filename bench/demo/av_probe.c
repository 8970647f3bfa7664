/* Preloaded into the program by av_offset.sh: notes, on the steady clock, when each
   frame starts, when it is presented (and whether its picture is white, as a flash frame is) and when
   SDL's disk audio driver hands each buffer to its file, which it does as the buffer
   begins to play. The notes go to the file named by AV_PROBE_LOG at exit. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum { kMaxNotes = 1 << 17 };
static struct {
  char kind; /* 's' frame started, 'f' frame presented, 'a' audio buffer written */
  int white;
  double ms;
} notes[kMaxNotes];
static int noteCount;

static double NowMs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static void Note(char kind, int white, double ms) {
  if (noteCount < kMaxNotes) notes[noteCount++] = (typeof(notes[0])){kind, white, ms};
}

typedef void (*ReadPixelsFn)(int, int, int, int, unsigned, unsigned, void*);
typedef void (*GetIntegervFn)(unsigned, int*);

void SDL_GL_SwapWindow(void* window) {
  static void (*swap)(void*);
  static ReadPixelsFn readPixels;
  static GetIntegervFn getIntegerv;
  if (!swap) {
    swap = (void (*)(void*))dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    readPixels = (ReadPixelsFn)dlsym(RTLD_DEFAULT, "glReadPixels");
    getIntegerv = (GetIntegervFn)dlsym(RTLD_DEFAULT, "glGetIntegerv");
  }
  /* A flash frame is white all over: the centre and four points around it. */
  int viewport[4] = {0, 0, 0, 0};
  getIntegerv(0x0BA2 /* GL_VIEWPORT */, viewport);
  int white = 1;
  for (int i = 0; i < 5; ++i) {
    unsigned char rgba[4] = {0, 0, 0, 0};
    int x = viewport[2] * (i == 0 ? 2 : i == 1 || i == 2 ? 1 : 3) / 4;
    int y = viewport[3] * (i == 0 ? 2 : i == 1 || i == 3 ? 1 : 3) / 4;
    readPixels(x, y, 1, 1, 0x1908 /* GL_RGBA */, 0x1401 /* GL_UNSIGNED_BYTE */, rgba);
    white = white && rgba[0] > 240 && rgba[1] > 240 && rgba[2] > 240;
  }
  swap(window);
  Note('f', white, NowMs());
}

/* The frame loop pumps the window's events just before it reads the clock. */
void SDL_PumpEvents(void) {
  static void (*pump)(void);
  if (!pump) pump = (void (*)(void))dlsym(RTLD_NEXT, "SDL_PumpEvents");
  Note('s', 0, NowMs());
  pump();
}

size_t fwrite(const void* data, size_t size, size_t count, FILE* file) {
  static size_t (*real)(const void*, size_t, size_t, FILE*);
  if (!real) real = (size_t (*)(const void*, size_t, size_t, FILE*))dlsym(RTLD_NEXT, "fwrite");
  /* The disk driver writes whole 1024-frame stereo 16-bit buffers. */
  if (size * count == 4096) Note('a', 0, NowMs());
  return real(data, size, count, file);
}

__attribute__((destructor)) static void WriteNotes(void) {
  const char* path = getenv("AV_PROBE_LOG");
  FILE* out = path ? fopen(path, "w") : NULL;
  if (!out) return;
  for (int i = 0; i < noteCount; ++i)
    fprintf(out, "%c %d %.3f\n", notes[i].kind, notes[i].white, notes[i].ms);
  fclose(out);
}
