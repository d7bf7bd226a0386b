// The SDL2 display: the program's real window.
//
// Without a GPU a present blits the flushed rectangle of the RGB565 screen
// straight into the window's own surface, which keeps what was shown, and
// only that rectangle reaches the window system (a software GL would load
// tens of megabytes to show one texture and send the whole window every
// time); an expose sends the window surface again, and a new window size
// (a new surface) gets the whole screen. With a GPU what was flushed is kept
// in a mirror, a streaming texture that the renderer draws whole, which it
// does on the GPU; an expose or a new window size draws the whole mirror, and
// a reset of the GPU's targets or device (the texture's pixels undefined)
// fills the mirror again from the whole screen. A window shown again or
// restored counts as exposed: not every window system sends an expose then.
// On X11 a lost connection to the X server is not Xlib's exit but a loss
// the display reports (os_display_lost): the program ends through its exit
// hook, and SDL, whose every call would talk to a dead connection, is left
// alone from then on.
#include <SDL.h>
#include <SDL_syswm.h>
#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "os_display.h"
#include "port_log.h"
#include "tbitmap.h"
#include "trect.h"

namespace {

struct sdl_state {
  SDL_Window *window = nullptr;
  int use_surface = 0;             // without a GPU: presents go through the window surface
  SDL_Surface *source = nullptr;   // a view of the screen bitmap's pixels, made anew when they move
  SDL_Renderer *renderer = nullptr;
  SDL_Texture *texture = nullptr;  // with a GPU: the mirror
  int32_t texture_width = 0, texture_height = 0;
  int keeps_target = 0;  // the render target keeps its pixels between presents
  // The mirror (the window surface, or the texture) does not hold the whole
  // screen: the next present copies all of it, and an expose has nothing to show.
  int mirror_lost = 1;
  int target_lost = 1;  // with a GPU: the next present draws the whole mirror
  int presented = 0;    // the program has shown its screen (before that an expose waits for it)
  int finger_down = 0;
  SDL_FingerID finger = 0;
};
sdl_state g_sdl;
// Read by posting threads: the event that wakes a wait, and whether one is
// already on its way (posts between two polls share one wake-up).
std::atomic<uint32_t> g_wake_event{0};
std::atomic<int> g_wake_pending{0};
// Set (1) by Xlib's handler, inside whatever SDL call met the broken
// connection; 2 once the display is dropped.
std::atomic<int> g_x_lost{0};

int sdl_open(int32_t width, int32_t height, const char *title, char *error, int error_size);
void sdl_close();
void sdl_get_size(int32_t *width, int32_t *height);
void sdl_set_size(int32_t width, int32_t height);
int sdl_present(const tbitmap *screen, const trect *rect);
int sdl_expose();
void sdl_show(int visible);
void sdl_raise();
void sdl_poll();
void sdl_wait(uint32_t timeout_ms);
void sdl_wake();
void watch_x_connection();
int on_x_io_error(Display *display);
void on_x_connection_lost(Display *display, void *user_data);
int dropped_if_lost();

const os_display_backend k_sdl = {
    "sdl",      sdl_open, sdl_close, sdl_get_size, sdl_set_size, sdl_present,
    sdl_expose, sdl_show, sdl_raise, sdl_poll,     sdl_wait,     sdl_wake,
};

int init_video(char *error, int error_size);
int has_gpu();
void show_fatal_box(const char *caption, const char *text);
int present_frame(const tbitmap *screen, const trect *rect);
void signal_first_frame();
int present_surface(const tbitmap *screen, const trect *rect);
int blit_screen(const tbitmap *screen, const SDL_Rect *area, SDL_Surface *target);
int draw_mirror(const SDL_Rect *area);
void lose_window_copy();
void lose_texture(int destroy);
void translate(const SDL_Event *event);
uint32_t virtual_key_of(SDL_Keycode key);
int control_char_of(SDL_Keycode key);

}  // namespace

const os_display_backend *os_display_sdl_backend() { return &k_sdl; }

int os_display_sdl_alert(const char *caption, const char *text) {
  if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr) == 0) return 1;
  // A driver without a window system (asked for by tests) has nowhere else to show it.
  const char *wanted = std::getenv("SDL_VIDEODRIVER");
  return wanted && (!std::strcmp(wanted, "offscreen") || !std::strcmp(wanted, "dummy"));
}

namespace {

int sdl_open(int32_t width, int32_t height, const char *title, char *error, int error_size) {
  // SIGTERM and SIGINT are the port's to take (as a close of the window).
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  g_x_lost.store(0);
  if (!init_video(error, error_size)) return 0;
  const char *driver = SDL_GetCurrentVideoDriver();
  int offscreen = driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy"));
  int use_surface = offscreen || !has_gpu();
  // The window surface must be the window system's own, not a texture of a
  // renderer that SDL would make behind it.
  if (use_surface) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  g_sdl = sdl_state();
  g_sdl.window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                                  SDL_WINDOW_RESIZABLE);
  if (g_sdl.window && use_surface) {
    g_sdl.use_surface = 1;
    if (!SDL_GetWindowSurface(g_sdl.window)) {
      std::snprintf(error, size_t(error_size), "%s", SDL_GetError());
      sdl_close();
      return 0;
    }
  } else if (g_sdl.window) {
    g_sdl.renderer = SDL_CreateRenderer(g_sdl.window, -1, 0);
    if (!g_sdl.renderer) g_sdl.renderer = SDL_CreateRenderer(g_sdl.window, -1, SDL_RENDERER_SOFTWARE);
  }
  if (!g_sdl.renderer && !g_sdl.use_surface) {
    std::snprintf(error, size_t(error_size), "%s", SDL_GetError());
    sdl_close();
    return 0;
  }
  SDL_RendererInfo info;
  if (g_sdl.renderer && SDL_GetRendererInfo(g_sdl.renderer, &info) == 0)
    g_sdl.keeps_target = (info.flags & SDL_RENDERER_SOFTWARE) != 0;
  SDL_SetWindowMinimumSize(g_sdl.window, OS_DISPLAY_MIN_SIDE, OS_DISPLAY_MIN_SIDE);
  SDL_SetWindowMaximumSize(g_sdl.window, OS_DISPLAY_MAX_SIDE, OS_DISPLAY_MAX_SIDE);
  uint32_t wake_event = SDL_RegisterEvents(1);
  g_wake_event.store(wake_event == uint32_t(-1) ? 0 : wake_event);
  g_wake_pending.store(0);
  watch_x_connection();
  // Text input stays on: the canvas takes letters as commands.
  SDL_StartTextInput();
  // A box needs a window system; the offscreen drivers have none to show it.
  if (!offscreen) port_log_set_box_hook(show_fatal_box);
  return 1;
}

void sdl_close() {
  port_log_set_box_hook(nullptr);
  g_wake_event.store(0);
  if (g_sdl.texture) SDL_DestroyTexture(g_sdl.texture);
  if (g_sdl.renderer) SDL_DestroyRenderer(g_sdl.renderer);
  if (g_sdl.source) SDL_FreeSurface(g_sdl.source);
  if (g_sdl.window) SDL_DestroyWindow(g_sdl.window);
  g_sdl = sdl_state();
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  SDL_Quit();
}

void sdl_get_size(int32_t *width, int32_t *height) {
  int w = 0, h = 0;
  if (g_sdl.window) SDL_GetWindowSize(g_sdl.window, &w, &h);
  *width = w;
  *height = h;
}

void sdl_set_size(int32_t width, int32_t height) {
  int w = 0, h = 0;
  SDL_GetWindowSize(g_sdl.window, &w, &h);
  if (w == width && h == height) return;
  SDL_SetWindowSize(g_sdl.window, width, height);
  lose_window_copy();
  dropped_if_lost();
}

int sdl_present(const tbitmap *screen, const trect *rect) {
  int shown = present_frame(screen, rect);
  if (dropped_if_lost()) return 0;
  if (shown) {
    g_sdl.presented = 1;
    signal_first_frame();
  }
  return shown;
}

int present_frame(const tbitmap *screen, const trect *rect) {
  if (g_sdl.use_surface) return present_surface(screen, rect);
  int32_t width = tbitmap_get_width(screen), height = tbitmap_get_height(screen);
  if (!g_sdl.texture || g_sdl.texture_width != width || g_sdl.texture_height != height) {
    lose_texture(1);
    g_sdl.texture =
        SDL_CreateTexture(g_sdl.renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!g_sdl.texture) return 0;
    g_sdl.texture_width = width;
    g_sdl.texture_height = height;
  }
  const trect all = {0, 0, width - 1, height - 1};
  if (g_sdl.mirror_lost) rect = &all;
  SDL_Rect area = {rect->x1, rect->y1, rect->x2 - rect->x1 + 1, rect->y2 - rect->y1 + 1};
  int stride = int(tbitmap_get_stride(screen));
  if (tbitmap_is_top_down(screen)) {
    SDL_UpdateTexture(g_sdl.texture, &area, tbitmap_get_pixel_ptr(screen, rect->x1, rect->y1), stride);
  } else {
    for (int32_t y = rect->y1; y <= rect->y2; y++) {
      SDL_Rect row = {rect->x1, y, area.w, 1};
      SDL_UpdateTexture(g_sdl.texture, &row, tbitmap_get_pixel_ptr(screen, rect->x1, y), stride);
    }
  }
  g_sdl.mirror_lost = 0;
  return draw_mirror(&area);
}

// A window surface that SDL has made anew (for a new window size) refuses
// the update: that mirror is lost too.
int sdl_expose() {
  if (!g_sdl.presented) return 1;
  int shown = !g_sdl.mirror_lost &&
              (g_sdl.use_surface ? SDL_UpdateWindowSurface(g_sdl.window) == 0 : draw_mirror(nullptr));
  if (dropped_if_lost()) return 1;
  if (!shown) g_sdl.mirror_lost = 1;
  return shown;
}

void sdl_show(int visible) {
  if (visible)
    SDL_ShowWindow(g_sdl.window);
  else
    SDL_HideWindow(g_sdl.window);
  dropped_if_lost();
}

void sdl_raise() {
  SDL_ShowWindow(g_sdl.window);
  SDL_RaiseWindow(g_sdl.window);
  dropped_if_lost();
}

void sdl_poll() {
  g_wake_pending.store(0);
  SDL_Event event;
  while (!g_x_lost.load() && SDL_PollEvent(&event)) translate(&event);
  dropped_if_lost();
}

void sdl_wait(uint32_t timeout_ms) {
  SDL_WaitEventTimeout(nullptr, int(timeout_ms));
  dropped_if_lost();
}

void sdl_wake() {
  uint32_t wake_event = g_wake_event.load();
  if (!wake_event || g_wake_pending.exchange(1)) return;
  SDL_Event event;
  std::memset(&event, 0, sizeof event);
  event.type = wake_event;
  SDL_PushEvent(&event);
}

// Xlib's own answer to a broken connection is exit(), from inside whatever
// call met it: no exit hook, nothing kept. Its default I/O error handler
// exits at once; one that returns lets Xlib call the display's exit handler
// (libX11 1.8), which is ours: it returns too, and from then on the
// display's calls do nothing.
void watch_x_connection() {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(g_sdl.window, &info) || info.subsystem != SDL_SYSWM_X11 || !info.info.x11.display) return;
  XSetIOErrorHandler(on_x_io_error);
  XSetIOErrorExitHandler(info.info.x11.display, on_x_connection_lost, nullptr);
}

// Any connection's. The only other one, a screen capture's, sets an exit
// handler of its own that returns too: the capture gives no picture, and the
// program ends when its window's connection meets the loss.
int on_x_io_error(Display *display) {
  (void)display;
  return 0;
}

void on_x_connection_lost(Display *display, void *user_data) {
  (void)display;
  (void)user_data;
  g_x_lost.store(1);
}

// After a loss SDL's window, renderer and video subsystem are forgotten, not
// freed: freeing them talks to the X server (SDL keeps them reachable). The
// view of the screen's pixels is SDL's memory only. Returns 1 when the
// display was dropped.
int dropped_if_lost() {
  int expected = 1;
  if (!g_x_lost.compare_exchange_strong(expected, 2)) return 0;
  port_log_set_box_hook(nullptr);
  g_wake_event.store(0);
  if (g_sdl.source) SDL_FreeSurface(g_sdl.source);
  g_sdl = sdl_state();
  std::fprintf(stderr, "brivola: the display went away; ending\n");
  os_display_lost();
  return 1;
}

// SDL falls back to its offscreen driver when no window system answers; for
// the program that is "no display" unless SDL_VIDEODRIVER asks for it (tests).
// Wayland is not tried without a runtime folder, where it cannot connect.
int init_video(char *error, int error_size) {
  const char *wanted = std::getenv("SDL_VIDEODRIVER");
  if (wanted && *wanted) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return 1;
    std::snprintf(error, size_t(error_size), "%s", SDL_GetError());
    return 0;
  }
  const char *runtime_dir = std::getenv("XDG_RUNTIME_DIR");
  for (int i = 0; i < SDL_GetNumVideoDrivers(); i++) {
    const char *name = SDL_GetVideoDriver(i);
    if (!name || !std::strcmp(name, "offscreen") || !std::strcmp(name, "dummy") || !std::strcmp(name, "evdev"))
      continue;
    if (!std::strcmp(name, "wayland") && !(runtime_dir && *runtime_dir)) continue;
    SDL_SetHint(SDL_HINT_VIDEODRIVER, name);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return 1;
  }
  SDL_SetHint(SDL_HINT_VIDEODRIVER, nullptr);
  const char *x_display = std::getenv("DISPLAY"), *wayland_display = std::getenv("WAYLAND_DISPLAY");
  if (x_display && *x_display)
    std::snprintf(error, size_t(error_size), "the display \"%s\" (DISPLAY) could not be opened", x_display);
  else if (wayland_display && *wayland_display)
    std::snprintf(error, size_t(error_size), "the display \"%s\" (WAYLAND_DISPLAY) could not be opened",
                  wayland_display);
  else
    std::snprintf(error, size_t(error_size), "no display found (DISPLAY and WAYLAND_DISPLAY are not set)");
  return 0;
}

// A render node is what a GPU driver offers; software GL is asked for by name.
int has_gpu() {
  const char *software = std::getenv("LIBGL_ALWAYS_SOFTWARE");
  if (software && *software && std::strcmp(software, "0") != 0) return 0;
  DIR *dri = opendir("/dev/dri");
  if (!dri) return 0;
  int found = 0;
  while (dirent *entry = readdir(dri))
    if (!std::strncmp(entry->d_name, "renderD", 7)) found = 1;
  closedir(dri);
  return found;
}

void show_fatal_box(const char *caption, const char *text) {
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr);
}

// Whoever started the program may ask to learn when its first frame reached
// the window system (the start-up benchmark times exec to it): the
// descriptor named by BRIVOLA_FRAME_FD gets one byte then and is closed.
void signal_first_frame() {
  static bool signalled = false;
  if (signalled) return;
  signalled = true;
  const char *text = std::getenv("BRIVOLA_FRAME_FD");
  if (!text || !*text) return;
  char *end = nullptr;
  long fd = std::strtol(text, &end, 10);
  if (*end || fd < 3 || fd > 1024) return;
  const char byte = 1;
  ssize_t written = write(int(fd), &byte, 1);
  (void)written;
  close(int(fd));
}

// Blits rect of the screen into the window surface (after a new window size:
// the whole screen, on black) and sends that rectangle to the window system.
int present_surface(const tbitmap *screen, const trect *rect) {
  SDL_Surface *target = SDL_GetWindowSurface(g_sdl.window);
  if (!target) return 0;
  int32_t width = tbitmap_get_width(screen), height = tbitmap_get_height(screen);
  SDL_Rect area = {rect->x1, rect->y1, rect->x2 - rect->x1 + 1, rect->y2 - rect->y1 + 1};
  const bool whole = g_sdl.mirror_lost;
  if (whole) {
    SDL_FillRect(target, nullptr, SDL_MapRGB(target->format, 0, 0, 0));
    area = {0, 0, width, height};
  }
  if (!blit_screen(screen, &area, target)) return 0;
  g_sdl.mirror_lost = 0;
  return (whole ? SDL_UpdateWindowSurface(g_sdl.window) : SDL_UpdateWindowSurfaceRects(g_sdl.window, &area, 1)) == 0;
}

// The screen's pixels are blitted where they lie, through a surface that
// views them (kept while they stay put); a bottom-up screen goes a row at a
// time.
int blit_screen(const tbitmap *screen, const SDL_Rect *area, SDL_Surface *target) {
  int32_t width = tbitmap_get_width(screen), height = tbitmap_get_height(screen);
  int pitch = int(tbitmap_get_stride(screen));
  if (!tbitmap_is_top_down(screen)) {
    for (int32_t y = area->y; y < area->y + area->h; y++) {
      SDL_Surface *row = SDL_CreateRGBSurfaceWithFormatFrom(tbitmap_get_pixel_ptr(screen, area->x, y), area->w, 1, 16,
                                                            pitch, SDL_PIXELFORMAT_RGB565);
      SDL_Rect to = {area->x, y, area->w, 1};
      int failed = !row || SDL_BlitSurface(row, nullptr, target, &to) != 0;
      SDL_FreeSurface(row);
      if (failed) return 0;
    }
    return 1;
  }
  uint8_t *pixels = tbitmap_get_row(screen, 0);
  SDL_Surface *source = g_sdl.source;
  if (!source || source->pixels != pixels || source->w != width || source->h != height || source->pitch != pitch) {
    SDL_FreeSurface(source);
    g_sdl.source = source = SDL_CreateRGBSurfaceWithFormatFrom(pixels, width, height, 16, pitch, SDL_PIXELFORMAT_RGB565);
    if (!source) return 0;
  }
  SDL_Rect from = *area, to = *area;
  return SDL_BlitSurface(source, &from, target, &to) == 0;
}

// Draws area of the mirror (null: all of it) at the same place and shows it.
int draw_mirror(const SDL_Rect *area) {
  if (g_sdl.target_lost || !g_sdl.keeps_target || !area) {
    SDL_SetRenderDrawColor(g_sdl.renderer, 0, 0, 0, 255);
    SDL_RenderClear(g_sdl.renderer);
    SDL_Rect whole = {0, 0, g_sdl.texture_width, g_sdl.texture_height};
    SDL_RenderCopy(g_sdl.renderer, g_sdl.texture, &whole, &whole);
    g_sdl.target_lost = 0;
  } else {
    SDL_RenderCopy(g_sdl.renderer, g_sdl.texture, area, area);
  }
  SDL_RenderPresent(g_sdl.renderer);
  return 1;
}

// A new window size: a new window surface holds nothing, nor does a GPU's
// back buffer (the texture keeps the screen).
void lose_window_copy() {
  if (g_sdl.use_surface)
    g_sdl.mirror_lost = 1;
  else
    g_sdl.target_lost = 1;
}

// The texture's pixels are undefined (a reset of the render targets), or
// the texture itself is gone with its device (destroy).
void lose_texture(int destroy) {
  g_sdl.mirror_lost = 1;
  g_sdl.target_lost = 1;
  if (!destroy || !g_sdl.texture) return;
  SDL_DestroyTexture(g_sdl.texture);
  g_sdl.texture = nullptr;
  g_sdl.texture_width = g_sdl.texture_height = 0;
}

void translate(const SDL_Event *event) {
  switch (event->type) {
    case SDL_QUIT:
      os_input_close();
      break;
    case SDL_WINDOWEVENT:
      switch (event->window.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          lose_window_copy();
          os_input_display_changed();
          break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_RESTORED:
          os_input_expose();
          break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          os_input_activate(1);
          break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          os_input_activate(0);
          break;
        default:
          break;
      }
      break;
    case SDL_RENDER_TARGETS_RESET:
    case SDL_RENDER_DEVICE_RESET:
      if (g_sdl.renderer) {
        lose_texture(event->type == SDL_RENDER_DEVICE_RESET);
        os_input_expose();
      }
      break;
    // Touch is taken from the finger events; SDL's mouse copies of them are skipped.
    case SDL_MOUSEBUTTONDOWN:
      if (event->button.button == SDL_BUTTON_LEFT && event->button.which != SDL_TOUCH_MOUSEID)
        os_input_pen(OS_PEN_DOWN, event->button.x, event->button.y, event->button.clicks >= 2);
      break;
    case SDL_MOUSEBUTTONUP:
      if (event->button.button == SDL_BUTTON_LEFT && event->button.which != SDL_TOUCH_MOUSEID)
        os_input_pen(OS_PEN_UP, event->button.x, event->button.y, 0);
      break;
    case SDL_MOUSEMOTION:
      if (event->motion.which != SDL_TOUCH_MOUSEID) os_input_pen(OS_PEN_MOVE, event->motion.x, event->motion.y, 0);
      break;
    case SDL_FINGERDOWN:
    case SDL_FINGERMOTION:
    case SDL_FINGERUP: {
      // One finger is the pen; the others are ignored until it lifts.
      if (event->type == SDL_FINGERDOWN && !g_sdl.finger_down) {
        g_sdl.finger_down = 1;
        g_sdl.finger = event->tfinger.fingerId;
      } else if (!g_sdl.finger_down || event->tfinger.fingerId != g_sdl.finger) {
        break;
      }
      int w = 0, h = 0;
      SDL_GetWindowSize(g_sdl.window, &w, &h);
      int32_t x = int32_t(event->tfinger.x * float(w)), y = int32_t(event->tfinger.y * float(h));
      int type = event->type == SDL_FINGERDOWN ? OS_PEN_DOWN : event->type == SDL_FINGERUP ? OS_PEN_UP : OS_PEN_MOVE;
      if (type == OS_PEN_UP) g_sdl.finger_down = 0;
      os_input_pen(type, x, y, 0);
      break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      int down = event->type == SDL_KEYDOWN;
      uint32_t vk = virtual_key_of(event->key.keysym.sym);
      if (vk) os_input_key(vk, down, 1);
      // Control characters come as chars too, as the window system makes them.
      int ch = control_char_of(event->key.keysym.sym);
      if (down && ch) os_input_char(char16_t(ch));
      break;
    }
    case SDL_TEXTINPUT:
      os_input_text(event->text.text);
      break;
    default:
      break;
  }
}

uint32_t virtual_key_of(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return uint32_t('A' + (key - SDLK_a));
  if (key >= SDLK_0 && key <= SDLK_9) return uint32_t('0' + (key - SDLK_0));
  if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + uint32_t(key - SDLK_F1);
  switch (key) {
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_END: return VK_END;
    case SDLK_HOME: return VK_HOME;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    default: return 0;
  }
}

int control_char_of(SDL_Keycode key) {
  switch (key) {
    case SDLK_BACKSPACE: return 8;
    case SDLK_TAB: return 9;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return 13;
    case SDLK_ESCAPE: return 27;
    default: return 0;
  }
}

}  // namespace
