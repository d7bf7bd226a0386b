// Feeds arbitrary bytes to the HTML tokenizer in pieces the input chooses.
// Every view a callback gets must lie inside the tokenizer's buffer, and the
// callbacks must be those of the same page fed in one piece.
//
// Input: byte 0 holds the number of cuts (low 3 bits) and whether each piece
// is followed by a flush (bit 3); then two bytes per cut, the piece's length
// (little-endian); the rest is the page.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ekhtml.h"

namespace {

struct recorder {
  ekhtml_parser *_parser;
  std::vector<std::string> _events;
};

void check_view(const recorder *r, ekhtml_string text) {
  const char *begin = r->_parser->_buffer, *end = begin + r->_parser->_capacity;
  if (text._len == 0) return;
  if (text._str < begin || text._str > end || text._len > uint64_t(end - text._str)) std::abort();
}

void on_data(void *user, ekhtml_string text) {
  recorder *r = static_cast<recorder *>(user);
  check_view(r, text);
  if (text._len == 0) std::abort();
  r->_events.push_back("D" + std::string(text._str, text._len));
}

void on_start(void *user, ekhtml_string tag, ekhtml_attr *attrs) {
  recorder *r = static_cast<recorder *>(user);
  check_view(r, tag);
  std::string event = "S" + std::string(tag._str, tag._len);
  for (; attrs; attrs = attrs->_next) {
    check_view(r, attrs->_name);
    check_view(r, attrs->_value);
    if (attrs->_name._len == 0) std::abort();
    event += "\x01" + std::string(attrs->_name._str, attrs->_name._len) + "\x02" + std::to_string(attrs->_no_value) +
             std::string(1, attrs->_quote) + std::string(attrs->_value._str, attrs->_value._len);
  }
  r->_events.push_back(event);
}

void on_own_start(void *user, ekhtml_string tag, ekhtml_attr *attrs) {
  on_start(user, tag, attrs);
  static_cast<recorder *>(user)->_events.back()[0] = 'O';
}

void on_end(void *user, ekhtml_string tag) {
  recorder *r = static_cast<recorder *>(user);
  check_view(r, tag);
  r->_events.push_back("E" + std::string(tag._str, tag._len));
}

std::vector<std::string> run(const std::vector<std::string> &pieces, bool flush_between) {
  recorder r{ekhtml_new(nullptr), {}};
  if (!r._parser) std::abort();
  ekhtml_set_user_data(r._parser, &r);
  ekhtml_set_data_callback(r._parser, on_data);
  ekhtml_add_start_callback(r._parser, nullptr, on_start);
  ekhtml_add_end_callback(r._parser, nullptr, on_end);
  ekhtml_add_start_callback(r._parser, "p", on_own_start);
  ekhtml_add_start_callback(r._parser, "A", on_own_start);
  for (const std::string &piece : pieces) {
    if (!ekhtml_feed(r._parser, ekhtml_string{piece.data(), static_cast<uint32_t>(piece.size())})) std::abort();
    if (flush_between) ekhtml_flush(r._parser, 0);
  }
  ekhtml_flush(r._parser, 1);
  if (r._parser->_fill != 0 || r._parser->_state != EKHTML_STATE_NONE) std::abort();
  ekhtml_free(r._parser);
  return r._events;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  int cuts = data[0] & 7;
  bool flush_between = data[0] & 8;
  size_t at = 1;
  std::vector<size_t> lengths;
  for (int i = 0; i < cuts && at + 1 < size; i++, at += 2) lengths.push_back(data[at] | data[at + 1] << 8);
  std::string page(reinterpret_cast<const char *>(data) + std::min(at, size), size - std::min(at, size));
  std::vector<std::string> pieces;
  size_t from = 0;
  for (size_t length : lengths) {
    length = std::min(length, page.size() - from);
    pieces.push_back(page.substr(from, length));
    from += length;
  }
  pieces.push_back(page.substr(from));
  if (run(pieces, flush_between) != run({page}, false)) std::abort();
  return 0;
}
