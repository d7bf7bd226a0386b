// The text size steps: index 1..6 as the text bar and the settings store it,
// and the point size each step stands for. The canvas takes its default font
// from here; the text renderer uses the same table.
#pragma once

#include <cstdint>

constexpr int32_t TFONT_DEFAULT_SIZE_INDEX = 3;
constexpr char16_t TFONT_DEFAULT_FACE[] = u"tahoma";

// Point size of a size index; an index outside 1..6 gives the normal size 12.
constexpr int32_t tfont_size_from_index(int32_t index) {
  switch (index) {
    case 1: return 22;
    case 2: return 18;
    case 3: return 12;
    case 4: return 10;
    case 5:
    case 6: return 8;
    default: return 12;
  }
}
