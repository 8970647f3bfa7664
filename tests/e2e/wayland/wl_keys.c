// A persistent virtual keyboard with xkbcommon's full "us" keymap, so that a client's
// own key bindings (GTK's space, arrows) work as with a real keyboard. Prints "ready"
// once the seat has a keyboard (keys sent before are lost), then types each line of
// key names read on standard input ("Tab space shift+Tab Return") and answers "ok".
#define _GNU_SOURCE
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include "virtual-keyboard-unstable-v1-client-protocol.h"

static struct wl_seat* seat;
static struct zwp_virtual_keyboard_manager_v1* manager;
static int seatHasKeyboard;

static void SeatCapabilities(void* data, struct wl_seat* s, uint32_t capabilities) {
  seatHasKeyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
}
static void SeatName(void* data, struct wl_seat* s, const char* name) {}
static const struct wl_seat_listener seatListener = {SeatCapabilities, SeatName};

static void Global(void* data, struct wl_registry* registry, uint32_t name,
                   const char* interface, uint32_t version) {
  if (!seat && strcmp(interface, wl_seat_interface.name) == 0) {
    seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
    wl_seat_add_listener(seat, &seatListener, NULL);
  } else if (strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
    manager = wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1);
  }
}
static void GlobalRemove(void* data, struct wl_registry* registry, uint32_t name) {}
static const struct wl_registry_listener registryListener = {Global, GlobalRemove};

// The first key whose first level holds the wanted symbol.
struct Lookup {
  xkb_keysym_t sym;
  xkb_keycode_t code;
};
static void FindKey(struct xkb_keymap* keymap, xkb_keycode_t code, void* data) {
  struct Lookup* lookup = data;
  const xkb_keysym_t* syms;
  int count = xkb_keymap_key_get_syms_by_level(keymap, code, 0, 0, &syms);
  for (int i = 0; i < count && !lookup->code; ++i)
    if (syms[i] == lookup->sym) lookup->code = code;
}

static uint32_t NowMs(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (uint32_t)(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

int main(void) {
  struct wl_display* display = wl_display_connect(NULL);
  if (!display) return fprintf(stderr, "wl_keys: no Wayland display\n"), 1;
  wl_registry_add_listener(wl_display_get_registry(display), &registryListener, NULL);
  wl_display_roundtrip(display);
  if (!seat || !manager) return fprintf(stderr, "wl_keys: no seat or virtual keyboards\n"), 1;

  struct xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  struct xkb_rule_names names = {.layout = "us"};
  struct xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, 0);
  if (!keymap) return fprintf(stderr, "wl_keys: no \"us\" keymap\n"), 1;
  char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
  size_t size = strlen(text) + 1;
  int fd = memfd_create("keymap", MFD_CLOEXEC);
  if (fd < 0 || write(fd, text, size) != (ssize_t)size) return 1;
  struct zwp_virtual_keyboard_v1* keyboard =
      zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, seat);
  zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, size);
  while (!seatHasKeyboard)
    if (wl_display_dispatch(display) < 0) return 1;
  puts("ready");
  fflush(stdout);

  const uint32_t shift = 1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT);
  char line[4096];
  while (fgets(line, sizeof line, stdin)) {
    for (char* word = strtok(line, " \t\n"); word; word = strtok(NULL, " \t\n")) {
      uint32_t mods = strncmp(word, "shift+", 6) == 0 ? shift : 0;
      struct Lookup lookup = {xkb_keysym_from_name(mods ? word + 6 : word, 0), 0};
      xkb_keymap_key_for_each(keymap, FindKey, &lookup);
      if (!lookup.code) {
        fprintf(stderr, "wl_keys: no key for %s\n", word);
        continue;
      }
      // Evdev codes: xkb's keycodes less 8.
      zwp_virtual_keyboard_v1_modifiers(keyboard, mods, 0, 0, 0);
      zwp_virtual_keyboard_v1_key(keyboard, NowMs(), lookup.code - 8, WL_KEYBOARD_KEY_STATE_PRESSED);
      zwp_virtual_keyboard_v1_key(keyboard, NowMs(), lookup.code - 8, WL_KEYBOARD_KEY_STATE_RELEASED);
      zwp_virtual_keyboard_v1_modifiers(keyboard, 0, 0, 0, 0);
      wl_display_roundtrip(display);
      usleep(120000);  // one key at a time, as a person types
    }
    puts("ok");
    fflush(stdout);
  }
  return 0;
}
