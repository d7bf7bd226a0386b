// ekhtml: a streaming, callback-driven HTML tokenizer for the help pages.
//
// It builds no tree: it cuts its input into character data, start tags with
// their attributes, end tags and declarations ("<!...>"), and calls the
// user's callbacks as soon as each token is complete. Comments ("<!--...-->")
// are dropped. Input may arrive in pieces; an incomplete token waits at the
// front of the input buffer, with the progress made inside it kept, so a
// token longer than the buffer is scanned once however often the buffer grows.
//
// Every text handed to a callback is a view into the tokenizer's buffer, valid
// only during the call. Tag names reach the callbacks upper-cased (ASCII);
// attribute names and values as written. A run of character data reaches the
// data callback whole, up to the next '<' or the end of the input.
//
// The parser owns its buffer, its tag table and its attribute records; the
// user data is only handed back.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct ekhtml_string {
  const char *_str;  // not NUL-ended
  uint32_t _len;
};

// One attribute of a start tag. The list handed to a start callback runs
// from the tag's last attribute to its first.
struct ekhtml_attr {
  ekhtml_string _name;
  ekhtml_string _value;   // empty when _no_value
  uint8_t _no_value;      // the attribute had no '='
  char _quote;            // 0, '"' or '\''
  ekhtml_attr *_next;
};

typedef void (*ekhtml_data_fn)(void *user_data, ekhtml_string text);
typedef void (*ekhtml_start_fn)(void *user_data, ekhtml_string tag, ekhtml_attr *attributes);
typedef void (*ekhtml_end_fn)(void *user_data, ekhtml_string tag);

// Token states at a cut.
enum {
  EKHTML_STATE_NONE = 0,
  EKHTML_STATE_DATA = 1,
  EKHTML_STATE_DATA_LT = 2,   // data that begins with a '<' that starts no tag
  EKHTML_STATE_START_TAG = 3,
  EKHTML_STATE_END_TAG = 4,
  EKHTML_STATE_DECLARATION = 5,
  EKHTML_STATE_COMMENT = 6,
};

constexpr uint32_t EKHTML_BUFFER_STEP = 4096;

struct ekhtml_tag_callbacks {
  ekhtml_start_fn _start;
  ekhtml_end_fn _end;
};

// An attribute while its tag is scanned: offsets from the token's start, so
// they survive the buffer moving.
struct ekhtml_attr_span {
  uint32_t _name_at, _name_len;
  uint32_t _value_at, _value_len;
  uint8_t _no_value;
  char _quote;
};

// Progress inside the token at the front of the buffer.
struct ekhtml_progress {
  uint32_t _at;        // offset from the token's start of the next byte to scan
  uint8_t _step;       // sub-state of a tag (see ekhtml.cpp)
  uint32_t _name_end;  // tag name: from 1 (2 for an end tag) to here
  ekhtml_attr_span _attr;  // the attribute being scanned
  std::vector<ekhtml_attr_span> _attrs;
};

struct ekhtml_parser {
  ekhtml_data_fn _data_fn;
  std::map<std::string, ekhtml_tag_callbacks, std::less<>> _tags;  // upper-cased names
  void *_user_data;
  ekhtml_start_fn _start_fn;  // for tags without their own
  ekhtml_end_fn _end_fn;
  char *_buffer;
  uint32_t _capacity;
  uint32_t _fill;
  int32_t _state;
  ekhtml_progress _progress;
  std::vector<ekhtml_attr> _attr_records;  // spare records the start callback's list is built in
};

// A tokenizer with an empty tag table and a 4096-byte buffer; null when out
// of memory.
ekhtml_parser *ekhtml_new(void *user_data);
// Frees the table, the records, the buffer and the tokenizer.
void ekhtml_free(ekhtml_parser *parser);

void ekhtml_set_user_data(ekhtml_parser *parser, void *user_data);
void ekhtml_set_data_callback(ekhtml_parser *parser, ekhtml_data_fn fn);
// With a tag name, the name is upper-cased and the tag's entry is created or
// updated (only the given kind changes); with a null name the catch-all
// callback of that kind is set. 1, or 0 when the entry could not be made.
int ekhtml_add_start_callback(ekhtml_parser *parser, const char *tag, ekhtml_start_fn fn);
int ekhtml_add_end_callback(ekhtml_parser *parser, const char *tag, ekhtml_end_fn fn);
// The common worker: sets the start callback when is_start, else the end one.
int ekhtml_set_callback(ekhtml_parser *parser, const char *tag, int is_start, ekhtml_start_fn start,
                        ekhtml_end_fn end);

// Appends the bytes; whenever the buffer is full it tokenizes what it can and,
// when nothing could be consumed, grows the buffer (by its own size). 1, or 0
// when the buffer could not grow: then a message goes to stderr, the rest of
// the piece is dropped and the tokenizer stays usable.
int ekhtml_feed(ekhtml_parser *parser, ekhtml_string text);
// Tokenizes the buffered input and keeps an incomplete tail for the next
// feed; nonzero when input was consumed. With final nonzero the tail goes to
// the data callback as text and the state is reset.
int ekhtml_flush(ekhtml_parser *parser, int final);

// Tests: the largest buffer a tokenizer may grow to (0, the default, for no
// limit beyond the 32-bit size).
void ekhtml_set_buffer_limit(uint32_t bytes);
