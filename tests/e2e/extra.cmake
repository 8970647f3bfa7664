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
