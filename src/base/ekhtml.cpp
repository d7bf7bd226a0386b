// ekhtml: the HTML tokenizer (see ekhtml.h for what it gives its callers).
//
// The buffer holds [0, _fill): the token at its front is the one that could
// not be finished, with _state saying what it is and _progress how far it
// was scanned (offsets from the token's start). A tokenizing pass walks the
// buffer token by token from there, and every scanner resumes at _at, so a
// cut never makes a token be scanned again from its start. What the pass
// consumed is moved out by shifting the unfinished tail to the front; a tail
// is shifted at most once before it is finished (a pass that consumes
// anything finished the token that was at the front), so the shifts are
// linear in the input too.
//
// Decisions depend only on the bytes, never on where a piece ended: a token
// that needs more bytes to decide waits. Character data too ends only at the
// next '<' (or with the final flush), so a run reaches the data callback in
// one piece: a multi-byte character or a word is never cut in two by where
// the buffer happened to fill up.
#include "ekhtml.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "port_log.h"

// Sub-states of a start or end tag.
enum : uint8_t {
  STEP_NAME,        // the tag name
  STEP_SPACE,       // between attributes
  STEP_ATTR_NAME,
  STEP_AFTER_NAME,  // blanks after an attribute name, before a '=' or not
  STEP_AFTER_EQ,    // blanks after '='
  STEP_QUOTED,      // a quoted value
  STEP_BARE,        // an unquoted value
  STEP_SKIP,        // the rest up to '>' or '<'
};

// Character classes.
enum : uint8_t {
  CLASS_SPACE = 1,
  CLASS_NAME = 2,        // letters, digits, '-', '.', '_' and bytes 128-255
  CLASS_VALUE = 4,       // unquoted values: the name bytes and some marks
  CLASS_NAME_START = 8,  // letters and bytes 128-255 (a tag name starts so)
  CLASS_TAG_NAME = 16,   // the name bytes but '_'
};

// What a scanner found.
enum scan_result { SCAN_MORE, SCAN_DONE };

static uint32_t g_buffer_limit = 0;

static bool tokenize(ekhtml_parser *parser);
static bool grow(ekhtml_parser *parser);
static scan_result scan_token(ekhtml_parser *parser, uint32_t start, uint32_t end, uint32_t *length);
static scan_result scan_tag(ekhtml_parser *parser, const char *token, uint32_t avail, uint32_t *length);
static scan_result scan_to_tag_end(ekhtml_progress *progress, const char *token, uint32_t avail,
                                   uint32_t *length);
static scan_result scan_comment(ekhtml_progress *progress, const char *token, uint32_t avail,
                                uint32_t *length);
static int decide_state(const char *token, uint32_t avail);
static uint32_t scan_start(int state);
static void emit_data(ekhtml_parser *parser, const char *text, uint32_t length);
static void emit_start_tag(ekhtml_parser *parser, char *token);
static void emit_end_tag(ekhtml_parser *parser, char *token);
static void reset_progress(ekhtml_progress *progress, uint32_t at);
static void push_attr(ekhtml_progress *progress);
static void upper_case(char *text, uint32_t length);
static bool is(uint8_t byte, uint8_t mask);

struct class_table {
  uint8_t _class[256];
  constexpr class_table() : _class() {
    for (int c = '\t'; c <= '\r'; c++) _class[c] |= CLASS_SPACE;
    _class[uint8_t(' ')] |= CLASS_SPACE;
    for (int c = 0; c < 256; c++) {
      bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
      bool digit = c >= '0' && c <= '9';
      if (letter || c >= 128) _class[c] |= CLASS_NAME_START;
      if (letter || digit || c >= 128 || c == '-' || c == '.')
        _class[c] |= CLASS_TAG_NAME | CLASS_NAME | CLASS_VALUE;
    }
    _class[uint8_t('_')] |= CLASS_NAME | CLASS_VALUE;
    const char marks[] = "!#$%&()*+/:=?]~@";
    for (int i = 0; marks[i]; i++) _class[static_cast<uint8_t>(marks[i])] |= CLASS_VALUE;
  }
};
static constexpr class_table k_classes;

ekhtml_parser *ekhtml_new(void *user_data) {
  ekhtml_parser *parser = new (std::nothrow) ekhtml_parser();
  if (!parser) return nullptr;
  parser->_buffer = static_cast<char *>(std::malloc(EKHTML_BUFFER_STEP));
  if (!parser->_buffer) {
    delete parser;
    return nullptr;
  }
  parser->_capacity = EKHTML_BUFFER_STEP;
  parser->_user_data = user_data;
  return parser;
}

void ekhtml_free(ekhtml_parser *parser) {
  PORT_CHECK(parser != nullptr);
  std::free(parser->_buffer);
  delete parser;
}

void ekhtml_set_user_data(ekhtml_parser *parser, void *user_data) {
  PORT_CHECK(parser != nullptr);
  parser->_user_data = user_data;
}

void ekhtml_set_data_callback(ekhtml_parser *parser, ekhtml_data_fn fn) {
  PORT_CHECK(parser != nullptr);
  parser->_data_fn = fn;
}

int ekhtml_add_start_callback(ekhtml_parser *parser, const char *tag, ekhtml_start_fn fn) {
  PORT_CHECK(parser != nullptr);
  return ekhtml_set_callback(parser, tag, 1, fn, nullptr);
}

int ekhtml_add_end_callback(ekhtml_parser *parser, const char *tag, ekhtml_end_fn fn) {
  PORT_CHECK(parser != nullptr);
  return ekhtml_set_callback(parser, tag, 0, nullptr, fn);
}

int ekhtml_set_callback(ekhtml_parser *parser, const char *tag, int is_start, ekhtml_start_fn start,
                        ekhtml_end_fn end) {
  PORT_CHECK(parser != nullptr);
  if (!tag) {
    if (is_start)
      parser->_start_fn = start;
    else
      parser->_end_fn = end;
    return 1;
  }
  try {
    std::string name(tag);
    upper_case(name.data(), static_cast<uint32_t>(name.size()));
    ekhtml_tag_callbacks &entry = parser->_tags[name];
    if (is_start)
      entry._start = start;
    else
      entry._end = end;
  } catch (const std::bad_alloc &) {
    return 0;
  }
  return 1;
}

int ekhtml_feed(ekhtml_parser *parser, ekhtml_string text) {
  PORT_CHECK(parser != nullptr && (text._str != nullptr || text._len == 0));
  const char *from = text._str;
  uint32_t left = text._len;
  while (left > 0) {
    uint32_t n = std::min(left, parser->_capacity - parser->_fill);
    std::memcpy(parser->_buffer + parser->_fill, from, n);
    parser->_fill += n;
    from += n;
    left -= n;
    if (parser->_fill == parser->_capacity && !tokenize(parser) && !grow(parser)) return 0;
  }
  return 1;
}

int ekhtml_flush(ekhtml_parser *parser, int final) {
  PORT_CHECK(parser != nullptr);
  bool consumed = tokenize(parser);
  if (final && parser->_fill > 0) {
    uint32_t length = parser->_fill;
    parser->_fill = 0;
    parser->_state = EKHTML_STATE_NONE;
    reset_progress(&parser->_progress, 0);
    emit_data(parser, parser->_buffer, length);
    consumed = true;
  }
  return consumed;
}

void ekhtml_set_buffer_limit(uint32_t bytes) { g_buffer_limit = bytes; }

// One pass over the buffer; true when it consumed anything.
static bool tokenize(ekhtml_parser *parser) {
  uint32_t start = 0, end = parser->_fill;
  while (start < end) {
    if (parser->_state == EKHTML_STATE_NONE) {
      int state = decide_state(parser->_buffer + start, end - start);
      if (state == EKHTML_STATE_NONE) break;
      parser->_state = state;
      reset_progress(&parser->_progress, scan_start(state));
    }
    uint32_t length = 0;
    if (scan_token(parser, start, end, &length) == SCAN_MORE) break;
    parser->_state = EKHTML_STATE_NONE;
    start += length;
  }
  if (start == 0) return false;
  std::memmove(parser->_buffer, parser->_buffer + start, end - start);
  parser->_fill = end - start;
  return true;
}

static bool grow(ekhtml_parser *parser) {
  uint64_t size = uint64_t(parser->_capacity) * 2;
  void *bigger = nullptr;
  if (size <= UINT32_MAX && (g_buffer_limit == 0 || size <= g_buffer_limit))
    bigger = std::realloc(parser->_buffer, size);
  if (!bigger) {
    int asked = static_cast<int>(std::min<uint64_t>(size, INT32_MAX));
    std::fprintf(stderr, "BAD! Can't allocate %d bytes in ekhtml_buffer_grow\n", asked);
    return false;
  }
  parser->_buffer = static_cast<char *>(bigger);
  parser->_capacity = static_cast<uint32_t>(size);
  return true;
}

// Which token begins here (a state), or EKHTML_STATE_NONE while the bytes at
// hand cannot tell.
static int decide_state(const char *token, uint32_t avail) {
  if (token[0] != '<') return EKHTML_STATE_DATA;
  if (avail < 2) return EKHTML_STATE_NONE;
  uint8_t next = static_cast<uint8_t>(token[1]);
  if (is(next, CLASS_NAME_START)) return EKHTML_STATE_START_TAG;
  if (next == '/') return EKHTML_STATE_END_TAG;
  if (next != '!') return EKHTML_STATE_DATA_LT;
  if (avail < 3) return EKHTML_STATE_NONE;
  if (token[2] != '-') return EKHTML_STATE_DECLARATION;
  if (avail < 4) return EKHTML_STATE_NONE;
  return token[3] == '-' ? EKHTML_STATE_COMMENT : EKHTML_STATE_DECLARATION;
}

// Where a token's scan begins: past "<!--" in a comment, past "</" or "<!" in
// an end tag or a declaration, past the first byte otherwise.
static uint32_t scan_start(int state) {
  if (state == EKHTML_STATE_COMMENT) return 4;
  return state == EKHTML_STATE_END_TAG || state == EKHTML_STATE_DECLARATION ? 2 : 1;
}

// Scans the token at start in the parser's state; when it is complete, calls
// its callback and gives its length.
static scan_result scan_token(ekhtml_parser *parser, uint32_t start, uint32_t end, uint32_t *length) {
  char *token = parser->_buffer + start;
  uint32_t avail = end - start;
  ekhtml_progress *progress = &parser->_progress;
  switch (parser->_state) {
    case EKHTML_STATE_DATA:
    case EKHTML_STATE_DATA_LT: {
      const void *lt = std::memchr(token + progress->_at, '<', avail - progress->_at);
      if (!lt) {
        progress->_at = avail;
        return SCAN_MORE;
      }
      *length = static_cast<uint32_t>(static_cast<const char *>(lt) - token);
      emit_data(parser, token, *length);
      return SCAN_DONE;
    }
    case EKHTML_STATE_START_TAG:
    case EKHTML_STATE_END_TAG:
      if (scan_tag(parser, token, avail, length) == SCAN_MORE) return SCAN_MORE;
      if (parser->_state == EKHTML_STATE_START_TAG)
        emit_start_tag(parser, token);
      else
        emit_end_tag(parser, token);
      return SCAN_DONE;
    case EKHTML_STATE_DECLARATION:
      if (scan_to_tag_end(progress, token, avail, length) == SCAN_MORE) return SCAN_MORE;
      emit_data(parser, token, *length);
      return SCAN_DONE;
    default:
      return scan_comment(progress, token, avail, length);
  }
}

// A start or end tag, resumed at the progress kept.
static scan_result scan_tag(ekhtml_parser *parser, const char *token, uint32_t avail, uint32_t *length) {
  ekhtml_progress *p = &parser->_progress;
  bool start_tag = parser->_state == EKHTML_STATE_START_TAG;
  uint32_t at = p->_at;
  scan_result result = SCAN_MORE;
  while (at < avail && result == SCAN_MORE) {
    uint8_t byte = static_cast<uint8_t>(token[at]);
    switch (p->_step) {
      case STEP_NAME:
        if (is(byte, CLASS_TAG_NAME)) {
          at++;
        } else {
          p->_name_end = at;
          p->_step = STEP_SPACE;
        }
        break;
      case STEP_SPACE:
        if (is(byte, CLASS_SPACE)) {
          at++;
        } else if (start_tag && (is(byte, CLASS_NAME_START) || byte == '_')) {
          p->_attr = ekhtml_attr_span{at, 0, 0, 0, 0, 0};
          p->_step = STEP_ATTR_NAME;
        } else {
          p->_step = STEP_SKIP;
        }
        break;
      case STEP_ATTR_NAME:
        if (is(byte, CLASS_NAME)) {
          at++;
        } else {
          p->_attr._name_len = at - p->_attr._name_at;
          p->_step = STEP_AFTER_NAME;
        }
        break;
      case STEP_AFTER_NAME:
        if (is(byte, CLASS_SPACE)) {
          at++;
        } else if (byte == '=') {
          at++;
          p->_step = STEP_AFTER_EQ;
        } else {
          p->_attr._no_value = 1;
          p->_attr._value_at = at;
          push_attr(p);
          p->_step = STEP_SPACE;
        }
        break;
      case STEP_AFTER_EQ:
        if (is(byte, CLASS_SPACE)) {
          at++;
        } else if (byte == '"' || byte == '\'') {
          p->_attr._quote = static_cast<char>(byte);
          p->_attr._value_at = ++at;
          p->_step = STEP_QUOTED;
        } else {
          p->_attr._value_at = at;
          p->_step = STEP_BARE;
        }
        break;
      case STEP_QUOTED:
        if (byte == static_cast<uint8_t>(p->_attr._quote)) {
          p->_attr._value_len = at - p->_attr._value_at;
          push_attr(p);
          at++;
          p->_step = STEP_SPACE;
        } else if (byte == '>' || byte == '<') {
          // An unclosed quote: the value and the tag end here.
          p->_attr._value_len = at - p->_attr._value_at;
          push_attr(p);
          p->_step = STEP_SKIP;
        } else {
          at++;
        }
        break;
      case STEP_BARE:
        if (is(byte, CLASS_VALUE)) {
          at++;
        } else {
          p->_attr._value_len = at - p->_attr._value_at;
          push_attr(p);
          p->_step = STEP_SPACE;
        }
        break;
      default:
        p->_at = at;
        result = scan_to_tag_end(p, token, avail, length);
        at = p->_at;
        break;
    }
  }
  p->_at = at;
  return result;
}

// Up to a '>' (consumed) or a '<' (left for the next token).
static scan_result scan_to_tag_end(ekhtml_progress *progress, const char *token, uint32_t avail,
                                   uint32_t *length) {
  for (uint32_t at = progress->_at; at < avail; at++) {
    if (token[at] == '>' || token[at] == '<') {
      *length = token[at] == '>' ? at + 1 : at;
      progress->_at = at;
      return SCAN_DONE;
    }
  }
  progress->_at = avail;
  return SCAN_MORE;
}

// Up to the closing "-->"; the comment reaches no callback.
static scan_result scan_comment(ekhtml_progress *progress, const char *token, uint32_t avail,
                                uint32_t *length) {
  std::string_view text(token, avail);
  size_t close = text.find("-->", progress->_at);
  if (close == std::string_view::npos) {
    // The dashes of a "-->" cut by the end may sit in the last two bytes.
    progress->_at = std::max(progress->_at, avail > 2 ? avail - 2 : 0);
    return SCAN_MORE;
  }
  *length = static_cast<uint32_t>(close + 3);
  return SCAN_DONE;
}

static void emit_data(ekhtml_parser *parser, const char *text, uint32_t length) {
  if (length > 0 && parser->_data_fn) parser->_data_fn(parser->_user_data, ekhtml_string{text, length});
}

static void emit_start_tag(ekhtml_parser *parser, char *token) {
  ekhtml_progress *p = &parser->_progress;
  upper_case(token + 1, p->_name_end - 1);
  ekhtml_string tag{token + 1, p->_name_end - 1};
  auto found = parser->_tags.find(std::string_view(tag._str, tag._len));
  ekhtml_start_fn fn = found != parser->_tags.end() && found->second._start ? found->second._start : parser->_start_fn;
  if (!fn) return;
  size_t count = p->_attrs.size();
  try {
    parser->_attr_records.resize(count);
  } catch (const std::bad_alloc &) {
    count = std::min(count, parser->_attr_records.size());
  }
  ekhtml_attr *list = nullptr;
  for (size_t i = 0; i < count; i++) {
    const ekhtml_attr_span &span = p->_attrs[i];
    ekhtml_attr *record = &parser->_attr_records[i];
    record->_name = ekhtml_string{token + span._name_at, span._name_len};
    record->_value = ekhtml_string{token + span._value_at, span._value_len};
    record->_no_value = span._no_value;
    record->_quote = span._quote;
    record->_next = list;
    list = record;
  }
  fn(parser->_user_data, tag, list);
}

static void emit_end_tag(ekhtml_parser *parser, char *token) {
  ekhtml_progress *p = &parser->_progress;
  upper_case(token + 2, p->_name_end - 2);
  ekhtml_string tag{token + 2, p->_name_end - 2};
  auto found = parser->_tags.find(std::string_view(tag._str, tag._len));
  ekhtml_end_fn fn = found != parser->_tags.end() && found->second._end ? found->second._end : parser->_end_fn;
  if (fn) fn(parser->_user_data, tag);
}

static void reset_progress(ekhtml_progress *progress, uint32_t at) {
  progress->_at = at;
  progress->_step = STEP_NAME;
  progress->_name_end = at;
  progress->_attr = ekhtml_attr_span{};
  progress->_attrs.clear();
}

// Keeps the scanned attribute; one that memory cannot hold is left out.
static void push_attr(ekhtml_progress *progress) {
  try {
    progress->_attrs.push_back(progress->_attr);
  } catch (const std::bad_alloc &) {
  }
}

static void upper_case(char *text, uint32_t length) {
  for (uint32_t i = 0; i < length; i++)
    if (text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 'a' + 'A');
}

static bool is(uint8_t byte, uint8_t mask) { return (k_classes._class[byte] & mask) != 0; }
