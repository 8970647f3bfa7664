// What the display server tells of the window's frames on the Linux desktop. A native
// Wayland window: wp_presentation feedback and a frame callback per commit, requested on
// SDL's surface through wrappers on an event queue of our own, so SDL's queue and its
// dispatching stay as they are. An X11 window: whether a Wayland compositor (Xwayland) or
// an X11 compositing manager stands between it and the screen.
#include "framework/window/presentation.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>
#include <time.h>
#include <wayland-client.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>

#include "presentation-time-client-protocol.h"

namespace window {

namespace {

// Reports not yet handed out; beyond this the oldest are dropped (a caller that stops
// taking them must not make the list grow for the rest of the run).
constexpr size_t kMaxPending = 64;
// How long after its repaint a picture's presented event may still come. Some compositors
// never send one (wlroots' headless output): the report then goes out with the repaint
// alone, and from then on only frame callbacks are asked for.
constexpr double kFeedbackWaitMs = 1000;

struct Pending {
  PresentationReport report;
  // "struct": the protocol's request of the same name hides the type's name.
  struct wp_presentation_feedback* feedback = nullptr;
  wl_callback* frame = nullptr;
  double requestedMs = 0;     // just before the commit: a frame callback's time lies after it
  double repaintReadMs = -1;  // when its frame callback was read
  bool fed = false;           // presented or discarded arrived
};

struct Listener {
  wl_display* display = nullptr;
  wl_event_queue* queue = nullptr;
  wl_display* displayOnQueue = nullptr;  // wrappers whose new objects use our queue
  wl_surface* surfaceOnQueue = nullptr;
  wl_registry* registry = nullptr;
  wp_presentation* presentation = nullptr;
  bool monotonic = false;  // the compositor's clock is CLOCK_MONOTONIC
  bool presentedSeen = false;
  bool askFeedback = true;  // false once a compositor is seen never to report presentation
  std::deque<std::unique_ptr<Pending>> pending;
};

Listener* listening = nullptr;

void Forget(Pending& pending) {
  if (pending.feedback) wp_presentation_feedback_destroy(pending.feedback);
  if (pending.frame) wl_callback_destroy(pending.frame);
  pending.feedback = nullptr;
  pending.frame = nullptr;
}

void OnClockId(void*, wp_presentation*, uint32_t clock) {
  listening->monotonic = clock == CLOCK_MONOTONIC;
}
const wp_presentation_listener kPresentationListener = {OnClockId};

void OnGlobal(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
  if (std::strcmp(interface, wp_presentation_interface.name) == 0 && !listening->presentation) {
    listening->presentation = static_cast<wp_presentation*>(
        wl_registry_bind(registry, name, &wp_presentation_interface, 1));
    wp_presentation_add_listener(listening->presentation, &kPresentationListener, nullptr);
  }
}
void OnGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

void OnSyncOutput(void*, struct wp_presentation_feedback*, wl_output*) {}
void OnPresented(void* data, struct wp_presentation_feedback* feedback, uint32_t secondsHigh,
                 uint32_t secondsLow, uint32_t nanoseconds, uint32_t refreshNs, uint32_t, uint32_t,
                 uint32_t flags) {
  auto* pending = static_cast<Pending*>(data);
  const uint64_t seconds = (uint64_t{secondsHigh} << 32) | secondsLow;
  pending->report.PresentedMs = static_cast<double>(seconds) * 1000.0 + nanoseconds / 1.0e6;
  pending->report.RefreshMs = refreshNs / 1.0e6;
  pending->report.Flags = flags;
  pending->fed = true;
  listening->presentedSeen = true;
  wp_presentation_feedback_destroy(feedback);
  pending->feedback = nullptr;
}
void OnDiscarded(void* data, struct wp_presentation_feedback* feedback) {
  auto* pending = static_cast<Pending*>(data);
  pending->report.Discarded = true;
  pending->fed = true;
  wp_presentation_feedback_destroy(feedback);
  pending->feedback = nullptr;
}
const wp_presentation_feedback_listener kFeedbackListener = {OnSyncOutput, OnPresented,
                                                             OnDiscarded};

// A steady time in whole ms modulo 2^32, as a frame callback gives it.
uint32_t WrappedMs(double ms) { return static_cast<uint32_t>(static_cast<uint64_t>(ms)); }

// The callback's time is in ms of an unnamed clock, modulo 2^32. Compositors use
// CLOCK_MONOTONIC; taken only when it lies between the request (less the ms it was
// truncated by) and now, else now, when we read it.
void OnFrameDone(void* data, wl_callback* callback, uint32_t timeMs) {
  auto* pending = static_cast<Pending*>(data);
  const double nowMs = SteadyNowMs();
  const uint32_t earliest = WrappedMs(pending->requestedMs) - 1;
  if (timeMs - earliest <= WrappedMs(nowMs) - earliest)
    // The middle of the whole ms the compositor truncated its time to.
    pending->report.RepaintMs = std::floor(nowMs) - (WrappedMs(nowMs) - timeMs) + 0.5;
  else
    pending->report.RepaintMs = nowMs;
  pending->repaintReadMs = nowMs;
  wl_callback_destroy(callback);
  pending->frame = nullptr;
}
const wl_callback_listener kFrameListener = {OnFrameDone};

void Close(Listener* closing) {
  for (auto& pending : closing->pending) Forget(*pending);
  if (closing->presentation) wp_presentation_destroy(closing->presentation);
  if (closing->registry) wl_registry_destroy(closing->registry);
  if (closing->surfaceOnQueue) wl_proxy_wrapper_destroy(closing->surfaceOnQueue);
  if (closing->displayOnQueue) wl_proxy_wrapper_destroy(closing->displayOnQueue);
  if (closing->queue) wl_event_queue_destroy(closing->queue);
  delete closing;
}

// Reads what the compositor sent without waiting: events for SDL's queue stay queued
// there for SDL's own dispatch; ours are dispatched here.
void ReadWithoutBlocking(Listener& on) {
  wl_display_flush(on.display);
  while (wl_display_prepare_read_queue(on.display, on.queue) != 0)
    if (wl_display_dispatch_queue_pending(on.display, on.queue) < 0) return;  // connection lost
  pollfd readable{wl_display_get_fd(on.display), POLLIN, 0};
  if (poll(&readable, 1, 0) > 0)
    wl_display_read_events(on.display);
  else
    wl_display_cancel_read(on.display);
  wl_display_dispatch_queue_pending(on.display, on.queue);
}

// Whether this X server is Xwayland: from version 23.1 it offers the XWAYLAND
// extension; every version names its RandR outputs XWAYLAND0, XWAYLAND1...
bool IsXwayland(Display* display, Window window) {
  int opcode = 0, event = 0, error = 0;
  if (XQueryExtension(display, "XWAYLAND", &opcode, &event, &error)) return true;
  if (!XQueryExtension(display, "RANDR", &opcode, &event, &error)) return false;
  XRRScreenResources* screen = XRRGetScreenResourcesCurrent(display, window);
  if (!screen) return false;
  bool xwayland = false;
  for (int i = 0; i < screen->noutput && !xwayland; ++i) {
    XRROutputInfo* output = XRRGetOutputInfo(display, screen, screen->outputs[i]);
    if (!output) continue;
    xwayland = output->name && std::strncmp(output->name, "XWAYLAND", 8) == 0;
    XRRFreeOutputInfo(output);
  }
  XRRFreeScreenResources(screen);
  return xwayland;
}

}  // namespace

bool StartPresentationFeedback(SDL_Window* window) {
  StopPresentationFeedback();
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_WAYLAND ||
      !info.info.wl.display || !info.info.wl.surface)
    return false;
  auto* on = new Listener;
  listening = on;
  on->display = info.info.wl.display;
  on->queue = wl_display_create_queue(on->display);
  on->displayOnQueue = static_cast<wl_display*>(wl_proxy_create_wrapper(on->display));
  on->surfaceOnQueue = static_cast<wl_surface*>(wl_proxy_create_wrapper(info.info.wl.surface));
  if (!on->queue || !on->displayOnQueue || !on->surfaceOnQueue) {
    Close(on);
    listening = nullptr;
    return false;
  }
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(on->displayOnQueue), on->queue);
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(on->surfaceOnQueue), on->queue);
  on->registry = wl_display_get_registry(on->displayOnQueue);
  wl_registry_add_listener(on->registry, &kRegistryListener, nullptr);
  // One round trip for the globals, a second for the bound object's clock_id.
  if (wl_display_roundtrip_queue(on->display, on->queue) < 0 || !on->presentation ||
      wl_display_roundtrip_queue(on->display, on->queue) < 0 || !on->monotonic) {
    Close(on);
    listening = nullptr;
    return false;
  }
  return true;
}

void RequestPresentationFeedback(uint32_t number) {
  if (!listening) return;
  Listener& on = *listening;
  if (on.pending.size() >= kMaxPending) {
    Forget(*on.pending.front());
    on.pending.pop_front();
  }
  auto pending = std::make_unique<Pending>();
  pending->report.Number = number;
  pending->requestedMs = SteadyNowMs();
  if (on.askFeedback) {
    pending->feedback = wp_presentation_feedback(on.presentation, on.surfaceOnQueue);
    wp_presentation_feedback_add_listener(pending->feedback, &kFeedbackListener, pending.get());
  } else {
    pending->fed = true;
  }
  pending->frame = wl_surface_frame(on.surfaceOnQueue);
  wl_callback_add_listener(pending->frame, &kFrameListener, pending.get());
  on.pending.push_back(std::move(pending));
}

bool TakePresentationReport(PresentationReport* report) {
  if (!listening || !report) return false;
  Listener& on = *listening;
  ReadWithoutBlocking(on);
  if (on.pending.empty()) return false;
  Pending& oldest = *on.pending.front();
  const bool repainted = !oldest.frame;
  // A discarded picture's frame callback may still come: it is not waited for.
  const bool complete = oldest.fed && (repainted || oldest.report.Discarded);
  const bool feedbackLost =
      repainted && !oldest.fed && SteadyNowMs() - oldest.repaintReadMs > kFeedbackWaitMs;
  if (!complete && !feedbackLost) return false;
  if (feedbackLost && !on.presentedSeen) on.askFeedback = false;
  Forget(oldest);
  // A frame callback that came for a discarded picture told of a later picture's repaint.
  if (oldest.report.Discarded) oldest.report.RepaintMs = -1;
  *report = oldest.report;
  on.pending.pop_front();
  return true;
}

void StopPresentationFeedback() {
  if (!listening) return;
  Close(listening);
  listening = nullptr;
}

Compositing CompositorOf(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info)) return Compositing::kNone;
  if (info.subsystem == SDL_SYSWM_WAYLAND) return Compositing::kWayland;
  if (info.subsystem != SDL_SYSWM_X11 || !info.info.x11.display) return Compositing::kNone;
  Display* display = info.info.x11.display;
  const char* session = std::getenv("WAYLAND_DISPLAY");
  if ((session && *session) || IsXwayland(display, info.info.x11.window))
    return Compositing::kWayland;
  XWindowAttributes attributes{};
  int screen = DefaultScreen(display);
  if (XGetWindowAttributes(display, info.info.x11.window, &attributes) && attributes.screen)
    screen = XScreenNumberOfScreen(attributes.screen);
  char name[32];
  std::snprintf(name, sizeof name, "_NET_WM_CM_S%d", screen);
  const Atom selection = XInternAtom(display, name, False);
  return XGetSelectionOwner(display, selection) != None ? Compositing::kX11Manager
                                                        : Compositing::kNone;
}

double OutputRefreshMs(SDL_Window* window) {
  if (!window) return 0;
  const int index = SDL_GetWindowDisplayIndex(window);
  SDL_DisplayMode mode{};
  if (index < 0 || SDL_GetCurrentDisplayMode(index, &mode) != 0 || mode.refresh_rate <= 0) return 0;
  return 1000.0 / mode.refresh_rate;
}

}  // namespace window
