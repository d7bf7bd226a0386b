// Feeds the document reader arbitrary files and rebuilds the canvas from
// whatever history it accepted, with the free-hand and two-point tools and
// the application's replays registered, so that a record the reader lets
// through is also replayed, at a zoom picked by the file's length (so mostly
// not the zoom its records were made at). The program's pixel budget
// applies: a document costs here what it costs a user.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_file.h"
#include "imagebar.h"
#include "os_clock.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "paint_main.h"
#include "shape.h"
#include "shape_line.h"
#include "shape_pencil.h"
#include "shape_rect.h"
#include "textbar.h"

namespace {

const double ZOOMS[] = {1.0, 2.0, 0.5, 1.5};

struct painting {
  paint_context *pc;
  paint_history *history;
  paint_file file;
};

painting *make_painting() {
  fuzz_use_own_home("bvf");
  os_clock_drive(1);  // the reader's pause before reading costs nothing
  painting *p = new painting();
  tcolor black = {0, 0, 0, 255}, white = {255, 255, 255, 255};
  p->pc = paint_context_new(nullptr, 64, 48, black, white, white, 3, 0, 0, 0, 8);
  p->history = paint_history_new(p->pc, nullptr);
  paint_history_set_use_checkpoints(p->history, 0);
  paint_context_add_tool(p->pc, shape_pencil_new(SHAPE_ID_PENCIL, u"Pencil", p->pc, p->history, nullptr));
  paint_context_add_tool(p->pc, shape_line_new(SHAPE_ID_LINE, u"Line", p->pc, p->history, nullptr));
  paint_context_add_tool(p->pc, shape_rect_new(SHAPE_ID_RECT + 1, u"Rectangle", p->pc, p->history, 1, nullptr));
  paint_history_hooks hooks = {};
  hooks.draw_text = textbar_draw_text_record;
  hooks.draw_image = imagebar_draw_image_record;
  hooks.apply_crop = paint_main_apply_crop;
  paint_history_set_hooks(p->history, &hooks);
  // The reader needs the document's painting and history only: no save
  // job, no dialogs.
  p->file._context = p->pc;
  p->file._history = p->history;
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static painting *p = make_painting();
  fuzz_scratch file("bvf_fuzz", ".bvf");
  if (!file.write(data, size)) return 0;
  paint_file_open(&p->file, file.path());
  paint_context_set_zoom(p->pc, ZOOMS[size % 4]);
  paint_history_rebuild(p->history);
  // The records go with their input: one left for the next input reads to
  // libFuzzer as a leak, and it runs the input again to look for it.
  paint_history_reset(p->history);
  return 0;
}
