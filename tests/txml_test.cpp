#include "txml.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "port_log.h"
#include "test_env.h"

namespace {

struct parser_deleter {
  void operator()(txml *parser) const { txml_free(parser); }
};
using parser_ptr = std::unique_ptr<txml, parser_deleter>;

parser_ptr parse(const std::string &text, int expected = 1) {
  parser_ptr parser(txml_new());
  EXPECT_EQ(txml_parse_string(parser.get(), text.c_str()), expected) << text;
  return parser;
}

// The tree as text: name(attribute=value,...)"text"{children}, siblings
// separated by spaces; the parts that are empty are left out.
std::string dump(txml_node *node) {
  std::string out;
  for (; node; node = node->_sibling) {
    out += (out.empty() ? "" : " ") + node->_name;
    for (size_t i = 0; i < node->_attribute_names.size(); i++)
      out += (i ? "," : "(") + node->_attribute_names[i] + "=" + node->_attribute_values[i] +
             (i + 1 == node->_attribute_names.size() ? ")" : "");
    if (*txml_node_get_text(node)) out += std::string("\"") + txml_node_get_text(node) + "\"";
    if (node->_child) out += "{" + dump(node->_child) + "}";
  }
  return out;
}
std::string dump(const std::string &text) { return dump(txml_get_root(parse(text).get())); }

const char k_config[] =
    "<Brivola>\n<NewWidth>480</NewWidth>\n<NewHeight>640</NewHeight>\n<NewColor>10092543</NewColor>\n"
    "<ForeColor>128,0,0,255</ForeColor>\n<BackColor>10092543</BackColor>\n<PenSize>7</PenSize>\n"
    "<RubberSize>12</RubberSize>\n<PenStyle>1</PenStyle>\n<FillStyle>0</FillStyle>\n<FontStyle>0</FontStyle>\n"
    "<PictureStyle>1</PictureStyle>\n<MyPaintsDir>/home/\xE7\x94\xA8/R&amp;D &lt;\xE7\x94\xBB&gt;</MyPaintsDir>\n"
    "<OpenDir>/</OpenDir>\n<SaveDir>/tmp/a&amp;lt;b</SaveDir>\n<TBTranslucent>1</TBTranslucent>\n"
    "<TBAutoHide>1</TBAutoHide>\n<TBX1>5</TBX1>\n<TBY1>5</TBY1>\n<TBWidth1>470</TBWidth1>\n"
    "<TBHeight1>120</TBHeight1>\n<TBX2>5</TBX2>\n<TBY2>5</TBY2>\n<TBWidth2>120</TBWidth2>\n"
    "<TBHeight2>470</TBHeight2>\n<RecentColorNum>1</RecentColorNum>\n"
    "<RecentColors>0,0,0,0,0,0,0,0,</RecentColors>\n</Brivola>\n";

}  // namespace

TEST(TxmlParse, AttributesTextAndTheTreeAsBuilt) {
  EXPECT_EQ(dump("<a x=\"1\" y=2/>"), "a(x=1,y=2)") << "the trailing empty node is gone";
  // Single quotes are a bare value, which ends at a space; blanks around
  // the equals sign are skipped.
  EXPECT_EQ(dump("<a k='v w' m = \"x y\"></a>"), "a(k='v,w' m=x y)");
  // The declaration is skipped, text trimmed, mixed content dropped.
  EXPECT_EQ(dump("<?xml version=\"1.0\"?>\n<r>\n  head \t<b>1</b> tail <c/>\r\n</r>junk<s/>"), "r\"head\"{b\"1\" c} s");
  // A caret makes the next delimiter ordinary and stays; at the very end it
  // must not step past the text.
  EXPECT_EQ(dump("<a>x^<y^>z</a>"), "a\"x^<y^>z\"");
  parse("<a>^", 0);
  parse("<a^>", 0);
  // Unnamed elements are removed without losing their followers.
  EXPECT_EQ(dump("<r><><x/></><b/>< /><c/></r>"), "r{b c}");
  EXPECT_EQ(dump(""), "");
  EXPECT_EQ(dump("just text"), "");
}

TEST(TxmlEntities, DecodedOnceInOnePass) {
  parser_ptr p = parse("<a&amp;b t=\"&quot;&lt;\">&amp;lt; &lt;&gt;&quot;&amp; &amp;amp; &apos; & &lt</a&amp;b>");
  EXPECT_EQ(dump(txml_get_root(p.get())), "a&b(t=\"<)\"&lt; <>\"& &amp; &apos; & &lt\"");
  EXPECT_EQ(dump(txml_get_root(p.get())), "a&b(t=\"<)\"&lt; <>\"& &amp; &apos; & &lt\"") << "asked again";
}

TEST(TxmlParse, EachFailureKindGivesZeroAndKeepsTheNodesBuilt) {
  const struct {
    const char *text;
    int kind;
  } cases[] = {
      {"<a>1</a><?xml", TXML_ERROR_SKIP_UNCLOSED},       {"<a>1</a><-x", TXML_ERROR_SKIP_UNCLOSED},
      {"<a>1</a><b", TXML_ERROR_TAG_UNCLOSED},           {"<a>1</a><b>text", TXML_ERROR_TEXT_UNCLOSED},
      {"<a>1</a><b>2</c>", TXML_ERROR_END_TAG_MISMATCH}, {"<a>1</a><b><c/></d>", TXML_ERROR_END_TAG_MISMATCH},
      {"<a>1</a><b>2</b", TXML_ERROR_TAG_UNCLOSED},      {"<a>1</a><b x/>", TXML_ERROR_NO_EQUALS},
      {"<a>1</a><b x= />", TXML_ERROR_NO_VALUE},         {"<a>1</a><b x=\"1/>", TXML_ERROR_QUOTE_UNCLOSED},
      {"<a>1</a><b><c/>", TXML_ERROR_CHILD_UNCLOSED},
      {"<a>1</a><!-- comment -->", TXML_ERROR_NO_EQUALS},  // only "<?" and "<-" are skipped
  };
  for (const auto &c : cases) {
    parser_ptr p = parse(c.text, 0);
    EXPECT_EQ(p->_error, c.kind) << c.text;
    txml_node *a = txml_get_root(p.get());
    ASSERT_NE(a, nullptr) << c.text;
    EXPECT_STREQ(txml_node_get_text(a), "1") << c.text;
  }
}

TEST(TxmlParse, NestingIsBoundedAndLongContentFits) {
  auto nested = [](int depth) {
    std::string text;
    for (int i = 0; i < depth; i++) text += "<e>";
    for (int i = 0; i < depth; i++) text += "</e>";
    return text;
  };
  parser_ptr deep = parse(nested(TXML_MAX_DEPTH));
  int levels = 0;
  for (txml_node *n = txml_get_root(deep.get()); n; n = n->_child) levels++;
  EXPECT_EQ(levels, TXML_MAX_DEPTH);
  EXPECT_EQ(parse(nested(TXML_MAX_DEPTH + 1), 0)->_error, TXML_ERROR_TOO_DEEP);
  EXPECT_EQ(parse(std::string(200000, '<'), 0)->_error, TXML_ERROR_TAG_UNCLOSED);
  EXPECT_EQ(parse(nested(100000), 0)->_error, TXML_ERROR_TOO_DEEP);

  // Far beyond the 8 KiB that the settings file never comes near.
  std::string name(600, 'n'), text(20000, 't');
  parser_ptr p = parse("<r><" + name + " v=\"" + text + "\">" + text + "</" + name + "></r>");
  txml_node *found = txml_node_find_path(txml_get_root(p.get()), ("r/" + name).c_str());
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->_text, text);
  EXPECT_EQ(found->_attribute_values[0], text);
}

TEST(TxmlParse, MemoryRunningOutFailsTheParseAndKeepsTheNodesBuilt) {
  std::string text = "<r>";
  for (int i = 0; i < 50; i++) text += "<k>" + std::to_string(i) + "</k>";
  text += "</r>";
  for (long limit : {0L, 1L, 2L, 30L}) {
    txml_set_node_limit(limit);
    parser_ptr p = parse(text, 0);
    txml_set_node_limit(-1);
    EXPECT_EQ(p->_error, TXML_ERROR_NO_MEMORY) << limit;
    if (limit > 2) {
      EXPECT_STREQ(txml_node_get_text(txml_node_find_path(txml_get_root(p.get()), "r/k")), "0");
    }
  }
}

TEST(TxmlPath, SearchesSiblingsFirstThenChildren) {
  parser_ptr p = parse("<a><x>1</x></a><b><y>2</y><z><w>3</w></z></b>");
  txml_node *a = txml_get_root(p.get());
  EXPECT_STREQ(txml_node_get_text(txml_node_find_path(a, "b/z/w")), "3");
  EXPECT_STREQ(txml_node_get_text(txml_node_find_path(a, "/b/y")), "2");
  for (const char *absent : {"a/y", "B/y", "", "b//y", "b/"}) EXPECT_EQ(txml_node_find_path(a, absent), nullptr) << absent;
  EXPECT_EQ(txml_node_find_path(a->_sibling, "a"), nullptr);  // never looks back
  EXPECT_EQ(txml_node_find_sibling(a, "b"), a->_sibling);
  EXPECT_EQ(txml_node_find_sibling(a, "x"), nullptr);
}

TEST_F(TempDirTest, TxmlReadsAReadOnlySettingsFileWithEscapedFoldersUnderAWideName) {
  std::string name = "\xE8\xAE\xBE\xE7\xBD\xAE config.xml";
  ASSERT_TRUE(test_write_file(path(name), std::string(k_config)));
  ASSERT_EQ(chmod(path(name).c_str(), 0444), 0);
  parser_ptr p(txml_new());
  ASSERT_EQ(txml_load_file(p.get(), wpath(name).c_str()), 1);
  txml_node *root = txml_get_root(p.get());
  ASSERT_NE(root, nullptr);
  EXPECT_STREQ(txml_node_get_name(root), "Brivola");
  int keys = 0;
  for (txml_node *n = root->_child; n; n = n->_sibling) keys++;
  EXPECT_EQ(keys, 26);
  EXPECT_EQ(test_wide(txml_node_get_text(txml_node_find_path(root, "Brivola/MyPaintsDir"))), u"/home/用/R&D <画>");
  EXPECT_STREQ(txml_node_get_text(txml_node_find_path(root, "Brivola/SaveDir")), "/tmp/a&lt;b");
  EXPECT_STREQ(txml_node_get_text(txml_node_find_path(root, "Brivola/RecentColors")), "0,0,0,0,0,0,0,0,");
}

TEST_F(TempDirTest, TxmlParsesNothingFromMissingEmptyOversizedAndUnreadableFiles) {
  parser_ptr p = parse("<keep/>");  // a failed load keeps it, a good one replaces it
  ASSERT_EQ(mkfifo(path("pipe.xml").c_str(), 0600), 0);  // opening it must not wait for a writer
  ASSERT_TRUE(test_write_file(path("empty.xml"), std::string()));
  ASSERT_TRUE(test_write_file(path("big.xml"), std::string("<a/>")));
  ASSERT_EQ(truncate(path("big.xml").c_str(), TXML_MAX_FILE_SIZE + 1), 0);  // sparse, cheap
  for (const char *name : {"absent.xml", "empty.xml", "", "big.xml", "pipe.xml"})  // "": the folder opens but does not read
    EXPECT_EQ(txml_load_file(p.get(), wpath(name).c_str()), 0) << name;
  EXPECT_STREQ(txml_node_get_name(txml_get_root(p.get())), "keep");

  ASSERT_EQ(truncate(path("big.xml").c_str(), 4 + 100), 0);  // NULs after the element end the text
  EXPECT_EQ(txml_load_file(p.get(), wpath("big.xml").c_str()), 1);
  EXPECT_STREQ(txml_node_get_name(txml_get_root(p.get())), "a");
}
