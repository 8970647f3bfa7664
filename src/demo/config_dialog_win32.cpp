// The configuration dialog on Win32: dialog template 108 of the program's resources
// (resources/lumetra.rc) run by DialogBoxParamA; ConfigDialogProc forwards the opening
// and every click to InitConfigDialog and ConfigDialogCommand.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>

#include "demo/config_dialog.h"

namespace demo {

namespace {

constexpr int kConfigTemplate = 108;

DemoSettings* editedSettings = nullptr;

[[noreturn]] void EndProgram(HWND dialog) {
  EndDialog(dialog, 0);
  std::exit(0);
}

// Returns 0 for every message, so the dialog manager does its default handling.
INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      // Owned, yet on the taskbar: the owner is hidden.
      SetWindowLongPtrA(dialog, GWL_EXSTYLE,
                        GetWindowLongPtrA(dialog, GWL_EXSTYLE) | WS_EX_APPWINDOW);
      editedSettings = reinterpret_cast<DemoSettings*>(lParam);
      const ConfigDialogView view = InitConfigDialog(*editedSettings);
      if (view.FullscreenChecked) SendDlgItemMessageA(dialog, FullscreenBox, BM_SETCHECK, 1, 0);
      if (view.TrueColorChecked) SendDlgItemMessageA(dialog, TrueColorBox, BM_SETCHECK, 1, 0);
      if (view.MusicChecked) SendDlgItemMessageA(dialog, MusicBox, BM_SETCHECK, 1, 0);
      for (const Resolution& resolution : Resolutions)
        SendDlgItemMessageA(dialog, ResolutionList, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(resolution.Text));
      // The first item that begins with "640": the list's own prefix search.
      SendDlgItemMessageA(dialog, ResolutionList, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                          reinterpret_cast<LPARAM>("640"));
      break;
    }
    case WM_COMMAND: {
      // A notification sent while the dialog is being built has no settings to edit.
      if (!editedSettings) break;
      // wParam as a whole: only a control's click notification (code 0) counts, and
      // Escape's IDCANCEL (2) is no control of the dialog.
      const int32_t command = wParam <= 0x7fffffff ? static_cast<int32_t>(wParam) : -1;
      const int32_t selected =
          command == GoButton
              ? static_cast<int32_t>(SendDlgItemMessageA(dialog, ResolutionList, CB_GETCURSEL, 0, 0))
              : -1;
      switch (ConfigDialogCommand(*editedSettings, command, selected)) {
        case DialogOutcome::Go:
          EndDialog(dialog, 0);
          break;
        case DialogOutcome::Cancel:
          EndProgram(dialog);
        case DialogOutcome::Stay:
          break;
      }
      break;
    }
    case WM_CLOSE:
      EndProgram(dialog);
    default:
      break;
  }
  return 0;
}

}  // namespace

void RunConfigDialog(DemoSettings& settings) {
  // The dialog's owner: a hidden window of this program that stays for the whole run.
  // When the dialog closes, Windows activates its owner; without one it activates the
  // window below, maybe another program's, which then keeps the keyboard from the run
  // window that opens next.
  static HWND owner = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
  DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kConfigTemplate), owner,
                  ConfigDialogProc, reinterpret_cast<LPARAM>(&settings));
  editedSettings = nullptr;
}

}  // namespace demo
