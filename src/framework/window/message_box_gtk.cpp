// Error box on GTK 3. It draws with its own fonts (no core X fonts needed) and reuses
// the display connection that the configuration dialog left open, so it shows where
// SDL's X11 box cannot.
#include "framework/window/message_box_gtk.h"

#include <gtk/gtk.h>

namespace window {

bool ShowGtkMessageBox(const char* caption, const char* text) {
  if (!gtk_init_check(nullptr, nullptr)) return false;
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                             GTK_BUTTONS_OK, "%s", text);
  gtk_window_set_title(GTK_WINDOW(dialog), caption);
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_dialog_run(GTK_DIALOG(dialog));  // OK, Escape or the close button
  gtk_widget_destroy(dialog);
  while (gtk_events_pending()) gtk_main_iteration();
  return true;
}

}  // namespace window
