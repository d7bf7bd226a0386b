// txml: the settings file reader (see txml.h for what it knows).
//
// Parsing one level walks a sibling list: every element parsed makes an empty
// node as its sibling for the next one, and nodes still unnamed at the end
// (that trailing one, and elements such as "<>") are removed afterwards.
// Slices of the text are views until they are decoded into a node, so no
// tag, text or path component has a length limit and nothing is copied
// through a fixed buffer. Only children recurse, and nesting is bounded by
// TXML_MAX_DEPTH, so no input can exhaust the stack. Memory running out
// during a parse fails it like a bad text (TXML_ERROR_NO_MEMORY); freeing a
// tree allocates nothing.
#include "txml.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "port_fs.h"
#include "port_log.h"

constexpr size_t k_none = std::string_view::npos;

static long g_node_limit = -1;

static txml_node *new_node();
static int parse_level(txml *parser, txml_node *node, int depth);
static int parse_tag(std::string_view content, txml_node *node);
static int read_end_tag(txml *parser, const txml_node *node);
static size_t find_delimiter(const txml *parser, size_t from, char delimiter);
static bool is_end_tag(const txml *parser, size_t at);
static std::string_view slice(const txml *parser, size_t from, size_t to);
static std::string_view trim(std::string_view text);
static size_t skip_blanks(std::string_view text, size_t at);
static std::string decode(std::string_view text);
static txml_node *find_sibling(txml_node *node, std::string_view name);
static void prune(txml_node **link);
static void free_tree(txml_node *node);

txml *txml_new() {
  return new (std::nothrow) txml();
}

void txml_free(txml *parser) {
  PORT_CHECK(parser != nullptr);
  free_tree(parser->_root);
  delete parser;
}

int txml_load_file(txml *parser, const char16_t *path) {
  PORT_CHECK(parser != nullptr && path != nullptr);
  int64_t size = 0;
  uint8_t *text = port_fs_read_file(path, TXML_MAX_FILE_SIZE, &size);
  int parsed = text && size > 0 && txml_parse_string(parser, reinterpret_cast<const char *>(text));
  std::free(text);
  return parsed;
}

int txml_parse_string(txml *parser, const char *text) {
  PORT_CHECK(parser != nullptr && text != nullptr);
  free_tree(parser->_root);
  parser->_text = text;
  parser->_length = std::strlen(text);
  parser->_position = 0;
  parser->_root = nullptr;
  try {
    parser->_root = new_node();
    parser->_error = parse_level(parser, parser->_root, 1);
  } catch (const std::bad_alloc &) {
    parser->_error = TXML_ERROR_NO_MEMORY;
  }
  prune(&parser->_root);
  parser->_text = nullptr;
  parser->_length = 0;
  return parser->_error == TXML_OK;
}

void txml_set_node_limit(long nodes) { g_node_limit = nodes; }

txml_node *txml_get_root(txml *parser) {
  PORT_CHECK(parser != nullptr);
  return parser->_root;
}

const char *txml_node_get_name(const txml_node *node) {
  PORT_CHECK(node != nullptr);
  return node->_name.c_str();
}

const char *txml_node_get_text(const txml_node *node) {
  PORT_CHECK(node != nullptr);
  return node->_text.c_str();
}

txml_node *txml_node_find_sibling(txml_node *node, const char *name) {
  PORT_CHECK(node != nullptr && name != nullptr);
  return find_sibling(node, name);
}

txml_node *txml_node_find_path(txml_node *node, const char *path) {
  PORT_CHECK(node != nullptr && path != nullptr);
  std::string_view rest(path);
  if (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
  if (rest.empty()) return nullptr;
  txml_node *found = nullptr;
  for (;;) {
    size_t slash = rest.find('/');
    found = find_sibling(found ? found->_child : node, rest.substr(0, slash));
    if (!found || slash == k_none) return found;
    rest.remove_prefix(slash + 1);
  }
}

static txml_node *new_node() {
  if (g_node_limit == 0) throw std::bad_alloc();
  if (g_node_limit > 0) g_node_limit--;
  return new txml_node();
}

// Parses elements into node and the siblings it grows, up to the end of the
// text (success) or an end tag, which is left for the caller to read.
static int parse_level(txml *parser, txml_node *node, int depth) {
  if (depth > TXML_MAX_DEPTH) return TXML_ERROR_TOO_DEEP;
  for (;;) {
    size_t open = find_delimiter(parser, parser->_position, '<');
    if (open == k_none) {
      parser->_position = parser->_length;
      return TXML_OK;
    }
    parser->_position = open;
    char next = open + 1 < parser->_length ? parser->_text[open + 1] : '\0';
    if (next == '/') return TXML_OK;
    size_t close = find_delimiter(parser, open + 1, '>');
    if (next == '?' || next == '-') {
      if (close == k_none) return TXML_ERROR_SKIP_UNCLOSED;
      parser->_position = close + 1;
      continue;
    }
    if (close == k_none) return TXML_ERROR_TAG_UNCLOSED;
    std::string_view content = trim(slice(parser, open + 1, close));
    parser->_position = close + 1;

    if (!content.empty() && content.back() == '/') {
      content.remove_suffix(1);
      if (int error = parse_tag(trim(content), node)) return error;
    } else {
      if (int error = parse_tag(content, node)) return error;
      size_t text_end = find_delimiter(parser, parser->_position, '<');
      if (text_end == k_none) return TXML_ERROR_TEXT_UNCLOSED;
      node->_text = decode(trim(slice(parser, parser->_position, text_end)));
      parser->_position = text_end;
      if (!is_end_tag(parser, text_end)) {
        node->_child = new_node();
        if (int error = parse_level(parser, node->_child, depth + 1)) return error;
        if (!is_end_tag(parser, parser->_position)) return TXML_ERROR_CHILD_UNCLOSED;
      }
      if (int error = read_end_tag(parser, node)) return error;
    }
    node->_sibling = new_node();
    node = node->_sibling;
  }
}

// A tag's content: the name up to the first space, line feed or tab, then
// name=value attributes, a value either in double quotes or bare up to the
// next space or tab.
static int parse_tag(std::string_view content, txml_node *node) {
  size_t at = content.find_first_of(" \n\t");
  node->_name = decode(content.substr(0, at));
  if (at == k_none) return TXML_OK;
  at = skip_blanks(content, at);
  while (at < content.size()) {
    size_t equals = content.find('=', at);
    if (equals == k_none) return TXML_ERROR_NO_EQUALS;
    std::string_view name = trim(content.substr(at, equals - at));
    at = skip_blanks(content, equals + 1);
    if (at >= content.size()) return TXML_ERROR_NO_VALUE;
    std::string_view value;
    if (content[at] == '"') {
      size_t quote = content.find('"', at + 1);
      if (quote == k_none) return TXML_ERROR_QUOTE_UNCLOSED;
      value = content.substr(at + 1, quote - at - 1);
      at = quote + 1;
    } else {
      size_t stop = content.find_first_of(" \t", at);
      if (stop == k_none) stop = content.size();
      value = content.substr(at, stop - at);
      at = stop;
    }
    node->_attribute_names.push_back(decode(name));
    node->_attribute_values.push_back(decode(value));
    at = skip_blanks(content, at);
  }
  return TXML_OK;
}

// The position is at "</"; the name up to '>' must be the node's.
static int read_end_tag(txml *parser, const txml_node *node) {
  size_t name_start = parser->_position + 2;
  size_t close = find_delimiter(parser, name_start, '>');
  if (close == k_none) return TXML_ERROR_TAG_UNCLOSED;
  if (decode(trim(slice(parser, name_start, close))) != node->_name) return TXML_ERROR_END_TAG_MISMATCH;
  parser->_position = close + 1;
  return TXML_OK;
}

// A '^' as the last byte has nothing to step over and ends the search.
static size_t find_delimiter(const txml *parser, size_t from, char delimiter) {
  for (size_t i = from; i < parser->_length; i++) {
    if (parser->_text[i] == '^')
      i++;
    else if (parser->_text[i] == delimiter)
      return i;
  }
  return k_none;
}

static bool is_end_tag(const txml *parser, size_t at) {
  return at + 1 < parser->_length && parser->_text[at] == '<' && parser->_text[at + 1] == '/';
}

static std::string_view slice(const txml *parser, size_t from, size_t to) {
  return std::string_view(parser->_text + from, to - from);
}

// Removes bytes of value 32 or below (spaces and controls) at both ends.
static std::string_view trim(std::string_view text) {
  while (!text.empty() && (unsigned char)text.front() <= 32) text.remove_prefix(1);
  while (!text.empty() && (unsigned char)text.back() <= 32) text.remove_suffix(1);
  return text;
}

static size_t skip_blanks(std::string_view text, size_t at) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\n' || text[at] == '\t')) at++;
  return at;
}

// One pass, so the output of one entity is never read as the start of
// another: "&amp;lt;" gives "&lt;". Unknown entities stay as written.
static std::string decode(std::string_view text) {
  static constexpr struct {
    std::string_view entity;
    char byte;
  } k_entities[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&amp;", '&'}};
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    bool replaced = false;
    if (text[i] == '&') {
      for (const auto &e : k_entities) {
        if (text.compare(i, e.entity.size(), e.entity) == 0) {
          out += e.byte;
          i += e.entity.size();
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

static txml_node *find_sibling(txml_node *node, std::string_view name) {
  for (; node; node = node->_sibling)
    if (node->_name == name) return node;
  return nullptr;
}

// Removes every unnamed node, children included, from the list at *link and,
// recursively, from the children of the nodes that stay.
static void prune(txml_node **link) {
  while (txml_node *node = *link) {
    if (node->_name.empty()) {
      *link = node->_sibling;
      node->_sibling = nullptr;
      free_tree(node);
    } else {
      prune(&node->_child);
      link = &node->_sibling;
    }
  }
}

// Without recursion or memory: a node with children is rotated so that its
// first child takes its place and it becomes that child's next sibling, until
// the node in front has no children and can go.
static void free_tree(txml_node *node) {
  while (node) {
    if (txml_node *child = node->_child) {
      node->_child = child->_sibling;
      child->_sibling = node;
      node = child;
    } else {
      txml_node *next = node->_sibling;
      delete node;
      node = next;
    }
  }
}
