// port_device: small services over the device: display size and depth,
// ticks and time, random numbers, integer helpers, the camera stand-in,
// handing files and addresses to the desktop, and the device identity.
//
// A launch runs its program on a thread of its own, so that the GUI thread
// goes on while the program (a browser that xdg-open waits for) runs; its
// answer comes back to the GUI thread through an active object. Launches
// still running at tear-down report to no one.
//
// The identity lives in "sn.dat" in the user folder: 15 ASCII digits, no
// terminator, no line end. It is made once and reused; a file that is short
// or holds anything but digits is made again.
//
// | offset | size | field                  |
// |--------|------|------------------------|
// | 0      | 15   | the identity, '0'..'9' |
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int PORT_DEVICE_RANDOM_MAX = 32767;
constexpr int PORT_DEVICE_SERIAL_CHARS = 15;
constexpr int PORT_DEVICE_PATH_CHARS = 260;

// Returns 1.
int port_device_get_screen_size(int32_t *width, int32_t *height);
// Bits per pixel of the display: 16.
int port_device_get_screen_depth();
// Logical dots per inch: 96 for the small and normal screen classes, 192 for
// the large one (both sides at least 480).
int port_device_get_dpi();
uint32_t port_device_get_ticks();
// Seconds since 1970-01-01 UTC, also stored through a non-null out.
int64_t port_device_get_time(int64_t *out);
// 0..PORT_DEVICE_RANDOM_MAX; reseeds from itself and the time on every call.
int port_device_random();
// a x b / c with a 64-bit product, truncated toward zero; -1 when c is 0 or
// the result does not fit.
int32_t port_device_muldiv(int32_t a, int32_t b, int32_t c);
// A pixel height as a font size in points.
int32_t port_device_pixels_to_points(int32_t pixels);
// The camera: 1 with the photo's path (PORT_DEVICE_PATH_CHARS chars), -1
// when cancelled, 0 when there is no camera. BRIVOLA_CAMERA_IMAGE names the
// picture that stands in for the photo. In every case the screen takes the
// display size again half a second later.
int port_device_capture_photo(char16_t *path);
// The end of a launch, on the GUI thread: result 1 when the program ran and
// answered success, 0 when it is missing or answered failure.
typedef void (*port_device_launch_fn)(int result, void *user_data);
// Starts a command line (os_shell) away from the GUI thread; when on_end is
// set it is called once with the program's answer (this needs the port's
// active-object list). 1 when started; 0 for an empty command line or when
// no thread can be had, and then on_end is not called.
int port_device_launch(const std::vector<std::string> &argv, port_device_launch_fn on_end, void *user_data);
// Launches whose end has not been delivered yet.
int port_device_get_launch_count();
// Tear-down, before the active-object list goes: launches still running end
// unreported.
void port_device_drop_launches();
// Hand a file or an address to the desktop, as port_device_launch.
int port_device_open_file(const char16_t *path);
int port_device_open_url(const char16_t *url, port_device_launch_fn on_end = nullptr, void *user_data = nullptr);
// The identity (16 chars: 15 digits and a terminator); the count of digits.
int port_device_get_serial(char16_t *out);
