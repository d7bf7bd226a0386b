// paint_config: the settings file "config.xml" in the user folder.
//
// Read once at start-up into the application's state (a key that is missing,
// a number its field cannot hold, or a file that cannot be read leaves the
// defaults), written back at every orderly exit through a temporary file
// renamed over the old one. Only a regular file of at most 1 MiB is read.
//
// Layout: the root element "Brivola" holds one element per key, each on its
// own line, in this order ("%d" a decimal number; colours R + G*256 + B*65536
// unless said otherwise):
//
//   | key            | field            | text                                  |
//   |----------------|------------------|---------------------------------------|
//   | NewWidth       | _new_width       | %d                                    |
//   | NewHeight      | _new_height      | %d                                    |
//   | NewColor       | _new_color       | %d (alpha stays out of the file)      |
//   | ForeColor      | _fore_color      | %d,%d,%d,%d  R, G, B, A               |
//   | BackColor      | _back_color      | %d (alpha stays out of the file)      |
//   | PenSize        | _pen_size        | %d  0..255                            |
//   | RubberSize     | _rubber_size     | %d  0..255                            |
//   | PenStyle       | _pen_style       | %d                                    |
//   | FillStyle      | _fill_style      | %d                                    |
//   | FontStyle      | _font_style      | %d                                    |
//   | PictureStyle   | _picture_style   | %d                                    |
//   | MyPaintsDir    | _my_paints_dir   | folder                                |
//   | OpenDir        | _open_dir        | folder                                |
//   | SaveDir        | _save_dir        | folder                                |
//   | TBTranslucent  | _tb_translucent  | %d  0..255                            |
//   | TBAutoHide     | _tb_auto_hide    | %d  0..255                            |
//   | TBX1 .. TBHeight1, TBX2 .. TBHeight2 | the tool bar rectangles | %d each  |
//   | RecentColorNum | _recent_color_num| %d                                    |
//   | RecentColors   | _recent_colors   | "%d," eight times                     |
//
// Colours: each channel 0..255, a colour word 0..0xFFFFFF. Folders are UTF-8
// with '&', '<' and '>' written as entities (the reader decodes them), read
// back as at most 259 UTF-16 chars.
#pragma once

#include <cstdint>
#include <string>

#include "trect.h"

struct app_context;

void paint_config_load();
void paint_config_save();

// The two halves on their own: the state from a parsed text, and the text of
// the state. load_text answers 0 when the text is not a "Brivola" document
// (nothing is changed then).
int paint_config_load_text(app_context *app, const char *text);
std::string paint_config_text(const app_context *app);

// ForeColor's comma form: opaque black, then up to four fields R, G, B, A;
// opaque black when a field is not 0..255.
tcolor paint_config_parse_rgba(const char *text);
// A decimal number after optional blanks and sign; no number gives 0, a
// number beyond the 32-bit range gives the nearest end of it.
int32_t paint_config_parse_int(const char *text);
