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

std::u16string wide(const std::string &utf8) {
  std::u16string out(size_t(port_str_utf8_to_wide(utf8.c_str(), -1, nullptr, 0)), u'\0');
  port_str_utf8_to_wide(utf8.c_str(), -1, out.data(), int(out.size()));
  out.pop_back();
  return out;
}

bool write_file(const std::string &path, const std::string &bytes) {
  FILE *file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

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

TEST(TxmlParse, SelfClosingElementWithQuotedAndBareAttributes) {
  parser_ptr p = parse("<a x=\"1\" y=2/>");
  txml_node *a = txml_get_root(p.get());
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(txml_node_get_name(a), "a");
  EXPECT_STREQ(txml_node_get_text(a), "");
  ASSERT_EQ(a->_attribute_names.size(), 2u);
  EXPECT_EQ(a->_attribute_names[0], "x");
  EXPECT_EQ(a->_attribute_values[0], "1");
  EXPECT_EQ(a->_attribute_names[1], "y");
  EXPECT_EQ(a->_attribute_values[1], "2");
  EXPECT_EQ(a->_child, nullptr);
  EXPECT_EQ(a->_sibling, nullptr);  // the trailing empty node is gone
}

TEST(TxmlParse, SingleQuotesAreABareValueAndBlanksAroundEqualsAreSkipped) {
  parser_ptr p = parse("<a k='v w' m = \"x y\"></a>");
  txml_node *a = txml_get_root(p.get());
  ASSERT_EQ(a->_attribute_names.size(), 2u);
  EXPECT_EQ(a->_attribute_values[0], "'v");  // a bare value ends at the space
  EXPECT_EQ(a->_attribute_names[1], "w' m");
  EXPECT_EQ(a->_attribute_values[1], "x y");
}

TEST(TxmlParse, DeclarationSkippedTextTrimmedMixedContentDropped) {
  parser_ptr p = parse("<?xml version=\"1.0\"?>\n<r>\n  head \t<b>1</b> tail <c/>\r\n</r>junk<s/>");
  txml_node *r = txml_get_root(p.get());
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(txml_node_get_name(r), "r");
  EXPECT_STREQ(txml_node_get_text(r), "head");
  ASSERT_NE(r->_child, nullptr);
  EXPECT_STREQ(txml_node_get_text(r->_child), "1");
  ASSERT_NE(r->_child->_sibling, nullptr);
  EXPECT_STREQ(txml_node_get_name(r->_child->_sibling), "c");
  EXPECT_EQ(r->_child->_sibling->_sibling, nullptr);
  ASSERT_NE(r->_sibling, nullptr);
  EXPECT_STREQ(txml_node_get_name(r->_sibling), "s");
}

TEST(TxmlParse, CaretMakesTheNextDelimiterOrdinaryAndStays) {
  parser_ptr p = parse("<a>x^<y^>z</a>");
  EXPECT_STREQ(txml_node_get_text(txml_get_root(p.get())), "x^<y^>z");
  parse("<a>^", 0);  // a caret at the very end must not step past the text
  parse("<a^>", 0);
}

TEST(TxmlParse, UnnamedElementsAreRemovedWithoutLosingTheirFollowers) {
  parser_ptr p = parse("<r><><x/></><b/>< /><c/></r>");
  txml_node *b = txml_get_root(p.get())->_child;
  ASSERT_NE(b, nullptr);
  EXPECT_STREQ(txml_node_get_name(b), "b");
  ASSERT_NE(b->_sibling, nullptr);
  EXPECT_STREQ(txml_node_get_name(b->_sibling), "c");
  EXPECT_EQ(b->_sibling->_sibling, nullptr);

  EXPECT_EQ(txml_get_root(parse("").get()), nullptr);
  EXPECT_EQ(txml_get_root(parse("just text").get()), nullptr);
}

TEST(TxmlEntities, DecodedOnceInOnePass) {
  parser_ptr p = parse("<a&amp;b t=\"&quot;&lt;\">&amp;lt; &lt;&gt;&quot;&amp; &amp;amp; &apos; & &lt</a&amp;b>");
  txml_node *a = txml_get_root(p.get());
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(txml_node_get_name(a), "a&b");
  EXPECT_EQ(a->_attribute_values[0], "\"<");
  const char *expected = "&lt; <>\"& &amp; &apos; & &lt";
  EXPECT_STREQ(txml_node_get_text(a), expected);
  EXPECT_STREQ(txml_node_get_text(a), expected);  // asking again decodes nothing more
  EXPECT_STREQ(txml_node_get_name(a), "a&b");
}

TEST(TxmlParse, EachFailureKindGivesZeroAndKeepsTheNodesBuilt) {
  const struct {
    const char *text;
    int kind;
  } cases[] = {
      {"<a>1</a><?xml", TXML_ERROR_SKIP_UNCLOSED},
      {"<a>1</a><-x", TXML_ERROR_SKIP_UNCLOSED},
      {"<a>1</a><b", TXML_ERROR_TAG_UNCLOSED},
      {"<a>1</a><b>text", TXML_ERROR_TEXT_UNCLOSED},
      {"<a>1</a><b>2</c>", TXML_ERROR_END_TAG_MISMATCH},
      {"<a>1</a><b><c/></d>", TXML_ERROR_END_TAG_MISMATCH},
      {"<a>1</a><b>2</b", TXML_ERROR_TAG_UNCLOSED},
      {"<a>1</a><b x/>", TXML_ERROR_NO_EQUALS},
      {"<a>1</a><b x= />", TXML_ERROR_NO_VALUE},
      {"<a>1</a><b x=\"1/>", TXML_ERROR_QUOTE_UNCLOSED},
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

TEST(TxmlPath, SearchesSiblingsFirstThenChildren) {
  parser_ptr p = parse("<a><x>1</x></a><b><y>2</y><z><w>3</w></z></b>");
  txml_node *a = txml_get_root(p.get());
  EXPECT_STREQ(txml_node_get_text(txml_node_find_path(a, "b/z/w")), "3");
  EXPECT_STREQ(txml_node_get_text(txml_node_find_path(a, "/b/y")), "2");
  EXPECT_EQ(txml_node_find_path(a, "a/y"), nullptr);
  EXPECT_EQ(txml_node_find_path(a, "B/y"), nullptr);
  EXPECT_EQ(txml_node_find_path(a, ""), nullptr);
  EXPECT_EQ(txml_node_find_path(a, "b//y"), nullptr);
  EXPECT_EQ(txml_node_find_path(a, "b/"), nullptr);
  EXPECT_EQ(txml_node_find_path(a->_sibling, "a"), nullptr);  // never looks back
  EXPECT_EQ(txml_node_find_sibling(a, "b"), a->_sibling);
  EXPECT_EQ(txml_node_find_sibling(a, "x"), nullptr);
}

class TxmlFile : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = test_make_temp_dir("txml"); ASSERT_FALSE(dir_.empty()); }
  void TearDown() override { test_remove_tree(dir_); }
  std::string dir_;
};

TEST_F(TxmlFile, ReadOnlySettingsFileWithEscapedFoldersUnderAWideName) {
  std::string path = dir_ + "/\xE8\xAE\xBE\xE7\xBD\xAE config.xml";
  ASSERT_TRUE(write_file(path, k_config));
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  parser_ptr p(txml_new());
  ASSERT_EQ(txml_load_file(p.get(), wide(path).c_str()), 1);
  txml_node *root = txml_get_root(p.get());
  ASSERT_NE(root, nullptr);
  EXPECT_STREQ(txml_node_get_name(root), "Brivola");
  int keys = 0;
  for (txml_node *n = root->_child; n; n = n->_sibling) keys++;
  EXPECT_EQ(keys, 26);
  EXPECT_EQ(wide(txml_node_get_text(txml_node_find_path(root, "Brivola/MyPaintsDir"))), u"/home/用/R&D <画>");
  EXPECT_STREQ(txml_node_get_text(txml_node_find_path(root, "Brivola/SaveDir")), "/tmp/a&lt;b");
  EXPECT_STREQ(txml_node_get_text(txml_node_find_path(root, "Brivola/RecentColors")), "0,0,0,0,0,0,0,0,");
}

TEST_F(TxmlFile, MissingEmptyOversizedAndUnreadableFilesParseNothing) {
  parser_ptr p = parse("<keep/>");  // a failed load keeps it, a good one replaces it
  EXPECT_EQ(txml_load_file(p.get(), wide(dir_ + "/absent.xml").c_str()), 0);
  std::string empty = dir_ + "/empty.xml";
  ASSERT_TRUE(write_file(empty, ""));
  EXPECT_EQ(txml_load_file(p.get(), wide(empty).c_str()), 0);
  EXPECT_EQ(txml_load_file(p.get(), wide(dir_).c_str()), 0);  // a folder opens but does not read

  std::string big = dir_ + "/big.xml";
  ASSERT_TRUE(write_file(big, "<a/>"));
  ASSERT_EQ(truncate(big.c_str(), TXML_MAX_FILE_SIZE + 1), 0);  // sparse, cheap
  EXPECT_EQ(txml_load_file(p.get(), wide(big).c_str()), 0);
  EXPECT_STREQ(txml_node_get_name(txml_get_root(p.get())), "keep");

  ASSERT_EQ(truncate(big.c_str(), 4 + 100), 0);  // NULs after the element end the text
  EXPECT_EQ(txml_load_file(p.get(), wide(big).c_str()), 1);
  EXPECT_STREQ(txml_node_get_name(txml_get_root(p.get())), "a");
}
