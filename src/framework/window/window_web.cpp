// Window unit in a web page: the page's canvas with a WebGL 2 context, Escape, the
// browser's full screen, and the error boxes as boxes in the page. The canvas has
// Width x Height; the page scales it to the screen. True colour is drawn straight into
// the canvas (with its depth buffer); 16 bits into a 5/6/5 framebuffer with 16-bit
// depth, copied to the canvas at each swap. A swap returns to the browser, which shows
// the frame at its next display refresh.
#include <GLES3/gl3.h>
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "framework/window/gl_web.h"
#include "framework/window/picture_framebuffer.h"
#include "framework/window/window.h"

namespace window {

bool Running = false;

namespace {

EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
int32_t pictureWidth = 0;
int32_t pictureHeight = 0;
PictureFramebuffer picture;
std::deque<bool> keyEvents;  // key presses and close requests not yet handled: true ends the run
bool wasFullscreen = false;

// Keys wait in a queue, so a frame handles at most one, as on the desktop.
EM_BOOL OnKeyDown(int, const EmscriptenKeyboardEvent* event, void*) {
  keyEvents.push_back(std::strcmp(event->key, "Escape") == 0);
  return EM_FALSE;
}

// Browsers keep Escape for leaving full screen, and the page never sees that key
// press: leaving the full screen that Go! asked for ends the run as Escape does.
EM_BOOL OnFullscreenChange(int, const EmscriptenFullscreenChangeEvent* event, void*) {
  if (event->isFullscreen)
    wasFullscreen = true;
  else if (wasFullscreen)
    keyEvents.push_back(true);
  return EM_FALSE;
}

uint32_t picturesSwapped = 0;

// The pictures swapped and not yet known to be on screen, in the page's list: each
// with the fence that tells when the GPU has drawn it.
EM_JS(void, FencePicture, (uint32_t number), {
  const gl = GLctx;
  const pictures = Module['pictures'] = Module['pictures'] || [];
  pictures.push({number, fence: gl.fenceSync(gl.SYNC_GPU_COMMANDS_COMPLETE, 0), swapped: performance.now()});
});

// Until the next display refresh: the browser presents the frame meanwhile. Then each
// picture swapped before it is on screen once its fence is signalled, which is
// polled every few ms (a fence's state changes only between the page's turns); one
// that is not within a second (its context lost) is dropped.
EM_ASYNC_JS(void, WaitForDisplay, (), {
  await new Promise(resolve => requestAnimationFrame(resolve));
  const gl = GLctx;
  for (const picture of Module['pictures'] || []) {
    if (picture.refresh !== undefined) continue;
    picture.refresh = performance.now();
    const poll = () => {
      const now = performance.now();
      if (gl.isContextLost() || now - picture.swapped > 1000) {
        picture.lost = true;
      } else if (gl.getSyncParameter(picture.fence, gl.SYNC_STATUS) === gl.SIGNALED) {
        picture.shown = now;
      } else {
        setTimeout(poll, 4);
        return;
      }
      if (!gl.isContextLost()) gl.deleteSync(picture.fence);
    };
    poll();
  }
});

EM_JS(void, ForgetPictures, (), { Module['pictures'] = []; });

// The oldest picture known to be on screen, taken from the page's list: its number
// into `number` and the time into `shownMs`; false when the oldest is not yet.
EM_JS(bool, TakeShown, (uint32_t* number, double* shownMs), {
  const pictures = Module['pictures'] || [];
  while (pictures.length && pictures[0].lost) pictures.shift();
  if (!pictures.length || pictures[0].shown === undefined) return false;
  const picture = pictures.shift();
  HEAPU32[number >> 2] = picture.number;
  HEAPF64[shownMs >> 3] = Math.max(picture.refresh, picture.shown);
  return true;
});

EM_ASYNC_JS(void, YieldToBrowser, (), {
  await new Promise(resolve => setTimeout(resolve, 0));
});

EM_JS(void, SizeCanvas, (int width, int height), {
  const canvas = Module['canvas'];
  canvas.width = width;
  canvas.height = height;
  canvas.style.visibility = 'visible';
});

EM_JS(void, ShowPageBox, (const char* caption, const char* text), {
  const shown = Module['showMessageBox'];
  if (shown) shown(UTF8ToString(caption), UTF8ToString(text));
});

}  // namespace

void SetWindowIdentity(const char*, const uint8_t*, int32_t) {}

void OpenWindow(const char*, int32_t width, int32_t height, int32_t colorBits, bool) {
  pictureWidth = width;
  pictureHeight = height;
  SizeCanvas(width, height);
  EmscriptenWebGLContextAttributes attributes;
  emscripten_webgl_init_context_attributes(&attributes);
  attributes.majorVersion = 2;
  attributes.alpha = EM_FALSE;
  // A copy to the canvas costs a software renderer a whole pass per frame: only the
  // 5/6/5 picture, which a canvas cannot hold, takes that way.
  attributes.depth = colorBits > 16;
  attributes.antialias = EM_FALSE;
  attributes.premultipliedAlpha = EM_FALSE;
  context = emscripten_webgl_create_context("#canvas", &attributes);
  if (context <= 0) ShowError("cvn_WinAPI", "Render Context could not be set");
  emscripten_webgl_make_context_current(context);
  if (!glweb::Init()) ShowError("cvn_WinAPI", "Render Context could not be set");
  if (colorBits <= 16 && !CreatePictureFramebuffer(picture, width, height, colorBits))
    ShowError("cvn_WinAPI", "Pixel Format not Available");
  // Full screen was asked for by the page when Go! was pressed: only a user's action
  // may ask for it.
  emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, OnKeyDown);
  EmscriptenFullscreenChangeEvent state{};
  wasFullscreen = emscripten_get_fullscreen_status(&state) == EMSCRIPTEN_RESULT_SUCCESS &&
                  state.isFullscreen;
  emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE,
                                           OnFullscreenChange);
  Running = true;
}

void CloseWindow() {
  if (!context) return;
  emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, nullptr);
  emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE,
                                           nullptr);
  DeletePictureFramebuffer(picture);
  ForgetPictures();
  emscripten_webgl_destroy_context(context);
  context = 0;
  Running = false;
}

void DispatchOneEvent() {
  if (keyEvents.empty()) return;
  const bool escape = keyEvents.front();
  keyEvents.pop_front();
  if (escape) SendDestroy();
}

// With nothing drawn since the last swap, nothing new is presented: the canvas keeps
// showing the last picture (some engines, WebKit's, show a frame that is only a copy
// to the canvas as black).
void SwapFrame() {
  if (!context) return;
  if (!glweb::Flush()) return WaitForDisplay();
  if (picture.Framebuffer) {
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, picture.Framebuffer);
    glBlitFramebuffer(0, 0, pictureWidth, pictureHeight, 0, 0, pictureWidth, pictureHeight,
                      GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, picture.Framebuffer);
  }
  FencePicture(++picturesSwapped);
  WaitForDisplay();
}

uint32_t PicturesSwapped() { return picturesSwapped; }

ShownCounts shownCounts;

bool TakeShownPicture(uint32_t* number, double* shownMs) {
  if (!TakeShown(number, shownMs)) return false;
  ++shownCounts.BySource[static_cast<int>(ShownSource::kPageRefresh)];
  return true;
}

ShownCounts ShownPictureCounts() { return shownCounts; }

// The page draws into one framebuffer for the whole run.
void ForEachPictureTarget(void (*draw)(void*), void* context) { draw(context); }

void SendDestroy() { Running = false; }

// The browser shows each frame at its display's refresh; there is no interval to ask for.
SwapControl SwapInterval() { return {1, false, false}; }

void ShowMessageBox(const char* caption, const char* text) {
  std::fprintf(stderr, "%s: %s\n", caption, text);
  ShowPageBox(caption, text);
}

void ShowError(const char* caption, const char* message) {
  ShowMessageBox(caption, message);
  std::exit(0);
}

// Milliseconds since 1970 by the page's steady clock (its start plus the time since):
// the random seed taken from it differs between visits and reloads.
EM_JS(double, PageTicks, (), {
  return (performance.timeOrigin || Date.now() - performance.now()) + performance.now();
});
uint64_t TickCount() { return static_cast<uint64_t>(PageTicks()); }

void Idle() { YieldToBrowser(); }

// No offscreen contexts in a page: the offline tools are desktop programs.
bool OpenOffscreenContext(int32_t, int32_t) { return false; }
void CloseOffscreenContext() {}

}  // namespace window

// The page's close request (its End control, a lost WebGL context): as a desktop
// window's close button, it ends the run after the current frame.
extern "C" EMSCRIPTEN_KEEPALIVE void window_web_close() { window::keyEvents.push_back(true); }
