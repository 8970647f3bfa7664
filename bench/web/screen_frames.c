/* The frames an X screen shows, as a viewer sees them: each time the screen is drawn
   to (the X server's damage events on the root window), the watched rectangle is read
   (MIT-SHM) and compared with its last picture; a picture that differs is a shown
   frame. Prints one line per shown frame, "SHOWN MONOTONIC_MS REALTIME_MS", until
   standard input closes or the given seconds pass, then a line "end DAMAGE_EVENTS
   READS".
     screen_frames [--rect X,Y,W,H] [--seconds S]   (DISPLAY names the screen)
   The damage events cost the screen nothing between frames, unlike a poll; a frame
   the browser writes in several pieces is read once its pieces have stopped coming
   for half a millisecond. */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <time.h>
#include <unistd.h>

static double Ms(clockid_t clock) {
  struct timespec t;
  clock_gettime(clock, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int main(int argc, char** argv) {
  int x = 0, y = 0, width = 0, height = 0;
  double seconds = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (strcmp(argv[i], "--rect") == 0 &&
        sscanf(argv[i + 1], "%d,%d,%d,%d", &x, &y, &width, &height) == 4) continue;
    if (strcmp(argv[i], "--seconds") == 0) {
      seconds = atof(argv[i + 1]);
      continue;
    }
    fprintf(stderr, "usage: screen_frames [--rect X,Y,W,H] [--seconds S]\n");
    return 2;
  }
  Display* display = XOpenDisplay(NULL);
  if (!display) {
    fprintf(stderr, "screen_frames: cannot open display %s\n", getenv("DISPLAY"));
    return 1;
  }
  const Window root = DefaultRootWindow(display);
  int damageEvent = 0, damageError = 0;
  if (!XDamageQueryExtension(display, &damageEvent, &damageError) || !XShmQueryExtension(display)) {
    fprintf(stderr, "screen_frames: the X server lacks DAMAGE or MIT-SHM\n");
    return 1;
  }
  if (width <= 0 || height <= 0) {
    x = y = 0;
    width = DisplayWidth(display, DefaultScreen(display));
    height = DisplayHeight(display, DefaultScreen(display));
  }
  XShmSegmentInfo segment;
  XImage* image = XShmCreateImage(display, DefaultVisual(display, DefaultScreen(display)),
                                  DefaultDepth(display, DefaultScreen(display)), ZPixmap, NULL,
                                  &segment, width, height);
  const size_t bytes = (size_t)image->bytes_per_line * height;
  segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  segment.shmaddr = image->data = shmat(segment.shmid, NULL, 0);
  segment.readOnly = False;
  XShmAttach(display, &segment);
  XSync(display, False);
  shmctl(segment.shmid, IPC_RMID, NULL);  // freed when both sides detach
  char* last = calloc(1, bytes);
  XShmGetImage(display, root, image, x, y, AllPlanes);
  memcpy(last, image->data, bytes);

  const Damage damage = XDamageCreate(display, root, XDamageReportNonEmpty);
  XFlush(display);
  setvbuf(stdout, NULL, _IOLBF, 0);
  const double end = seconds > 0 ? Ms(CLOCK_MONOTONIC) + seconds * 1e3 : 0;
  long events = 0, reads = 0, shown = 0;
  double pending = -1;  // when damage came that is not read yet
  double pendingReal = 0;
  for (;;) {
    const double now = Ms(CLOCK_MONOTONIC);
    if (end && now > end) break;
    struct pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {0, POLLIN, 0}};
    // While damage waits to be read, half a millisecond more of quiet reads it.
    const int timeout = pending >= 0 ? 0 : 100;
    if (!XPending(display)) {
      if (pending >= 0) {
        struct timespec quiet = {0, 500000};
        nanosleep(&quiet, NULL);
      } else if (poll(fds, 2, timeout) > 0 && (fds[1].revents & (POLLIN | POLLHUP))) {
        char buffer[256];
        if (read(0, buffer, sizeof buffer) <= 0) break;
      }
    }
    int more = 0;
    while (XPending(display)) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == damageEvent + XDamageNotify) {
        ++events;
        more = 1;
        if (pending < 0) {
          pending = Ms(CLOCK_MONOTONIC);
          pendingReal = Ms(CLOCK_REALTIME);
        }
      }
    }
    if (more) {
      XDamageSubtract(display, damage, None, None);
      XFlush(display);
      continue;
    }
    if (pending < 0) continue;
    XShmGetImage(display, root, image, x, y, AllPlanes);
    ++reads;
    if (memcmp(last, image->data, bytes) != 0) {
      memcpy(last, image->data, bytes);
      printf("%ld %.3f %.3f\n", ++shown, pending, pendingReal);
    }
    pending = -1;
  }
  printf("end %ld %ld\n", events, reads);
  XShmDetach(display, &segment);
  shmdt(segment.shmaddr);
  XCloseDisplay(display);
  return 0;
}
