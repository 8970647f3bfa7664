// Corvane window unit (error caption "cvn_WinAPI"): one window with an OpenGL
// context, the per-frame event handling, the fatal error box, and an offscreen
// context for tests and the offline renderer. The only unit that includes SDL video.
// The desktop's is window.cpp (SDL2, GTK for the fallback box, offscreen.cpp); on
// Windows window_win32.cpp (Win32 windows and WGL); a page's is window_web.cpp: the
// page's canvas with a WebGL 2 context, the browser's full screen, and the boxes drawn
// in the page.
#pragma once

#include <cstdint>

#include "framework/window/shown_time.h"

namespace window {

// Set when the window is created; cleared by Escape, a close request or SendDestroy.
extern bool Running;

// How desktops tie the window to the program's menu entry: its class (X11 WM_CLASS,
// Wayland app id) and its icon (size x size RGBA pixels, rows top first; copied). Set
// before OpenWindow; without it SDL names the class after the executable, with no icon.
// On Windows the window class is "Corvane" with the standard icon, and this does
// nothing; nothing in a page either.
void SetWindowIdentity(const char* className, const uint8_t* iconRgba, int32_t iconSize);

// Opens the window "title" with a current OpenGL context, optionally switching the
// display to a full-screen mode of the given size and depth. Never returns on failure.
// A page sizes its canvas instead and draws into a picture of that size; its full
// screen was asked for by the page itself, at the user's Go!.
void OpenWindow(const char* title, int32_t width, int32_t height, int32_t colorBits,
                bool fullscreen);

// Releases the context, restores the display mode, shows the cursor, destroys the window.
void CloseWindow();

// Handles at most one pending window event (Escape and close requests clear Running;
// in a page, leaving the full screen that Go! asked for counts as Escape).
void DispatchOneEvent();

// Presents the frame. The picture is drawn at the size OpenWindow was given; a window
// that got another size shows it scaled to fit, aspect kept, with black bars. In a
// page it returns to the browser until the display's next refresh, which shows it;
// with nothing drawn since the last swap, the page only waits for that refresh.
void SwapFrame();

// When the pictures swapped reach the screen. On the desktop a compositor may stand
// between the swap and the screen and tell when it showed each picture some frames
// later (shown_time.h says what is taken where); a page's picture is on screen from
// the later of the display's refresh after its swap and the moment the browser's GPU
// work has drawn it (a software renderer there may take several refreshes), which a
// fence tells some refreshes on. The pictures swapped so far (swaps with something
// drawn), counted from 1; and the next one now known to be on screen, oldest first: its
// number and the steady time it was shown at (ms), or false when none is new. A
// picture the compositor discarded is never reported.
uint32_t PicturesSwapped();
bool TakeShownPicture(uint32_t* number, double* shownMs);
// How the pictures' times on screen were found so far, and those never shown.
ShownCounts ShownPictureCounts();

// Calls draw(context) once with each framebuffer the picture may be drawn into during
// the run bound, the one in use first and bound again after (a warm-up's drawing, so
// that neither is new to the renderer when the run draws into it): on the desktop, the
// window's own and the scaled picture's (the window may be resized once it is open);
// in a page, its one.
void ForEachPictureTarget(void (*draw)(void*), void* context);

// The window's destroy notification: clears Running, the window stays open.
void SendDestroy();

// The buffer-swap interval after OpenWindow: 0 (frames never wait for the display)
// unless the driver refused the request, when it keeps its own. A page has none to ask
// for: the browser shows each frame at the display's next refresh.
struct SwapControl {
  int32_t Interval;   // as the driver reports it; -1 where it cannot say
  bool Refused;       // the request for interval 0 failed
  bool Asked = true;  // false where there is no interval to ask for (a page)
};
SwapControl SwapInterval();

// A modal message box with one OK button: SDL's, else GTK's; standard error only
// where no display can show either. On Windows, MessageBoxA with no owner. In a page:
// a box in the page, and the console.
// Every box ends the program, so the window first leaves full screen (the desktop
// display mode comes back) and hides, and the box is never covered by it.
void ShowMessageBox(const char* caption, const char* text);

// The framework's fatal error: the box, the desktop display mode restored, exit code 0.
[[noreturn]] void ShowError(const char* caption, const char* message);

// Milliseconds since an arbitrary start, from a steady clock.
uint64_t TickCount();

// Called while the program waits: in a browser, lets the page run (show what was
// drawn, take input); nothing on the desktop.
void Idle();

// An invisible OpenGL compatibility context of the given size on Mesa's offscreen
// driver (no display needed). Single-buffered: read pixels before any swap. A page
// has none (false).
bool OpenOffscreenContext(int32_t width, int32_t height);
void CloseOffscreenContext();

}  // namespace window
