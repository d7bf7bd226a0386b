// The help page renderer on fixed-advance metrics (a 10-point font is 12
// pixels high, ascent 10 and descent 2, and 5 wide a character; a line 15): where each piece of text
// lands, in which font, what the tags and entities do, how runs wrap in
// Latin, Cyrillic and Chinese, pictures past the 64th, and widths of 0 and
// below.
#include "html_render.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "gui_fixture.h"
#include "tbitmap.h"
#include "tform.h"
#include "timage.h"
#include "tlabel.h"
#include "tlinklabel.h"
#include "tseperator.h"
#include "tstyler.h"
#include "ttdrawer.h"
#include "test_env.h"
#include "widget_fixture.h"

namespace {

// One control as the renderer placed it.
struct placed {
  std::string kind;  // "label", "link", "rule", "image"
  std::u16string text;
  trect rect;
  int32_t size;
  uint32_t style;
  uint32_t color;  // colour word
  std::u16string url;
  auto fields() const {
    return std::make_tuple(kind, text, rect.x1, rect.y1, rect.x2, rect.y2, size, style, color, url);
  }
  bool operator==(const placed &o) const { return fields() == o.fields(); }
};

std::ostream &operator<<(std::ostream &out, const placed &p) {
  return out << p.kind << " \"" << test_utf8(p.text) << "\" (" << p.rect.x1 << "," << p.rect.y1 << ")-(" << p.rect.x2
             << "," << p.rect.y2 << ") size " << p.size << " style " << p.style << " color " << std::hex << p.color
             << std::dec << " url " << test_utf8(p.url);
}

struct recorder {
  std::vector<placed> controls;
  std::vector<tcontrol *> owned;
  std::vector<std::function<void()>> frees;
  std::u16string title;
  std::vector<uint32_t> backgrounds;
  int bitmaps_to_give = 1000;
  void keep(tcontrol *c, void (*free_fn)(tcontrol *)) {
    owned.push_back(c);
    frees.push_back([=] { free_fn(c); });
  }
};

recorder *recorder_of(html_render *render) { return static_cast<recorder *>(html_render_get_user_data(render)); }

placed describe(tlabel *label, const char *kind, std::u16string url = u"") {
  ttdrawer *drawer = tlabel_get_tdrawer(label);
  tcolor color;
  ttdrawer_get_color(drawer, &color);
  return {kind, std::u16string(label->_text, size_t(label->_length)), *tsurface_get_rect(&label->_control._surface),
          ttdrawer_get_font_size(drawer), ttdrawer_get_font_style(drawer), tcolor_to_word(&color), url};
}

void on_title(html_render *render, const char16_t *text) { recorder_of(render)->title += text; }
void on_bgcolor(html_render *render, uint32_t color) { recorder_of(render)->backgrounds.push_back(color); }
void on_label(html_render *render, tlabel *label) {
  recorder_of(render)->controls.push_back(describe(label, "label"));
  recorder_of(render)->keep(&label->_control, [](tcontrol *c) { tlabel_free(reinterpret_cast<tlabel *>(c)); });
}
void on_link(html_render *render, tlinklabel *link) {
  recorder_of(render)->controls.push_back(describe(&link->_label, "link", tlinklabel_get_url(link)));
  recorder_of(render)->keep(&link->_label._control, [](tcontrol *c) { tlinklabel_free(reinterpret_cast<tlinklabel *>(c)); });
}
void on_rule(html_render *render, tseperator *rule) {
  recorder_of(render)->controls.push_back({"rule", u"", *tsurface_get_rect(&rule->_control._surface), 0, 0, 0, u""});
  recorder_of(render)->keep(&rule->_control, [](tcontrol *c) { tseperator_free(reinterpret_cast<tseperator *>(c)); });
}
// Gives each picture its own copy of the file, while bitmaps_to_give lasts.
void on_image(html_render *render, timage *image, const char16_t *path) {
  recorder *r = recorder_of(render);
  r->keep(&image->_control, [](tcontrol *c) { timage_free(reinterpret_cast<timage *>(c)); });
  if (r->bitmaps_to_give-- <= 0) return;
  tbitmap *bitmap = static_cast<tbitmap *>(calloc(1, sizeof(tbitmap)));
  r->frees.push_back([=] { tbitmap_free(bitmap); });
  ASSERT_TRUE(tbitmap_load_bmp(bitmap, path));
  timage_set_bitmap(image, bitmap);
}

// The form's content width is its width less 20; the base font is 10 points.
struct page_env {
  recorder rec;
  tform *form;
  html_render *render;
  explicit page_env(int32_t form_width = 200) {
    ttdrawer_set_font_size(tstyler_get_default_tdrawer(), 9);
    trect rect = {0, 0, form_width - 1, 399};
    form = tform_new(nullptr, &rect, nullptr);
    render = html_render_new(form, &rec);
    html_render_set_on_title(render, on_title);
    html_render_set_on_bgcolor(render, on_bgcolor);
    html_render_set_on_add_label(render, on_label);
    html_render_set_on_add_linklabel(render, on_link);
    html_render_set_on_add_seperator(render, on_rule);
    html_render_set_on_add_image(render, on_image);
  }
  int parse(const std::string &page) { return html_render_parse(render, page.data(), uint32_t(page.size())); }
  // Type and text of each control, in order.
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const placed &p : rec.controls) out.push_back(p.kind + ":" + test_utf8(p.text));
    return out;
  }
  ~page_env() {
    tform_clear_children(form);
    for (auto &free_one : rec.frees) free_one();
    html_render_free(render);
    tform_free(form);
  }
};

constexpr uint32_t k_black = 0xFF000000;
constexpr uint32_t k_blue = 0xFF0000FF;

void with_pages(const std::function<void()> &body) {
  run_on_styled_screen(
      [&](tscreen *) {
        widget_env env;
        body();
      },
      "480x640");
}

}  // namespace

// Text outside P is dropped, TITLE only names the page, and a word, a B
// element and another word sit on one line as three labels, the middle bold.
TEST(HtmlRender, ParagraphTextLandsOnOneLineInItsFonts) {
  with_pages([] {
    page_env page;
    ASSERT_EQ(page.parse("<TITLE>The &amp; title</TITLE><BODY>lost<P>One <B>two</B> three</P></BODY>"), 1);
    EXPECT_EQ(html_render_get_width(page.render), 180);
    EXPECT_EQ(page.rec.title, u"The & title");
    std::vector<placed> expected = {
        {"label", u"One ", {10, 10, 30, 24}, 10, 0, k_black, u""},
        {"label", u"two", {31, 10, 46, 24}, 10, TCANVAS_FONT_BOLD, k_black, u""},
        {"label", u" three", {47, 10, 77, 24}, 10, 0, k_black, u""},
    };
    EXPECT_EQ(page.rec.controls, expected);
  });
}

// Each tag's step down the form: BR a font height + 3 (15), a paragraph's end
// + 6, a rule 5 after it, a link in blue underlined carrying its HREF, and
// FONT with SIZE n in the table's points, restored one level only.
TEST(HtmlRender, TagsStepDownAndChangeTheFont) {
  struct row {
    const char *page;
    std::vector<placed> expected;
  };
  const row rows[] = {
      {"<P>a<BR>b</P><P>c</P><HR><P>d</P>",
       {{"label", u"a", {10, 10, 15, 24}, 10, 0, k_black, u""},
        {"label", u"b", {10, 25, 15, 39}, 10, 0, k_black, u""},
        {"label", u"c", {10, 43, 15, 57}, 10, 0, k_black, u""},
        {"rule", u"", {10, 61, 189, 62}, 0, 0, 0, u""},
        {"label", u"d", {10, 66, 15, 80}, 10, 0, k_black, u""}}},
      {"<P><A HREF=\"x.htm\">go</A> <I><U>on</U></I><STRIKE>!</STRIKE></P>",
       {{"link", u"go", {10, 10, 20, 24}, 10, TCANVAS_FONT_UNDERLINE, k_blue, u"x.htm"},
        {"label", u" ", {21, 10, 26, 24}, 10, 0, k_black, u""},
        {"label", u"on", {27, 10, 37, 24}, 10, TCANVAS_FONT_ITALIC | TCANVAS_FONT_UNDERLINE, k_black, u""},
        {"label", u"!", {38, 10, 43, 24}, 10, TCANVAS_FONT_STRIKEOUT, k_black, u""}}},
      // Inner FONT saves the outer's size and colour (14, red) over the
      // outer's own save: after the inner end the text is 14-point red, and
      // so it stays after the outer end. SIZE 0 or "x" and COLOR without "#"
      // change nothing.
      {"<P><FONT SIZE=\"5\" COLOR=\"#FF0000\">a<FONT SIZE=\"2\" COLOR=\"#00FF00\">b</FONT>c</FONT>d"
       "<FONT SIZE=\"0\">e</FONT><FONT SIZE=\"x\" COLOR=\"00FF00\">f</FONT></P>",
       {{"label", u"a", {10, 10, 17, 29}, 14, 0, 0xFFFF0000, u""},
        {"label", u"b", {18, 10, 22, 23}, 9, 0, 0xFF00FF00, u""},
        {"label", u"c", {23, 10, 30, 29}, 14, 0, 0xFFFF0000, u""},
        {"label", u"d", {31, 10, 38, 29}, 14, 0, 0xFFFF0000, u""},
        {"label", u"e", {39, 10, 46, 29}, 14, 0, 0xFFFF0000, u""},
        {"label", u"f", {47, 10, 54, 29}, 14, 0, 0xFFFF0000, u""}}},
  };
  with_pages([&] {
    for (const row &r : rows) {
      SCOPED_TRACE(r.page);
      page_env page;
      page.parse(r.page);
      EXPECT_EQ(page.rec.controls, r.expected);
    }
  });
}

// Line breaks are deleted, not made spaces, and the entities are replaced in
// their order, each everywhere before the next.
TEST(HtmlRender, EntitiesAndLineBreaks) {
  with_pages([] {
    page_env page;
    page.parse("<P>a\r\nb &amp;lt;&quot;&nbsp;&#39;&gt;&amp;amp;</P>");
    EXPECT_EQ(page.texts(), std::vector<std::string>{"label:ab <\" '>&amp;"});
  });
}

TEST(HtmlRender, BodyColourNeedsAHash) {
  with_pages([] {
    page_env page;
    page.parse("<BODY BGCOLOR=\"102030\"><BODY bgcolor=\"#102030\">");
    EXPECT_EQ(page.rec.backgrounds, std::vector<uint32_t>{0x302010});
    tcolor fill = tcontrol_get_box_drawer(&page.form->_control)->_fill_color;
    EXPECT_EQ(tcolor_to_word(&fill), 0xFF102030u);
  });
}

// 36 characters fit a line of 180 pixels. Words stay whole in Latin and
// Cyrillic, with the spaces at a break on neither line; a word wider than a
// line starts a line of its own and breaks between characters; a closing
// mark stays on the line of what it closes (the piece before it comes down
// with it); ideographs break anywhere.
TEST(HtmlRender, RunsWrapAtWordsOfAlphabeticScripts) {
  struct row {
    const char *page;
    std::vector<std::string> expected;
  };
  const row rows[] = {
      {"<P>Choose a tool on the tool bar and draw on the canvas.</P>",
       {"label:Choose a tool on the tool bar and", "label:draw on the canvas."}},
      {"<P>Выберите инструмент на панели и рисуйте на холсте.</P>",
       {"label:Выберите инструмент на панели и", "label:рисуйте на холсте."}},
      {"<P>ab <B>cdefghijklmnopqrstuvwxyz0123456789ABCDEFGH and more</B></P>",
       {"label:ab ", "label:cdefghijklmnopqrstuvwxyz0123456789AB", "label:CDEFGH and more"}},
      {"<P>0123456789 0123456789 0123456789 <B>ab</B>, then more</P>",
       {"label:0123456789 0123456789 0123456789 ", "label:ab", "label:, then more"}},
  };
  with_pages([&] {
    for (const row &r : rows) {
      SCOPED_TRACE(r.page);
      page_env page;
      page.parse(r.page);
      EXPECT_EQ(page.texts(), r.expected);
    }
    // 50 ideographs, the 37th a full stop: 35, then 15.
    std::u16string chinese;
    for (int i = 0; i < 50; i++) chinese += char16_t(0x4E00 + i * 37);
    chinese[36] = u'\u3002';
    {
      page_env page;
      page.parse("<P>" + test_utf8(chinese) + "</P>");
      EXPECT_EQ(page.texts(), (std::vector<std::string>{"label:" + test_utf8(chinese.substr(0, 35)),
                                                         "label:" + test_utf8(chinese.substr(35))}));
    }
    // The long word of the third row starts a line of its own; in the
    // fourth, "ab" moves down to the comma's line.
    {
      page_env page;
      page.parse(rows[2].page);
      ASSERT_EQ(page.rec.controls.size(), 3u);
      EXPECT_EQ(page.rec.controls[1].rect.x1, 10);
      EXPECT_EQ(page.rec.controls[1].rect.y1, 10 + 15);
    }
    // Only an ideograph breaks a word, each met where the line is full.
    for (auto [c, word] : {std::pair{u'\u00E1', true}, {u'\u00D7', true}, {u'\u03B1', true}, {u'\u037E', true},
                           {u'\u0561', true}, {u'\u1EA1', true}, {u'\u4E00', false}}) {
      std::string letter = test_utf8(std::u16string(1, c));
      page_env page;
      page.parse("<P>Choose a tool on the tool bar and dr" + letter + "w on the canvas.</P>");
      EXPECT_EQ(page.texts(), (std::vector<std::string>{"label:Choose a tool on the tool bar and" + std::string(word ? "" : " dr"),
                                                         "label:" + (word ? "dr" + letter : letter) + "w on the canvas."}))
          << letter;
    }
    page_env page;
    page.parse(rows[3].page);
    const trect *ab = tsurface_get_rect(&page.rec.owned[1]->_surface);
    EXPECT_EQ((std::vector<int32_t>{ab->x1, ab->y1, page.rec.controls[2].rect.x1}),
              (std::vector<int32_t>{10, 25, 21}));
    // The form scrolls it from there.
    const tform_entry *entry = page.form->_entries[tform_get_child_index(page.form, page.rec.owned[1])];
    EXPECT_TRUE(trect_is_equal(&entry->_home, ab));
  });
}

// A form too narrow for any character still ends: a character a label.
TEST(HtmlRender, WrappingEndsAtAnyWidth) {
  with_pages([] {
    for (int32_t width : {1, 19, 20, 21, 24}) {
      SCOPED_TRACE(width);
      page_env page(width);
      page.parse("<P>one two three<BR>four</P>");
      EXPECT_LE(html_render_get_width(page.render), 4);
      std::vector<std::string> expected;
      for (char c : std::string("onetwothreefour")) expected.push_back(std::string("label:") + c);
      EXPECT_EQ(page.texts(), expected);
    }
  });
}

// Pictures: only BMP files that load, placed down the left edge; past the
// owner's 64 bitmaps a picture keeps the file's size and stays empty.
TEST(HtmlRender, PicturesBeyondTheBitmapsKeepTheirSize) {
  std::string dir = test_make_temp_dir("html_render");
  tbitmap *bmp = tbitmap_new(30, 20, 24);
  ASSERT_TRUE(tbitmap_save_bmp(bmp, test_wide(dir + "/p.BMP").c_str()));
  tbitmap_free(bmp);
  test_write_file(dir + "/not.bmp", std::string("BM no picture"));
  test_write_file(dir + "/p.png", std::string("\x89PNG"));
  std::string page_text = "<IMG SRC=\"p.png\"><IMG SRC=\"not.bmp\"><IMG SRC=\"missing.bmp\"><IMG SRC=\"\">";
  for (int i = 0; i < 65; i++) page_text += "<IMG SRC=\"p.BMP\">";
  page_text += "<P>x</P>";
  test_write_file(dir + "/page.htm", page_text);
  with_pages([&] {
    page_env page;
    page.rec.bitmaps_to_give = 64;
    ASSERT_EQ(html_render_load_file(page.render, test_wide(dir + "/page.htm").c_str()), 1);
    ASSERT_EQ(page.rec.owned.size(), 66u);
    for (int i = 0; i < 65; i++) {
      timage *image = reinterpret_cast<timage *>(page.rec.owned[size_t(i)]);
      const trect *rect = tsurface_get_rect(&image->_control._surface);
      EXPECT_EQ(rect->x1, 10);
      EXPECT_EQ(rect->y1, 10 + 25 * i);
      EXPECT_EQ(rect->x2 - rect->x1 + 1, 30);
      EXPECT_EQ(rect->y2 - rect->y1 + 1, 20);
      EXPECT_EQ(timage_get_bitmap(image) != nullptr, i < 64) << i;
    }
    EXPECT_EQ(tsurface_get_rect(&page.rec.owned[65]->_surface)->y1, 10 + 25 * 65);
  });
  test_remove_tree(dir);
}

TEST(HtmlRender, FilesThatCannotBeRead) {
  std::string dir = test_make_temp_dir("html_render");
  test_write_file(dir + "/empty.htm", std::string());
  // The page's bytes end with the file, not at a NUL inside it.
  test_write_file(dir + "/nul.htm", std::string("<P>a\0b</P>", 10));
  with_pages([&] {
    page_env page;
    EXPECT_EQ(html_render_load_file(page.render, test_wide(dir + "/empty.htm").c_str()), 0);
    EXPECT_EQ(html_render_load_file(page.render, test_wide(dir + "/missing.htm").c_str()), 0);
    EXPECT_EQ(html_render_load_file(page.render, test_wide(dir).c_str()), 0);
    EXPECT_TRUE(page.rec.controls.empty());
    EXPECT_EQ(html_render_load_file(page.render, test_wide(dir + "/nul.htm").c_str()), 1);
    ASSERT_EQ(page.rec.controls.size(), 1u);
    EXPECT_EQ(page.rec.controls[0].text.size(), 3u);
    // A second page on the same render starts again at the top.
    page.parse("<P>z</P>");
    EXPECT_EQ(page.rec.controls.back().rect.y1, 10);
  });
  test_remove_tree(dir);
}
