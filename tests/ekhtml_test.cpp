#include "ekhtml.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct parser_deleter {
  void operator()(ekhtml_parser *parser) const { ekhtml_free(parser); }
};
using parser_ptr = std::unique_ptr<ekhtml_parser, parser_deleter>;

// Every callback as one line: D[text], S[TAG attr attr ...] with attributes in
// the order the list gives them (name, name=value, name="value" or
// name='value'), E[TAG]; own tag callbacks are marked with '*'.
using events = std::vector<std::string>;

std::string str(ekhtml_string s) { return std::string(s._str, s._len); }

std::string attrs_text(const ekhtml_attr *attr) {
  std::string out;
  for (; attr; attr = attr->_next) {
    std::string quote = attr->_quote ? std::string(1, attr->_quote) : "";
    out += " " + str(attr->_name) + (attr->_no_value ? "" : "=" + quote + str(attr->_value) + quote);
  }
  return out;
}

void push(void *user, const std::string &event) { static_cast<events *>(user)->push_back(event); }
void on_data(void *user, ekhtml_string text) { push(user, "D[" + str(text) + "]"); }
void on_start(void *user, ekhtml_string tag, ekhtml_attr *attrs) { push(user, "S[" + str(tag) + attrs_text(attrs) + "]"); }
void on_end(void *user, ekhtml_string tag) { push(user, "E[" + str(tag) + "]"); }
void on_own_start(void *user, ekhtml_string tag, ekhtml_attr *attrs) { push(user, "S*[" + str(tag) + attrs_text(attrs) + "]"); }

parser_ptr make_parser(events *out) {
  parser_ptr parser(ekhtml_new(out));
  ekhtml_set_data_callback(parser.get(), on_data);
  ekhtml_add_start_callback(parser.get(), nullptr, on_start);
  ekhtml_add_end_callback(parser.get(), nullptr, on_end);
  return parser;
}

ekhtml_string view(const std::string &text) { return ekhtml_string{text.data(), static_cast<uint32_t>(text.size())}; }

// The page fed as the given pieces, each followed by a flush that keeps the
// tail when flush_between, and a final flush.
events run(const std::vector<std::string> &pieces, bool flush_between = false) {
  events out;
  parser_ptr parser = make_parser(&out);
  for (const std::string &piece : pieces) {
    EXPECT_EQ(ekhtml_feed(parser.get(), view(piece)), 1);
    if (flush_between) ekhtml_flush(parser.get(), 0);
  }
  ekhtml_flush(parser.get(), 1);
  return out;
}

std::string joined(const events &list) {
  std::string out;
  for (const std::string &event : list) out += event;
  return out;
}

// Something of every kind of token, with the bytes that decide at every cut.
const char k_page[] =
    "<!DOCTYPE html><html><head><TITLE>Help &amp; more</TITLE></head>\n"
    "<body bgcolor=\"#FFFFEE\"><p>Pick a <b>tool</b>, then < paint.<br/>"
    "<a href='page two.htm' x=y z>next</a ><!-- a -- comment --><img src=a_b.bmp/ alt=\"x>y\">"
    "<my_tag _u v = 'w'<i>in</i><!x><!-y>< p></p x><P>\xE4\xB8\xAD\xE6\x96\x87</p>"
    "<p class=\"open<b>b</b></body>\n<!-- never closed";

}  // namespace

TEST(EkhtmlTokens, EachKindReachesItsCallback) {
  struct {
    const char *page;
    const char *expected;
  } cases[] = {
      {"<p>Hello</p>", "S[P]D[Hello]E[P]"},
      // Names upper-cased, attributes as written and from the last to the first.
      {"<Img SRC=x.BMP Alt=\"A b\" w='3'>", "S[IMG w='3' Alt=\"A b\" SRC=x.BMP]"},
      {"<a x=1 y=2 z=3>", "S[A z=3 y=2 x=1]"},
      // A '<' before a space starts no tag.
      {"a < b", "D[a ]D[< b]"},
      {"<<p>", "D[<]S[P]"},
      // A start tag ended by '<' is reported and the '<' starts the next.
      {"<p class=x<b>t", "S[P class=x]S[B]D[t]"},
      {"<a href=\"x>y\">", "S[A href=\"x\"]D[y\">]"},
      {"<a href='u<b>", "S[A href='u']S[B]"},
      // Comments reach nothing; declarations reach the data callback whole.
      {"<!-- c -- d -->x<!---->y", "D[x]D[y]"},
      {"<!DOCTYPE html>x", "D[<!DOCTYPE html>]D[x]"},
      {"<!-x>", "D[<!-x>]"},
      {"<!x<p>", "D[<!x]S[P]"},
      // Values: bare ones take the URL marks, blanks around '=' are skipped.
      {"<a href=http://h/p?q=1&r=~2#f(x)*!$%+:@]>", "S[A href=http://h/p?q=1&r=~2#f(x)*!$%+:@]]"},
      {"<td nowrap width = 5 x=>", "S[TD x= width=5 nowrap]"},
      {"<br/><hr / >", "S[BR]S[HR]"},
      {"<p \"junk\" a=1>", "S[P]"},
      // '_' is a name byte of attributes only.
      {"<my_tag a_b=1>", "S[MY a_b=1 _tag]"},
      {"<_p>", "D[<_p>]"},
      {"<\xC3\xA9t\xC3\xA9 \xC3\xA0=1>", "S[\xC3\xA9T\xC3\xA9 \xC3\xA0=1]"},
      // End tags: blanks and anything else up to '>' or '<'.
      {"</p ></Em x=1></>", "E[P]E[EM]E[]"},
      {"</b<i>", "E[B]S[I]"},
      // Unfinished tokens at the end go to the data callback as they are.
      {"x<", "D[x]D[<]"},
      {"<!-- open", "D[<!-- open]"},
      {"<p class=\"a", "D[<p class=\"a]"},
      {"<!-", "D[<!-]"},
  };
  for (const auto &c : cases) EXPECT_EQ(joined(run({c.page})), c.expected) << c.page;
}

TEST(EkhtmlTokens, OwnTagCallbacksBeforeTheCatchAll) {
  events out;
  parser_ptr parser = make_parser(&out);
  ASSERT_EQ(ekhtml_add_start_callback(parser.get(), "b", on_own_start), 1);
  // Only the start kind of B is its own: its end goes to the catch-all.
  ASSERT_EQ(ekhtml_add_end_callback(parser.get(), "i", nullptr), 1);
  ekhtml_feed(parser.get(), view("<B x><b></b><i></i><p>"));
  ekhtml_flush(parser.get(), 1);
  EXPECT_EQ(joined(out), "S*[B x]S*[B]E[B]S[I]E[I]S[P]");

  out.clear();
  ekhtml_add_start_callback(parser.get(), nullptr, nullptr);
  ekhtml_add_end_callback(parser.get(), nullptr, nullptr);
  ekhtml_feed(parser.get(), view("<p>t</p><b>"));
  ekhtml_flush(parser.get(), 1);
  EXPECT_EQ(joined(out), "D[t]S*[B]") << "tags without any callback are dropped";
}

// The callbacks do not depend on where the page was cut: character data too
// waits for its end, so not even adjacent data callbacks need merging.
TEST(EkhtmlTokens, PageCutAnywhereGivesTheCallbacksOfOneFeed) {
  std::string page = k_page;
  events whole = run({page});
  ASSERT_NE(joined(whole).find("S[MY v='w' _u _tag]S[I]D[in]E[I]D[<!x>]D[<!-y>]D[< p>]E[P]S[P]"), std::string::npos)
      << joined(whole);
  for (size_t cut = 0; cut <= page.size(); cut++) {
    std::vector<std::string> pieces = {page.substr(0, cut), page.substr(cut)};
    EXPECT_EQ(run(pieces, true), whole) << "cut at " << cut;
    // Three pieces: a token cut twice keeps its progress across both.
    size_t second = cut + (page.size() - cut) / 2;
    pieces = {page.substr(0, cut), page.substr(cut, second - cut), page.substr(second)};
    EXPECT_EQ(run(pieces, true), whole) << "cuts at " << cut << " and " << second;
  }
}

TEST(EkhtmlTokens, TokensLongerThanTheBufferGrowIt) {
  // A tag, a comment and a declaration each several buffers long, fed in
  // pieces of many sizes without any flush: only a full buffer tokenizes.
  std::string long_value(3 * EKHTML_BUFFER_STEP, 'v');
  std::string page = "<p>" + std::string(EKHTML_BUFFER_STEP + 7, 't') + "<a href=\"" + long_value + "\" x=1>" +
                     "<!--" + long_value + "-->" + "<!" + long_value + ">" + "</a>";
  events expected = {"S[P]", "D[" + std::string(EKHTML_BUFFER_STEP + 7, 't') + "]",
                     "S[A x=1 href=\"" + long_value + "\"]", "D[<!" + long_value + ">]", "E[A]"};
  for (size_t step : {1u, 7u, 4095u, 4096u, 5000u, 100000u}) {
    std::vector<std::string> pieces;
    for (size_t at = 0; at < page.size(); at += step) pieces.push_back(page.substr(at, step));
    EXPECT_EQ(run(pieces), expected) << "pieces of " << step;
  }
}

TEST(EkhtmlTokens, AFailedGrowEndsTheFeedAndKeepsTheTokenizerUsable) {
  ekhtml_set_buffer_limit(EKHTML_BUFFER_STEP);
  events out;
  parser_ptr parser = make_parser(&out);
  std::string page = "<p>x</p><!--" + std::string(2 * EKHTML_BUFFER_STEP, '-');
  testing::internal::CaptureStderr();
  EXPECT_EQ(ekhtml_feed(parser.get(), view(page)), 0);
  std::string message = testing::internal::GetCapturedStderr();
  ekhtml_set_buffer_limit(0);
  EXPECT_EQ(message, "BAD! Can't allocate 8192 bytes in ekhtml_buffer_grow\n");
  // What did fit is still there: the tag before it went, and a buffer of the
  // comment ends as text.
  EXPECT_EQ(ekhtml_flush(parser.get(), 1), 1);
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(joined({out[0], out[1], out[2]}), "S[P]D[x]E[P]");
  EXPECT_EQ(out[3], "D[<!--" + std::string(EKHTML_BUFFER_STEP - 4, '-') + "]");
  out.clear();
  EXPECT_EQ(ekhtml_feed(parser.get(), view("<b>y")), 1);
  ekhtml_flush(parser.get(), 1);
  EXPECT_EQ(joined(out), "S[B]D[y]");
}

TEST(EkhtmlTokens, FlushKeepsAnUnfinishedTailUntilTheFinalOne) {
  events out;
  parser_ptr parser = make_parser(&out);
  EXPECT_EQ(ekhtml_flush(parser.get(), 0), 0) << "nothing buffered, nothing consumed";
  ekhtml_feed(parser.get(), view("ab<p cl"));
  EXPECT_EQ(ekhtml_flush(parser.get(), 0), 1);
  EXPECT_EQ(joined(out), "D[ab]");
  ekhtml_feed(parser.get(), view("ass=x>tail"));
  EXPECT_EQ(ekhtml_flush(parser.get(), 0), 1);
  EXPECT_EQ(joined(out), "D[ab]S[P class=x]") << "data waits for its end too";
  ekhtml_feed(parser.get(), view(" end<p"));
  EXPECT_EQ(ekhtml_flush(parser.get(), 0), 1);
  EXPECT_EQ(joined(out), "D[ab]S[P class=x]D[tail end]");
  out.clear();
  ekhtml_flush(parser.get(), 1);
  EXPECT_EQ(joined(out), "D[<p]");
}
