// Counts of what the program hands cairo, seen from outside: the test
// executable that uses them puts its own cairo entry points in front of the
// library's (each counts, then calls the library's), so a test weighs the
// work of a stroke or a replay without the code keeping any count.
#pragma once

#include <cstdint>

// Line segments added to any path so far.
uint64_t test_cairo_line_tos();
// 32-bit image surfaces made over pixels the program owns (a canvas wrapped
// for drawing) so far.
uint64_t test_cairo_argb_surfaces();
