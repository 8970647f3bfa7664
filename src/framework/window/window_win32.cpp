// Window unit on Win32 and WGL: the window class "Corvane", the optional full-screen
// display mode, the render window with its pixel format and OpenGL context, the
// window procedure that keeps Running, and the error boxes (MessageBoxA).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdlib>

#include "framework/window/gl_win32.h"
#include "framework/window/picture_framebuffer.h"
#include "framework/window/window.h"

namespace window {

bool Running = false;

namespace {

HWND renderWindow = nullptr;
HDC deviceContext = nullptr;
HGLRC renderContext = nullptr;
int16_t pixelFormat = 0;
int32_t windowWidth = 0;
int32_t windowHeight = 0;
int32_t windowColorBits = 0;
bool windowFullscreen = false;
bool modeChanged = false;  // the display runs the full-screen mode; cursor hidden
SwapControl swapControl{};

constexpr char kClassName[] = "Corvane";

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void RegisterWindowClass() {
  WNDCLASSEXA windowClass{};
  // The record's own size: 48 bytes in a 32-bit program, 80 in this 64-bit one.
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_OWNDC;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  windowClass.hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kClassName;
  RegisterClassExA(&windowClass);
}

// The first of the display modes 0 to 255 with exactly the window's size and depth.
// A failed query leaves the record as it was, so the search goes on to index 255.
bool FindDisplayMode(DEVMODEA& mode) {
  mode = DEVMODEA{};
  mode.dmSize = sizeof mode;
  int16_t index = -1;
  for (;;) {
    ++index;
    EnumDisplaySettingsA(nullptr, static_cast<DWORD>(index), &mode);
    if (index > 255) return false;
    if (static_cast<int32_t>(mode.dmPelsWidth) == windowWidth &&
        static_cast<int32_t>(mode.dmPelsHeight) == windowHeight &&
        static_cast<int32_t>(mode.dmBitsPerPel) == windowColorBits)
      return true;
  }
}

void CreateRenderWindow(const char* title) {
  HINSTANCE module = GetModuleHandleA(nullptr);
  if (!windowFullscreen) {
    // The client area is Width x Height; the caption and borders come on top. A window
    // that would not fit the desktop's work area is cut to it, as it cannot be moved:
    // none of it lies off the screen, and its smaller client area gets the picture
    // scaled (FitPictureToClient).
    constexpr DWORD style = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU;
    RECT outer{0, 0, windowWidth, windowHeight};
    AdjustWindowRectEx(&outer, style, FALSE, WS_EX_TOPMOST);
    LONG width = outer.right - outer.left, height = outer.bottom - outer.top;
    RECT work{};
    int32_t left = 0, top = 0;
    if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0) &&
        (width > work.right - work.left || height > work.bottom - work.top)) {
      width = std::min(width, work.right - work.left);
      height = std::min(height, work.bottom - work.top);
      left = work.left;
      top = work.top;
    }
    renderWindow = CreateWindowExA(WS_EX_TOPMOST, kClassName, title, style, left, top, width,
                                   height, nullptr, nullptr, module, nullptr);
  } else {
    DEVMODEA mode;
    if (!FindDisplayMode(mode)) ShowError("cvn_WinAPI", "Could not set right Resolution");
    // A temporary mode: Windows returns the desktop's own when the program ends in
    // any way, a crash or a kill included.
    ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN);
    modeChanged = true;
    renderWindow = CreateWindowExA(WS_EX_TOPMOST, kClassName, title, WS_POPUP | WS_VISIBLE, 0, 0,
                                   windowWidth, windowHeight, nullptr, nullptr, module, nullptr);
    ShowCursor(FALSE);
  }
  if (!renderWindow) ShowError("cvn_WinAPI", "Window could not be created");
  // When the dialog closed, Windows passed the foreground to the window below it, maybe
  // another program's: without it the run window is active in this program alone and
  // the keys (Escape) go to that other window. The user's last input went to this
  // program's dialog, so Windows lets it take the foreground back.
  SetForegroundWindow(renderWindow);
}

// Motion advances per frame, so a swap that waits for a 60 Hz display would slow the
// whole run. A driver without WGL_EXT_swap_control, or one that refuses, keeps its
// own interval: the run stays correct, its motion then follows the display's rate.
void RequestSwapInterval() {
  auto setInterval = reinterpret_cast<BOOL(WINAPI*)(int)>(GLEntryPoint("wglSwapIntervalEXT"));
  auto getInterval = reinterpret_cast<int(WINAPI*)()>(GLEntryPoint("wglGetSwapIntervalEXT"));
  swapControl.Refused = !setInterval || !setInterval(0);
  // Without the extension the interval cannot be read: -1.
  swapControl.Interval = getInterval ? getInterval() : -1;
}

void SetupPixelFormat() {
  deviceContext = GetDC(renderWindow);
  PIXELFORMATDESCRIPTOR descriptor{};
  descriptor.nSize = sizeof descriptor;
  descriptor.nVersion = 1;
  descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  descriptor.iPixelType = PFD_TYPE_RGBA;
  descriptor.cColorBits = static_cast<BYTE>(windowColorBits);
  descriptor.cDepthBits = 16;
  descriptor.iLayerType = PFD_MAIN_PLANE;
  pixelFormat = static_cast<int16_t>(ChoosePixelFormat(deviceContext, &descriptor));
  if (pixelFormat == 0) ShowError("cvn_WinAPI", "Pixel Format not Available");
  SetPixelFormat(deviceContext, pixelFormat, &descriptor);
  renderContext = wglCreateContext(deviceContext);
  if (!renderContext) ShowError("cvn_WinAPI", "Render Context could not be set");
  wglMakeCurrent(deviceContext, renderContext);
  BindGLEntryPoints();
  RequestSwapInterval();
}

// The picture is always drawn at Width x Height. Where the client area has another
// size (a window larger than the desktop's work area, cut to fit; a mode switch
// the display did not make), it is drawn into a framebuffer object of that size and
// scaled into the client area at each swap, aspect kept, with black bars. Which of
// the two is decided between frames, before the next one is drawn.
PictureFramebuffer picture;  // none: the picture goes straight to the window
int32_t clientWidth = 0;
int32_t clientHeight = 0;
bool clientResized = false;  // a WM_SIZE came since the last fit

void FitPictureToClient() {
  clientResized = false;
  RECT client{};
  GetClientRect(renderWindow, &client);
  clientWidth = client.right - client.left;
  clientHeight = client.bottom - client.top;
  const bool fits = clientWidth == windowWidth && clientHeight == windowHeight;
  // A minimised window (no client area) keeps what it has; a driver without
  // framebuffer objects leaves the picture unscaled.
  if (clientWidth <= 0 || clientHeight <= 0) return;
  if (fits)
    DeletePictureFramebuffer(picture);
  else if (!picture.Framebuffer && HasFramebufferObjects())
    CreatePictureFramebuffer(picture, windowWidth, windowHeight, windowColorBits);
}

// The picture scaled into the middle of the client area, the bars black, then the
// swap; drawing goes on into the picture's framebuffer.
void PresentScaledPicture() {
  BlitPictureScaled(picture, windowWidth, windowHeight, clientWidth, clientHeight);
  SwapBuffers(deviceContext);
  glBindFramebuffer(GL_FRAMEBUFFER, picture.Framebuffer);
}

// The desktop's own display mode again, and the cursor.
void RestoreDisplayMode() {
  if (!modeChanged) return;
  ChangeDisplaySettingsA(nullptr, 0);
  ShowCursor(TRUE);
  modeChanged = false;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      Running = true;
      return 0;
    case WM_DESTROY:
      Running = false;
      return 0;
    case WM_CLOSE:
      SendMessageA(window, WM_DESTROY, 0, 0);
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) SendMessageA(window, WM_DESTROY, 0, 0);
      return 0;
    // No system command is passed on: no screen saver, no monitor power-down, and
    // moving, minimising or closing through the caption or Alt+F4 do nothing.
    case WM_SYSCOMMAND:
      return 0;
    // Only noted here: the fit needs the current context, which the WM_SIZE sent
    // while the window is created or destroyed does not have.
    case WM_SIZE:
      clientResized = true;
      return DefWindowProcA(window, message, wParam, lParam);
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

// When the pictures swapped reach the screen. A window the desktop's compositor (DWM)
// composes is shown at its next composition and the refresh after it; a
// full-screen run at its own mode is not composed, and its picture is on screen when
// the swap returns.
uint32_t picturesSwapped = 0;
Compositing compositing = Compositing::kNone;
double refreshMs = 0;
ShownPictures shownPictures;

// Whether DWM composes the window, asked of dwmapi.dll where Windows has one (not
// linked: it answers E_NOTIMPL or nothing on some systems).
bool DesktopComposes() {
  HMODULE dwm = LoadLibraryA("dwmapi.dll");
  if (!dwm) return false;
  using IsEnabled = HRESULT(WINAPI*)(BOOL*);
  auto isEnabled = reinterpret_cast<IsEnabled>(
      reinterpret_cast<void*>(GetProcAddress(dwm, "DwmIsCompositionEnabled")));
  BOOL enabled = FALSE;
  const bool composes = isEnabled && SUCCEEDED(isEnabled(&enabled)) && enabled;
  FreeLibrary(dwm);
  return composes;
}

void FindCompositing() {
  compositing = !windowFullscreen && DesktopComposes() ? Compositing::kWindows
                                                        : Compositing::kNone;
  DEVMODEA mode{};
  mode.dmSize = sizeof(mode);
  refreshMs = EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode) &&
                      mode.dmDisplayFrequency > 1
                  ? 1000.0 / mode.dmDisplayFrequency
                  : 0;
}

}  // namespace

void SetWindowIdentity(const char*, const uint8_t*, int32_t) {}

void OpenWindow(const char* title, int32_t width, int32_t height, int32_t colorBits,
                bool fullscreen) {
  windowWidth = width;
  windowHeight = height;
  windowColorBits = colorBits;
  windowFullscreen = fullscreen;
  RegisterWindowClass();
  CreateRenderWindow(title);
  SetupPixelFormat();
  FitPictureToClient();
  FindCompositing();
}

void CloseWindow() {
  if (!renderWindow) return;
  DeletePictureFramebuffer(picture);
  wglMakeCurrent(nullptr, nullptr);
  wglDeleteContext(renderContext);
  renderContext = nullptr;
  ReleaseDC(renderWindow, deviceContext);
  deviceContext = nullptr;
  RestoreDisplayMode();
  DestroyWindow(renderWindow);
  renderWindow = nullptr;
}

void DispatchOneEvent() {
  MSG message;
  // Mouse movement is taken and dropped: the production has no mouse input, and a
  // stream of it must not take the frame's one message ahead of a key.
  bool posted;
  do {
    posted = PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);
  } while (posted && (message.message == WM_MOUSEMOVE || message.message == WM_NCMOUSEMOVE));
  if (posted) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  // A new client size, whether its WM_SIZE was posted or sent (sent ones are handled
  // inside PeekMessageA), sets where the next frame is drawn.
  if (clientResized && renderContext) FitPictureToClient();
}

void SwapFrame() {
  if (!renderWindow) return;
  SwappedPicture swap{picturesSwapped + 1, SteadyNowMs(), 0};
  if (picture.Framebuffer)
    PresentScaledPicture();
  else
    SwapBuffers(deviceContext);
  swap.SwapReturnedMs = SteadyNowMs();
  picturesSwapped = swap.Number;
  shownPictures.Note(swap, nullptr, compositing, refreshMs);
}

uint32_t PicturesSwapped() { return picturesSwapped; }

bool TakeShownPicture(uint32_t* number, double* shownMs) {
  return shownPictures.Take(number, shownMs);
}

ShownCounts ShownPictureCounts() { return shownPictures.Counts(); }

void ForEachPictureTarget(void (*draw)(void*), void* context) {
  if (HasFramebufferObjects())
    DrawIntoEachPictureTarget(picture, windowColorBits, draw, context);
  else
    draw(context);
}

void SendDestroy() {
  if (renderWindow)
    SendMessageA(renderWindow, WM_DESTROY, 0, 0);
  else
    Running = false;
}

void Idle() {}

SwapControl SwapInterval() { return swapControl; }

void ShowMessageBox(const char* caption, const char* text) {
  // Every box ends the program: the desktop's mode comes back first, and the window
  // hides so that it never covers the box.
  RestoreDisplayMode();
  if (renderWindow) ShowWindow(renderWindow, SW_HIDE);
  MessageBoxA(nullptr, text, caption, MB_OK);
}

void ShowError(const char* caption, const char* message) {
  ShowMessageBox(caption, message);
  std::exit(0);
}

uint64_t TickCount() { return GetTickCount64(); }

}  // namespace window
