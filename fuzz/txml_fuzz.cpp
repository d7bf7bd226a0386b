// Feeds arbitrary bytes to the settings file reader. Besides not crashing, the
// tree must hold no unnamed node and its strings must not change when asked
// for again.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "txml.h"

static void walk(txml_node *node, int depth) {
  for (; node; node = node->_sibling) {
    std::string name = txml_node_get_name(node), text = txml_node_get_text(node);
    if (name.empty() || name != txml_node_get_name(node) || text != txml_node_get_text(node)) std::abort();
    if (node->_attribute_names.size() != node->_attribute_values.size()) std::abort();
    if (depth > TXML_MAX_DEPTH + 1) std::abort();
    walk(node->_child, depth + 1);
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string text(reinterpret_cast<const char *>(data), size);
  txml *parser = txml_new();
  if (!parser) return 0;
  txml_parse_string(parser, text.c_str());
  txml_node *root = txml_get_root(parser);
  walk(root, 1);
  if (root) {
    txml_node_find_path(root, "Brivola/NewWidth");
    txml_node_find_path(root, "/a/b/c");
    // The input's first line as a path too.
    txml_node_find_path(root, text.substr(0, text.find('\n')).c_str());
  }
  txml_free(parser);
  return 0;
}
