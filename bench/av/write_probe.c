/* Preloaded into the program (LD_PRELOAD) to time its sound from the write to the
   ear: notes, on CLOCK_MONOTONIC, each pa_stream_write of a playing stream (its time,
   its size, and how many bytes the stream had been given before it) and each buffer
   the program's audio callback takes from SDL's converter (SDL_AudioStreamGet: the
   callback's time), and the first byte of sound that is not silence. At exit the
   notes go to AV_WRITE_LOG.PID (only from a process that wrote sound). Used by
   write_to_heard.sh with the bench's recording of the sink. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

enum { kMaxNotes = 1 << 18 };
static struct {
  char kind; /* 'w' pa_stream_write, 'g' the callback took a buffer */
  double ms;
  long long before, bytes;
} notes[kMaxNotes];
static int noteCount;
static long long written;
static long long firstSound = -1; /* bytes written before the first one not zero */

static double NowMs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static void Note(char kind, long long before, long long bytes) {
  if (noteCount < kMaxNotes) {
    notes[noteCount].kind = kind;
    notes[noteCount].ms = NowMs();
    notes[noteCount].before = before;
    notes[noteCount].bytes = bytes;
    ++noteCount;
  }
}

typedef int (*WriteFn)(void*, const void*, size_t, void (*)(void*), int64_t, int);
int pa_stream_write(void* stream, const void* data, size_t bytes, void (*freeCb)(void*),
                    int64_t offset, int seek) {
  static WriteFn real;
  if (!real) real = (WriteFn)dlsym(RTLD_NEXT, "pa_stream_write");
  Note('w', written, (long long)bytes);
  if (firstSound < 0 && data)
    for (size_t i = 0; i < bytes; ++i)
      if (((const unsigned char*)data)[i]) {
        firstSound = written + (long long)i;
        break;
      }
  written += (long long)bytes;
  return real(stream, data, bytes, freeCb, offset, seek);
}

typedef int (*GetFn)(void*, void*, int);
int SDL_AudioStreamGet(void* converter, void* into, int bytes) {
  static GetFn real;
  if (!real) real = (GetFn)dlsym(RTLD_NEXT, "SDL_AudioStreamGet");
  Note('g', written, bytes);
  return real(converter, into, bytes);
}

__attribute__((destructor)) static void WriteNotes(void) {
  const char* prefix = getenv("AV_WRITE_LOG");
  if (!prefix || written == 0) return;
  char path[4096];
  snprintf(path, sizeof path, "%s.%d", prefix, (int)getpid());
  FILE* out = fopen(path, "w");
  if (!out) return;
  fprintf(out, "first-sound %lld\n", firstSound);
  for (int i = 0; i < noteCount; ++i)
    fprintf(out, "%c %.3f %lld %lld\n", notes[i].kind, notes[i].ms, notes[i].before, notes[i].bytes);
  fclose(out);
}
