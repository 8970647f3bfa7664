// The window unit's second way to show an error box: a GTK message dialog in this
// process, for when SDL cannot draw its own.
#pragma once

namespace window {

// A modal GTK error dialog with the caption, the text and one OK button; returns when
// the user dismisses it. False at once when GTK cannot reach a display.
bool ShowGtkMessageBox(const char* caption, const char* text);

}  // namespace window
