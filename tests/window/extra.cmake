# The swap-interval request is recorded on its way to SDL (window_test.cpp).
target_link_options(test_window PRIVATE "LINKER:--wrap=SDL_GL_SetSwapInterval")
