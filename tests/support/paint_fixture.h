// A painting for tool and history tests: a private user folder (so the
// checkpoints land in a fresh cache folder), the active-object list, the
// toolkit's style set (some tools show controls), a painting context without
// a screen, its history and every tool of the drawing-tool modules
// registered, and the check that protects every user's work: the canvas
// equals a rebuild of it from the history.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "paint_context.h"
#include "paint_history.h"
#include "shape.h"

tcolor test_rgba(int r, int g, int b, int a);

// Compares the live canvas with a replay of the history from record 0 that
// neither reads nor writes checkpoints. The canvas holds the rebuild afterwards.
::testing::AssertionResult canvas_matches_rebuild(paint_context *pc, paint_history *history);

// Runs the signalled active objects: dispatches the messages waiting now, as
// a turn of the message loop would.
void test_run_active_objects();

// The main of a tool or history test program: the tests run as the
// application main of the port (headless display, 480 x 640 screen), so the
// platform context and its active-object list exist while they run.
int paint_test_main(int argc, char **argv);

class PaintTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A fresh painting of this size (the one SetUp makes is 200 x 150).
  void make_painting(int32_t width, int32_t height);
  void free_painting();

  shape *tool(int32_t id) const { return paint_context_find_tool(pc, id); }
  int32_t pen(shape *tool, int32_t type, int32_t x, int32_t y);
  // Pen-down at the first point, a move to each further point (running the
  // loop after every `batch` moves, 0: never), pen-up at the last; canvas
  // coordinates (the view origin is added).
  void stroke(shape *tool, const std::vector<tpoint> &points, int batch);
  // A drag of a two-point tool from a to b in canvas coordinates, with the
  // loop run before pen-up.
  void drag(shape *tool, tpoint a, tpoint b);
  std::vector<uint8_t> canvas_bytes() const;
  uint32_t pixel(int32_t x, int32_t y) const;
  std::string checkpoint_path(int32_t index, int32_t zoom_percent) const;

  std::string home;
  paint_context *pc = nullptr;
  paint_history *history = nullptr;
  struct owned_tool {
    shape *tool;
    void (*free)(shape *);
  };
  std::vector<owned_tool> tools;
};
