/* Preloaded into the program by the error-box tests: SDL's own message box always
   fails, as it does on an X server without the core fonts it draws with. */
int SDL_ShowSimpleMessageBox(unsigned flags, const char* title, const char* message,
                             void* window) {
  (void)flags;
  (void)title;
  (void)message;
  (void)window;
  return -1;
}
