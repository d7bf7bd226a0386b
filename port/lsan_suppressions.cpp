// What the leak checker of the sanitizer builds is told not to count: memory
// that libraries keep for the life of the process and never free. The
// checker asks the executable for this list, so every executable of such a
// build compiles this file itself (a library's copy would never be linked in).
//
// fontconfig keeps a few hundred bytes of its start-up, FcFini or not; SDL's
// X11 start connects to the session bus, whose buffers libdbus keeps.
extern "C" __attribute__((used, visibility("default"))) const char *__lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libdbus-1.so\n";
}

// Nor is the table of what was left out printed at every exit.
extern "C" __attribute__((used, visibility("default"))) const char *__lsan_default_options() {
  return "print_suppressions=0";
}
