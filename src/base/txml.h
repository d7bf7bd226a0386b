// txml: a small, forgiving reader for the program's own settings file.
//
// Reads a whole text into a tree of element nodes (name, attributes, and the
// trimmed text between the start tag and the first child or the end tag) and
// answers '/'-separated path queries such as "Brivola/NewWidth". It knows
// elements, attributes, text, end tags, self-closing tags and the entities
// &lt; &gt; &quot; &amp;; it skips "<?...>" and "<-...>" and text after an
// element's first child. It is not a conforming XML parser.
//
// While searching for '<' or '>', a '^' makes the next byte ordinary; the '^'
// stays in the text.
// The parser owns its tree. Every string in the tree is decoded exactly once,
// when its node is built, so "&amp;lt;" reads as "&lt;" however often it is
// asked for. No node has an empty name: nodes left unnamed by the parse are
// removed with their children.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct txml_node {
  txml_node *_child;    // first child element, or null
  txml_node *_sibling;  // next element at the same level, or null
  std::string _name;
  std::string _text;    // empty for a self-closing element
  std::vector<std::string> _attribute_names;   // in document order
  std::vector<std::string> _attribute_values;  // same order and count
};

struct txml {
  const char *_text;  // the text being parsed, only during a parse (not owned)
  size_t _length;
  size_t _position;
  txml_node *_root;   // the first top-level element, or null
  int _error;         // failure kind of the last parse, TXML_OK after success
};

// Failure kinds of a parse.
enum {
  TXML_OK = 0,
  TXML_ERROR_SKIP_UNCLOSED = 100,     // no '>' after "<?" or "<-"
  TXML_ERROR_TAG_UNCLOSED = 110,      // no '>' closing a start or end tag
  TXML_ERROR_TEXT_UNCLOSED = 120,     // no '<' after an element's text
  TXML_ERROR_END_TAG_MISMATCH = 130,  // end tag name differs from the start tag
  TXML_ERROR_NO_EQUALS = 140,         // attribute without '='
  TXML_ERROR_NO_VALUE = 150,          // attribute without a value
  TXML_ERROR_QUOTE_UNCLOSED = 160,    // quoted value without its closing quote
  TXML_ERROR_CHILD_UNCLOSED = 170,    // a child level not ending at an end tag
  TXML_ERROR_TOO_DEEP = 180,          // elements nested deeper than TXML_MAX_DEPTH
  TXML_ERROR_NO_MEMORY = 190,         // a node or a string could not be allocated
};

constexpr long TXML_MAX_FILE_SIZE = 104857600;
constexpr int TXML_MAX_DEPTH = 256;

// A parser with no tree; null when memory runs out.
txml *txml_new();
// Frees the tree and the parser.
void txml_free(txml *parser);

// Reads the file (opened read-only) whole and parses it. 1 on success; 0 when
// the file cannot be opened or read, is not a regular file, is empty or
// bigger than TXML_MAX_FILE_SIZE (then nothing is parsed), or the parse fails. The text
// ends at its first NUL byte.
int txml_load_file(txml *parser, const char16_t *path);
// Replaces the tree by one built from the NUL-ended text; 1 on success, 0 on
// failure (_error tells the kind; the nodes built so far stay). The text is
// not kept.
int txml_parse_string(txml *parser, const char *text);

// Tests: the nodes a parse may still allocate before allocation fails; -1
// (the default) for no limit.
void txml_set_node_limit(long nodes);

txml_node *txml_get_root(txml *parser);
const char *txml_node_get_name(const txml_node *node);
const char *txml_node_get_text(const txml_node *node);

// The first node, from this one along the sibling list, whose name equals
// the given one byte for byte; null if none.
txml_node *txml_node_find_sibling(txml_node *node, const char *name);
// The node reached by a '/'-separated path: one leading '/' is skipped, the
// first component is searched among the node and its siblings, each further
// one among the children of the node found so far. Null for an empty path or
// any missing step.
txml_node *txml_node_find_path(txml_node *node, const char *path);
