// Window unit on SDL2: the render window with its OpenGL context, the optional
// full-screen display mode, the per-frame event handling and the error boxes.
#include "framework/window/window.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/window/message_box_gtk.h"
#include "framework/window/picture_framebuffer.h"
#include "framework/window/presentation.h"

namespace window {

bool Running = false;

namespace {

SDL_Window* renderWindow = nullptr;
SDL_GLContext renderContext = nullptr;
int32_t windowWidth = 0;
int32_t windowHeight = 0;
int32_t windowColorBits = 0;
bool windowFullscreen = false;  // the display mode was changed and the cursor hidden
SwapControl swapControl{};
std::string identityClass;
std::vector<uint8_t> identityIcon;  // RGBA
int32_t identityIconSize = 0;

constexpr Uint32 kWindowFlags = SDL_WINDOW_OPENGL | SDL_WINDOW_ALWAYS_ON_TOP | SDL_WINDOW_HIDDEN;

// Bits per pixel as the full-screen search compares them: SDL reports true colour
// as 24 bits in 4 bytes and 15-bit colour in 2 bytes; both count by their storage.
int ModeColorBits(Uint32 format) {
  switch (SDL_BYTESPERPIXEL(format)) {
    case 4: return 32;
    case 2: return 16;
    default: return SDL_BITSPERPIXEL(format);
  }
}

// SDL falls back to its invisible offscreen driver when there is no display; the
// production must not run invisibly, so only an explicit request may use it.
bool HasRealDisplay() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver) return false;
  if (std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0) return true;
  const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
  return asked && SDL_strcasestr(asked, driver) != nullptr;
}

// Index 0..255 of the first display mode of the given size and depth, or -1.
int FindDisplayMode(SDL_DisplayMode& found) {
  SDL_DisplayMode mode{};
  for (int index = 0; index <= 255; ++index) {
    // A failed query leaves the record as it was, like the platform's enumeration.
    SDL_GetDisplayMode(0, index, &mode);
    if (mode.w == windowWidth && mode.h == windowHeight &&
        ModeColorBits(mode.format) == windowColorBits) {
      found = mode;
      return index;
    }
  }
  return -1;
}

void RequestPixelFormat() {
  SDL_GL_ResetAttributes();
  const bool highColor = windowColorBits <= 16;
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, highColor ? 5 : 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, highColor ? 6 : 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, highColor ? 5 : 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

// The window at the top-left corner, kept on top; its client area is width x height.
void CreateRenderWindow(const char* title) {
  SDL_DisplayMode mode{};
  if (windowFullscreen && FindDisplayMode(mode) < 0)
    ShowError("cvn_WinAPI", "Could not set right Resolution");

  RequestPixelFormat();
  Uint32 flags = kWindowFlags | (windowFullscreen ? SDL_WINDOW_BORDERLESS : 0);
  renderWindow = SDL_CreateWindow(title, 0, 0, windowWidth, windowHeight, flags);
  if (!renderWindow) {
    // SDL picks the pixel format when it creates an OpenGL window: if a plain
    // window can be made, it was the pixel format that failed.
    SDL_Window* plain = SDL_CreateWindow(title, 0, 0, windowWidth, windowHeight,
                                         SDL_WINDOW_HIDDEN);
    if (plain) {
      SDL_DestroyWindow(plain);
      ShowError("cvn_WinAPI", "Pixel Format not Available");
    }
    ShowError("cvn_WinAPI", "Window could not be created");
  }
  if (windowFullscreen) {
    SDL_SetWindowDisplayMode(renderWindow, &mode);
    SDL_SetWindowFullscreen(renderWindow, SDL_WINDOW_FULLSCREEN);
  }
  SDL_ShowWindow(renderWindow);
  if (windowFullscreen) SDL_ShowCursor(SDL_DISABLE);
  Running = true;
}

void SetupRenderContext() {
  renderContext = SDL_GL_CreateContext(renderWindow);
  if (!renderContext) ShowError("cvn_WinAPI", "Render Context could not be set");
  SDL_GL_MakeCurrent(renderWindow, renderContext);
  // Motion advances per frame, so a swap that waits for a 60 Hz display would slow
  // the whole run. A driver that refuses keeps its own interval: the run stays
  // correct, its motion then follows the display's rate.
  swapControl.Refused = SDL_GL_SetSwapInterval(0) != 0;
  swapControl.Interval = SDL_GL_GetSwapInterval();
}

// The picture is always drawn at width x height. When the window's drawable has
// another size (a compositor that cannot change modes, a window manager that resizes
// the window), it is drawn into a framebuffer object of that size instead and scaled
// into the drawable at each swap, aspect kept, with black bars where aspects differ.
PictureFramebuffer picture;  // none: the picture goes straight to the window
int drawableWidth = 0;
int drawableHeight = 0;

// Follows the drawable's current size: scaled through the framebuffer object when it
// differs from width x height, straight to the window (no cost) when it matches.
void FitPictureToDrawable() {
  SDL_GL_GetDrawableSize(renderWindow, &drawableWidth, &drawableHeight);
  const bool fits = drawableWidth == windowWidth && drawableHeight == windowHeight;
  // A driver without framebuffer objects leaves the picture unscaled.
  if (fits)
    DeletePictureFramebuffer(picture);
  else if (!picture.Framebuffer)
    CreatePictureFramebuffer(picture, windowWidth, windowHeight, windowColorBits);
}

// The picture scaled into the middle of the drawable, the bars black, then the swap;
// drawing goes on into the picture's framebuffer.
void PresentScaledPicture() {
  BlitPictureScaled(picture, windowWidth, windowHeight, drawableWidth, drawableHeight);
  SDL_GL_SwapWindow(renderWindow);
  glBindFramebuffer(GL_FRAMEBUFFER, picture.Framebuffer);
}

// Back to the desktop: leaves full screen (restoring the display mode) and hides the
// window, so that an error box is never covered by it.
void LeaveDisplay() {
  if (!renderWindow) return;
  if (windowFullscreen) {
    SDL_SetWindowFullscreen(renderWindow, 0);
    SDL_ShowCursor(SDL_ENABLE);
  }
  SDL_HideWindow(renderWindow);
  SDL_PumpEvents();
}

// The pictures swapped and when they reach the screen. Where the compositor reports
// its showing (presentation.h), each swap waits in `awaiting` for its report; elsewhere
// its time on screen is known at the swap's return.
uint32_t picturesSwapped = 0;
bool compositorReports = false;
Compositing compositing = Compositing::kNone;
double refreshMs = 0;
constexpr uint32_t kAwaiting = 64;
SwappedPicture awaiting[kAwaiting];
ShownPictures shownPictures;

// The compositor's reports that came, matched to their swaps. A picture still without
// one when kAwaiting / 2 newer ones were swapped gets none (a compositor that stopped
// reporting, a hidden window): its time is the swap's, as where none reports.
void TakePresentationReports() {
  PresentationReport report;
  while (TakePresentationReport(&report)) {
    SwappedPicture& swap = awaiting[report.Number % kAwaiting];
    if (swap.Number != report.Number) continue;
    if (report.Discarded)
      shownPictures.NoteDiscarded();
    else
      shownPictures.Note(swap, &report, compositing, refreshMs);
    swap.Number = 0;
  }
  const uint32_t late = picturesSwapped - kAwaiting / 2;
  SwappedPicture& oldest = awaiting[late % kAwaiting];
  if (picturesSwapped > kAwaiting / 2 && oldest.Number == late) {
    shownPictures.Note(oldest, nullptr, compositing, refreshMs);
    oldest.Number = 0;
  }
}

}  // namespace

void OpenWindow(const char* title, int32_t width, int32_t height, int32_t colorBits,
                bool fullscreen) {
  windowWidth = width;
  windowHeight = height;
  windowColorBits = colorBits;
  windowFullscreen = fullscreen;

  // The class is read when SDL's video starts; the icon is set on the window made.
  if (!identityClass.empty()) {
    setenv("SDL_VIDEO_X11_WMCLASS", identityClass.c_str(), 1);
    setenv("SDL_VIDEO_WAYLAND_WMCLASS", identityClass.c_str(), 1);
  }
  // On a Wayland session the window is the compositor's own client rather than one
  // through Xwayland: one copy less per frame, and the compositor tells when each frame
  // is shown. SDL_VIDEODRIVER in the environment still decides.
  if (std::getenv("WAYLAND_DISPLAY"))
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "wayland,x11", SDL_HINT_DEFAULT);
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0 || !HasRealDisplay())
    ShowError("cvn_WinAPI", "Window could not be created");
  // The production has no mouse input, and typed text is not wanted either: such
  // events never enter the queue, so one event per frame keeps up with the keys.
  SDL_EventState(SDL_MOUSEMOTION, SDL_IGNORE);
  SDL_EventState(SDL_TEXTINPUT, SDL_IGNORE);
  SDL_EventState(SDL_TEXTEDITING, SDL_IGNORE);
  SDL_DisableScreenSaver();

  CreateRenderWindow(title);
  if (SDL_Surface* icon = identityIconSize == 0 ? nullptr
                          : SDL_CreateRGBSurfaceWithFormatFrom(
                                identityIcon.data(), identityIconSize, identityIconSize, 32,
                                identityIconSize * 4, SDL_PIXELFORMAT_RGBA32)) {
    SDL_SetWindowIcon(renderWindow, icon);
    SDL_FreeSurface(icon);
  }
  SetupRenderContext();
  FitPictureToDrawable();
  compositorReports = StartPresentationFeedback(renderWindow);
  compositing = CompositorOf(renderWindow);
  // SDL asks an X11 compositing manager to leave its windows uncomposed
  // (_NET_WM_BYPASS_COMPOSITOR), which the managers grant a full-screen window.
  if (compositing == Compositing::kX11Manager && windowFullscreen) compositing = Compositing::kNone;
  refreshMs = OutputRefreshMs(renderWindow);
}

void SetWindowIdentity(const char* className, const uint8_t* iconRgba, int32_t iconSize) {
  identityClass = className ? className : "";
  identityIconSize = iconRgba ? iconSize : 0;
  identityIcon.assign(iconRgba, iconRgba + size_t(identityIconSize) * identityIconSize * 4);
}

void CloseWindow() {
  if (!renderWindow) return;
  StopPresentationFeedback();
  compositorReports = false;
  DeletePictureFramebuffer(picture);
  SDL_GL_MakeCurrent(renderWindow, nullptr);
  if (renderContext) SDL_GL_DeleteContext(renderContext);
  renderContext = nullptr;
  if (windowFullscreen) {
    SDL_SetWindowFullscreen(renderWindow, 0);
    SDL_ShowCursor(SDL_ENABLE);
  }
  SDL_DestroyWindow(renderWindow);
  renderWindow = nullptr;
  Running = false;
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void DispatchOneEvent() {
  // Pump and take with PeepEvents: SDL_PollEvent sometimes answers "none" while an
  // event waits (its end-of-loop marker), which would cost a frame.
  SDL_PumpEvents();
  SDL_Event event;
  // Motion is dropped here too, whoever queued it: it must not take the frame's turn.
  do {
    if (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) < 1) return;
  } while (event.type == SDL_MOUSEMOTION);
  switch (event.type) {
    case SDL_QUIT:
      SendDestroy();
      break;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) SendDestroy();
      if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) FitPictureToDrawable();
      break;
    case SDL_KEYDOWN:
      if (event.key.keysym.sym == SDLK_ESCAPE) SendDestroy();
      break;
    default:
      break;
  }
}

void SwapFrame() {
  if (!renderWindow) return;
  SwappedPicture swap{picturesSwapped + 1, SteadyNowMs(), 0};
  if (compositorReports) RequestPresentationFeedback(swap.Number);
  if (picture.Framebuffer)
    PresentScaledPicture();
  else
    SDL_GL_SwapWindow(renderWindow);
  swap.SwapReturnedMs = SteadyNowMs();
  picturesSwapped = swap.Number;
  if (compositorReports)
    awaiting[swap.Number % kAwaiting] = swap;
  else
    shownPictures.Note(swap, nullptr, compositing, refreshMs);
}

uint32_t PicturesSwapped() { return picturesSwapped; }

bool TakeShownPicture(uint32_t* number, double* shownMs) {
  if (compositorReports) TakePresentationReports();
  return shownPictures.Take(number, shownMs);
}

ShownCounts ShownPictureCounts() { return shownPictures.Counts(); }

void ForEachPictureTarget(void (*draw)(void*), void* context) {
  // Without a window, an offscreen context (tests, the offline renderer) of 8 bits a
  // channel.
  DrawIntoEachPictureTarget(picture, renderWindow ? windowColorBits : 32, draw, context);
}

void SendDestroy() { Running = false; }

void Idle() {}

SwapControl SwapInterval() { return swapControl; }

void ShowMessageBox(const char* caption, const char* text) {
  LeaveDisplay();
  // The user has already asked the program to end (SIGTERM, SIGINT or a close, which
  // SDL queues as a quit): no box to answer, the text goes to standard error.
  if (SDL_WasInit(SDL_INIT_EVENTS)) {
    SDL_PumpEvents();
    if (SDL_HasEvent(SDL_QUIT)) {
      std::fprintf(stderr, "%s: %s\n", caption, text);
      std::fflush(stderr);
      return;
    }
  }
  // SDL waits for the child process that draws its X11 box; with SIGCHLD ignored
  // (inherited from whoever started us) that wait fails after the box was answered,
  // and a second box would follow.
  struct sigaction child {};
  if (sigaction(SIGCHLD, nullptr, &child) == 0 && child.sa_handler == SIG_IGN)
    signal(SIGCHLD, SIG_DFL);
  // SDL's X11 box needs a new X connection and a core X font matching its pattern,
  // which a server without the X font packages lacks (it has only "fixed", which does
  // not match). GTK draws with its own fonts on the connection the dialog opened.
  if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr) == 0) return;
  if (ShowGtkMessageBox(caption, text)) return;
  std::fprintf(stderr, "%s: %s\n", caption, text);
  std::fflush(stderr);
}

void ShowError(const char* caption, const char* message) {
  ShowMessageBox(caption, message);
  std::exit(0);
}

}  // namespace window
