// The configuration dialog on GTK 3: builds the window from the compiled-in layout
// and forwards every click to ConfigDialogCommand. Linked into the program only.
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "demo/config_dialog.h"
#include "framework/window/window.h"

namespace demo {

namespace {

struct DialogRun {
  DemoSettings* Settings;
  GtkComboBox* ResolutionCombo;
  std::array<GtkWidget*, 6> TabOrder;
  DialogOutcome Outcome = DialogOutcome::Stay;
};

int32_t ControlId(GtkWidget* widget) { return std::atoi(gtk_widget_get_name(widget)); }

void Forward(DialogRun* run, int32_t command) {
  DialogOutcome outcome = ConfigDialogCommand(*run->Settings, command,
                                              gtk_combo_box_get_active(run->ResolutionCombo));
  if (outcome != DialogOutcome::Stay) run->Outcome = outcome;
}

void OnClicked(GtkWidget* widget, gpointer data) {
  Forward(static_cast<DialogRun*>(data), ControlId(widget));
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  static_cast<DialogRun*>(data)->Outcome = DialogOutcome::Cancel;
  return TRUE;  // the window is destroyed below, not by the default handler
}

// SIGTERM or SIGINT while the dialog is up: as Cancel, the program ends with 0.
gboolean OnTerminate(gpointer data) {
  static_cast<DialogRun*>(data)->Outcome = DialogOutcome::Cancel;
  return G_SOURCE_CONTINUE;
}

// The control of the layout that holds the focus (the combo box's inner button
// counts as the list), or nullptr.
GtkWidget* FocusedControl(GtkWidget* window, const DialogRun& run) {
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
  if (!focus) return nullptr;
  for (GtkWidget* control : run.TabOrder) {
    if (focus == control || gtk_widget_is_ancestor(focus, control)) return control;
  }
  return nullptr;
}

gboolean OnKeyPress(GtkWidget* window, GdkEventKey* event, gpointer data) {
  auto* run = static_cast<DialogRun*>(data);
  const guint key = event->keyval;
  // Enter on the resolution list or a check box starts the run as "Go!" does (on the
  // buttons it presses the button). An open list menu has the keyboard to itself, so
  // there Enter still picks the highlighted item.
  if (key == GDK_KEY_Return || key == GDK_KEY_KP_Enter || key == GDK_KEY_ISO_Enter) {
    GtkWidget* control = FocusedControl(window, *run);
    if (!control || ControlId(control) == GoButton || ControlId(control) == CancelButton)
      return FALSE;
    Forward(run, GoButton);
    return TRUE;
  }
  // Tab and Shift+Tab cycle through the controls in the layout's order. GTK's own
  // spatial ordering gets stuck on the combo box inside a fixed layout.
  const bool forward = key == GDK_KEY_Tab;
  const bool backward =
      key == GDK_KEY_ISO_Left_Tab || (key == GDK_KEY_Tab && (event->state & GDK_SHIFT_MASK));
  if (!forward && !backward) return FALSE;
  const auto& order = run->TabOrder;
  GtkWidget* focus = FocusedControl(window, *run);
  size_t current = 0;
  for (size_t i = 0; i < order.size(); ++i) {
    if (focus == order[i]) current = i;
  }
  const size_t next = backward ? (current + order.size() - 1) % order.size()
                               : (current + 1) % order.size();
  gtk_widget_grab_focus(order[next]);
  return TRUE;
}

GtkWidget* Widget(GtkBuilder* builder, const char* id) {
  return GTK_WIDGET(gtk_builder_get_object(builder, id));
}

// The desktop entry's name (org.lumetra.lumetra.desktop) and StartupWMClass: the
// dialog's and the window's class, by which docks tie both to the menu entry.
constexpr char AppId[] = "org.lumetra.lumetra";

// The program's class for the dialog and the window, and its icon for the window.
void SetProgramIdentity() {
  g_set_prgname(AppId);
  GdkPixbuf* icon = gdk_pixbuf_new_from_resource("/org/lumetra/lumetra.png", nullptr);
  if (!icon || gdk_pixbuf_get_n_channels(icon) != 4 ||
      gdk_pixbuf_get_width(icon) != gdk_pixbuf_get_height(icon)) {
    window::SetWindowIdentity(AppId, nullptr, 0);
    if (icon) g_object_unref(icon);
    return;
  }
  const int size = gdk_pixbuf_get_width(icon), stride = gdk_pixbuf_get_rowstride(icon);
  const guchar* pixels = gdk_pixbuf_read_pixels(icon);
  std::vector<uint8_t> rgba(size_t(size) * size * 4);
  for (int y = 0; y < size; ++y)
    std::copy(pixels + size_t(y) * stride, pixels + size_t(y) * stride + size * 4,
              rgba.begin() + size_t(y) * size * 4);
  window::SetWindowIdentity(AppId, rgba.data(), size);
  g_object_unref(icon);
}

bool HaveDisplay() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

}  // namespace

void RunConfigDialog(DemoSettings& settings) {
  SetProgramIdentity();
  if (!HaveDisplay()) return;
  if (!gtk_init_check(nullptr, nullptr)) {
    // A display is named but GTK cannot reach it: the run goes on with the defaults,
    // and says why there was no dialog.
    std::fprintf(stderr, "Config: the dialog cannot open on this display; using the defaults\n");
    return;
  }
  gdk_set_program_class(AppId);  // after GTK's start, which sets its own

  GtkBuilder* builder = gtk_builder_new_from_resource("/org/lumetra/config.ui");
  GtkWidget* window = Widget(builder, "config");
  GtkWidget* go = Widget(builder, "99");
  GtkWidget* cancel = Widget(builder, "98");
  GtkWidget* combo = Widget(builder, "50");
  GtkWidget* fullscreen = Widget(builder, "71");
  GtkWidget* trueColor = Widget(builder, "72");
  GtkWidget* music = Widget(builder, "73");

  if (GdkPixbuf* icon = gdk_pixbuf_new_from_resource("/org/lumetra/lumetra.png", nullptr)) {
    gtk_window_set_icon(GTK_WINDOW(window), icon);
    g_object_unref(icon);
  }
  gtk_window_move(GTK_WINDOW(window), 200, 200);

  // Initial state first, so that setting it does not count as clicks.
  const ConfigDialogView view = InitConfigDialog(settings);
  if (view.FullscreenChecked) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(fullscreen), TRUE);
  if (view.TrueColorChecked) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(trueColor), TRUE);
  if (view.MusicChecked) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(music), TRUE);
  for (const Resolution& r : Resolutions)
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), r.Text);
  gtk_combo_box_set_active(GTK_COMBO_BOX(combo), view.SelectedResolution);

  DialogRun run{&settings, GTK_COMBO_BOX(combo), {go, cancel, combo, fullscreen, trueColor, music}};
  for (GtkWidget* button : {go, cancel}) g_signal_connect(button, "clicked", G_CALLBACK(OnClicked), &run);
  for (GtkWidget* box : {fullscreen, trueColor, music})
    g_signal_connect(box, "toggled", G_CALLBACK(OnClicked), &run);
  // A plain window (not a GtkDialog) has no Escape binding, so Escape does nothing.
  g_signal_connect(window, "delete-event", G_CALLBACK(OnDelete), &run);

  g_signal_connect(window, "key-press-event", G_CALLBACK(OnKeyPress), &run);
  // GLib puts the default handlers back when these sources go, so the window unit's
  // own handling of the signals applies after the dialog.
  const guint terminate = g_unix_signal_add(SIGTERM, OnTerminate, &run);
  const guint interrupt = g_unix_signal_add(SIGINT, OnTerminate, &run);

  gtk_widget_show_all(window);
  // Enter activates "Go!": it is the default widget and has the focus.
  gtk_widget_grab_default(go);
  gtk_widget_grab_focus(go);

  while (run.Outcome == DialogOutcome::Stay) gtk_main_iteration();
  g_source_remove(terminate);
  g_source_remove(interrupt);

  gtk_widget_destroy(window);
  g_object_unref(builder);
  while (gtk_events_pending()) gtk_main_iteration();

  if (run.Outcome == DialogOutcome::Cancel) std::exit(0);
}

}  // namespace demo
