# The end-to-end runs use the music tests' MP3 maker and need the program built.
target_sources(test_e2e PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/music/tone_mp3.cpp)
target_link_libraries(test_e2e PRIVATE mp3lame)
add_dependencies(test_e2e lumetra)
# A preload that makes SDL's message box fail, so the GTK error box must show.
add_library(no_sdl_box MODULE ${CMAKE_CURRENT_SOURCE_DIR}/e2e/no_sdl_box.c)
add_dependencies(test_e2e no_sdl_box)
target_compile_definitions(test_e2e PRIVATE NO_SDL_BOX_LIBRARY="$<TARGET_FILE:no_sdl_box>")
# Screenshots of the program's window (window_size_test.cpp).
target_link_libraries(test_e2e PRIVATE X11)
# The Wayland runs' keyboard: a virtual keyboard with a full "us" keymap. Without the
# Wayland and xkbcommon development files those runs are skipped.
pkg_check_modules(WL_KEYS IMPORTED_TARGET wayland-client xkbcommon)
find_program(WAYLAND_SCANNER wayland-scanner)
if(WL_KEYS_FOUND AND WAYLAND_SCANNER)
  set(protocol ${CMAKE_CURRENT_SOURCE_DIR}/e2e/wayland/virtual-keyboard-unstable-v1.xml)
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/virtual-keyboard)
  add_custom_command(OUTPUT ${generated}-unstable-v1-client-protocol.h ${generated}-protocol.c
    COMMAND ${WAYLAND_SCANNER} client-header ${protocol} ${generated}-unstable-v1-client-protocol.h
    COMMAND ${WAYLAND_SCANNER} private-code ${protocol} ${generated}-protocol.c
    DEPENDS ${protocol})
  add_executable(wl_keys ${CMAKE_CURRENT_SOURCE_DIR}/e2e/wayland/wl_keys.c ${generated}-protocol.c
    ${generated}-unstable-v1-client-protocol.h)
  target_include_directories(wl_keys PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
  target_link_libraries(wl_keys PRIVATE PkgConfig::WL_KEYS)
  target_compile_options(wl_keys PRIVATE -Wno-unused-parameter)  # listener signatures
  add_dependencies(test_e2e wl_keys)
  target_compile_definitions(test_e2e PRIVATE WL_KEYS_PROGRAM="$<TARGET_FILE:wl_keys>")
endif()
# A native Wayland window's presentation reports, checked by a program of its own.
add_executable(present_probe ${CMAKE_CURRENT_SOURCE_DIR}/e2e/wayland/present_probe.cpp)
target_link_libraries(present_probe PRIVATE corvane)
add_dependencies(test_e2e present_probe)
target_compile_definitions(test_e2e PRIVATE PRESENT_PROBE_PROGRAM="$<TARGET_FILE:present_probe>")
