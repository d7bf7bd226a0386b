// shape: the drawing-tool base. Only what the painting context needs to find a
// tool by its id is here; the tool base itself grows around it.
#pragma once

#include <cstdint>

#include "port_log.h"

struct shape {
  int32_t _id;
};

inline int32_t shape_get_id(const shape *tool) {
  PORT_CHECK(tool != nullptr);
  return tool->_id;
}
