// The help pages as shipped in the program folder, checked for what the help
// viewer relies on: only the tags and entities it knows, links to pages that
// ship, every page reached from the index, the titles that decide its soft
// key, line breaks that its deletion of CR and LF cannot glue into words, no
// text it would drop, and every tool and command named as the program names
// it; and every page laid out as the viewer lays it out on each screen
// class, within the page's width.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ekhtml.h"
#include "gui_fixture.h"
#include "help_dialog.h"
#include "html_render.h"
#include "tbitmap.h"
#include "tdialog.h"
#include "test_env.h"
#include "tform.h"
#include "timage.h"
#include "tlabel.h"
#include "tlinklabel.h"
#include "tresource.h"
#include "tseperator.h"
#include "tstyler.h"
#include "ttdrawer.h"

namespace fs = std::filesystem;

namespace {

struct language {
  const char *folder;  // under help/
  const char *texts;   // the program's texts in the language, as the build packs them
};
const language k_languages[] = {{"", "en_us.lang"}, {"ru_ru", "ru_ru.lang"}, {"zh_cn", "zh_cn.lang"}};

const std::set<std::string> k_tags = {"BODY", "TITLE", "P", "B",  "I",   "U",  "STRIKE",
                                     "BR",   "A",     "FONT", "HR", "IMG", "TABLE"};
const char *const k_entities[] = {"&quot;", "&amp;", "&lt;", "&gt;", "&nbsp;", "&#39;"};
const char *const k_entity_texts[] = {"\"", "&", "<", ">", " ", "'"};

// Tool names, the tool bar's commands, the command panel's buttons and the
// rows of the menus they open.
const int k_name_ids[] = {
    25046, 25048, 25050, 25052, 25054, 25056, 25058, 25060, 25062, 25064, 25066, 25068, 25070, 25072,
    25074, 25076, 25078, 25080, 25082, 25084, 25086, 25088, 25090, 25092, 25094, 25096, 25221,
    25116, 25118, 25120, 25122, 25124, 25126, 25128, 25130, 25131,
    25140, 25141, 25142, 25143, 25144, 25145, 25146, 25148, 25149, 25150, 25226, 25227, 25228,
    25161, 25162, 25163, 25164, 25177, 25178, 25179, 25181, 25182, 25183,
    25186, 25187, 25188, 25189, 25190, 25191, 25192, 25193, 25194,
    25195, 25196, 25197, 25198, 25199, 25200, 25201, 25202, 25203};

// The longest run that may start mid-line with a word character: the viewer
// moves such a run to a new line when its first word does not fit, which
// parts that word from the letters before it.
constexpr size_t k_max_glued_run = 24;

std::string program_dir() {
  const char *dir = std::getenv("BRIVOLA_PROGRAM_DIR");
  return dir && *dir ? dir : BRIVOLA_PROGRAM_DIR;
}

// A language's texts by id while this lives; a missing one reads "?".
struct texts_in {
  explicit texts_in(const language &lang) {
    EXPECT_TRUE(tresource_load(test_wide(program_dir() + "/" + lang.texts).c_str())) << lang.texts;
  }
  ~texts_in() { tresource_unload_all(); }
  std::string operator[](int id) const { return test_utf8(tresource_get_string(id, u"?")); }
};

// Field 0 of a list-row text: up to the first '/' that is not written "\/".
std::string field0(const std::string &text) {
  std::string out;
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '/') {
      out += '/';
      i++;
    } else if (text[i] == '/') {
      break;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Malformed UTF-8 reads as U+FFFD.
bool is_utf8(const std::string &text) { return test_wide(text).find(u'\uFFFD') == std::u16string::npos; }

// Letters and digits of the alphabetic scripts, which the viewer keeps
// together when it wraps; ideographs break anywhere.
bool is_word_char(char32_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) || (c >= 0x370 && c <= 0x52F);
}

// Text as the viewer shows it: CR and LF deleted (LF marked by '\x01' when
// mark_breaks), then the entities replaced in the viewer's order.
std::string shown_text(std::string text, bool mark_breaks) {
  std::string out;
  for (char c : text)
    if (c == '\n' && mark_breaks)
      out += '\x01';
    else if (c != '\r' && c != '\n')
      out += c;
  for (size_t e = 0; e < 6; e++)
    for (size_t at; (at = out.find(k_entities[e])) != std::string::npos;)
      out.replace(at, std::strlen(k_entities[e]), k_entity_texts[e]);
  return out;
}

// What one page gave the tokenizer's callbacks, and the faults found on the way.
struct page_scan {
  std::vector<std::string> faults;
  std::vector<std::string> titles;
  std::vector<std::string> links;   // HREF values
  std::vector<std::string> images;  // SRC values
  std::string shown;                // the text of every paragraph, one per line
  bool in_title = false, in_p = false;
  bool line_start = true;           // no label placed on the current line yet
  std::string paragraph;            // shown text of the open paragraph, breaks marked
  std::string title;
};

void fault(page_scan *scan, const std::string &what) { scan->faults.push_back(what); }

void end_paragraph(page_scan *scan) {
  std::u16string p = test_wide(scan->paragraph);
  for (size_t at = 0; (at = p.find(u'\x01', at)) != std::u16string::npos; at++) {
    size_t before = at, after = at;
    while (before > 0 && p[before - 1] == 1) before--;
    while (after < p.size() && p[after] == 1) after++;
    if (before > 0 && after < p.size() && is_word_char(p[before - 1]) && is_word_char(p[after]))
      fault(scan, "a line break glues two letters in: " + scan->paragraph);
  }
  std::string text = scan->paragraph;
  text.erase(std::remove(text.begin(), text.end(), '\x01'), text.end());
  scan->shown += text + "\n";
  scan->paragraph.clear();
}

void on_data(void *user, ekhtml_string text) {
  page_scan *scan = static_cast<page_scan *>(user);
  std::string raw(text._str, text._len);
  if (raw.compare(0, 2, "<!") == 0) return fault(scan, "a declaration: " + raw);
  for (size_t at = 0; (at = raw.find('&', at)) != std::string::npos; at++) {
    bool known = false;
    for (const char *entity : k_entities) known = known || raw.compare(at, std::strlen(entity), entity) == 0;
    if (!known) fault(scan, "an '&' that begins no known entity: " + raw.substr(at, 12));
  }
  std::string shown = shown_text(raw, true);
  bool blank = shown.find_first_not_of(" \t\x01") == std::string::npos;
  if (scan->in_title) {
    scan->title += shown_text(raw, false);
  } else if (!scan->in_p) {
    if (!blank) fault(scan, "text outside a paragraph: " + raw);
  } else {
    std::string visible = shown_text(raw, false);
    std::u16string chars = test_wide(visible);
    if (!scan->line_start && !chars.empty() && is_word_char(chars[0]) && chars.size() > k_max_glued_run)
      fault(scan, "a long run starts mid-line with a letter: " + visible);
    if (!visible.empty()) scan->line_start = false;
    scan->paragraph += shown;
  }
}

void on_start(void *user, ekhtml_string tag, ekhtml_attr *attrs) {
  page_scan *scan = static_cast<page_scan *>(user);
  std::string name(tag._str, tag._len);
  if (!k_tags.count(name)) fault(scan, "a tag the viewer does not know: " + name);
  if (name == "TITLE") scan->in_title = true;
  if (name == "P") {
    if (scan->in_p) fault(scan, "a paragraph inside a paragraph");
    scan->in_p = true;
  }
  if (name == "BR" || name == "HR" || name == "IMG") scan->line_start = true;
  for (ekhtml_attr *attr = attrs; attr; attr = attr->_next) {
    std::string key(attr->_name._str, attr->_name._len), value(attr->_value._str, attr->_value._len);
    std::transform(key.begin(), key.end(), key.begin(), ::toupper);
    if (name == "A" && key == "HREF") scan->links.push_back(value);
    if (name == "IMG" && key == "SRC") scan->images.push_back(value);
  }
}

void on_end(void *user, ekhtml_string tag) {
  page_scan *scan = static_cast<page_scan *>(user);
  std::string name(tag._str, tag._len);
  if (!k_tags.count(name)) fault(scan, "an end tag the viewer does not know: " + name);
  if (name == "TITLE") {
    scan->in_title = false;
    scan->titles.push_back(scan->title);
    scan->title.clear();
  }
  if (name == "P") {
    scan->in_p = false;
    scan->line_start = true;
    end_paragraph(scan);
  }
}

page_scan scan_page(const std::string &page) {
  page_scan scan;
  if (!is_utf8(page)) fault(&scan, "not UTF-8");
  // The viewer deletes line breaks: each must stand beside a space or a tag.
  for (size_t at = 0; (at = page.find('\n', at)) != std::string::npos; at++) {
    size_t before = at, after = at + 1;
    while (before > 0 && (page[before - 1] == '\r' || page[before - 1] == '\n')) before--;
    while (after < page.size() && (page[after] == '\r' || page[after] == '\n')) after++;
    bool beside = before == 0 || after == page.size() || page[before - 1] == ' ' || page[before - 1] == '>' ||
                  page[after] == ' ' || page[after] == '<';
    if (!beside) fault(&scan, "a line break between two letters at byte " + std::to_string(at));
  }
  ekhtml_parser *parser = ekhtml_new(&scan);
  ekhtml_set_data_callback(parser, on_data);
  ekhtml_add_start_callback(parser, nullptr, on_start);
  ekhtml_add_end_callback(parser, nullptr, on_end);
  ekhtml_feed(parser, ekhtml_string{page.data(), static_cast<uint32_t>(page.size())});
  ekhtml_flush(parser, 1);
  ekhtml_free(parser);
  if (scan.in_p || scan.in_title) fault(&scan, "a paragraph or title left open");
  return scan;
}

std::vector<std::string> pages_in(const std::string &dir) {
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::directory_entry &entry : fs::directory_iterator(dir, error))
    if (entry.is_regular_file() && entry.path().extension() == ".htm") names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::string folder_of(const std::string &base, const language &lang) {
  return base + (*lang.folder ? std::string("/") + lang.folder : "");
}
// A language's folder of shipped pages.
std::string help_of(const language &lang) { return folder_of(program_dir() + "/help", lang); }

}  // namespace

TEST(HelpPages, EveryLanguageShipsTheSamePages) {
  std::vector<std::string> english = pages_in(program_dir() + "/help");
  ASSERT_FALSE(english.empty()) << "no help pages in " << program_dir() << "/help";
  EXPECT_TRUE(std::count(english.begin(), english.end(), "index.htm"));
  for (const language &lang : k_languages) {
    EXPECT_EQ(pages_in(help_of(lang)), english) << lang.folder;
    EXPECT_EQ(pages_in(folder_of(BRIVOLA_SOURCE_DIR "/res/help", lang)), english) << "the build ships every page";
  }
}

// The build ships only the pictures the pages show, and every language
// shows each of them.
TEST(HelpPages, EveryPictureShippedIsShownInEveryLanguage) {
  std::set<std::string> shipped;
  for (const auto &entry : std::filesystem::directory_iterator(program_dir() + "/help/pics"))
    shipped.insert(entry.path().filename().string());
  ASSERT_FALSE(shipped.empty());
  for (const language &lang : k_languages) {
    std::set<std::string> shown;
    std::string dir = help_of(lang);
    for (const std::string &name : pages_in(dir)) {
      std::string page = test_read_text(dir + "/" + name);
      for (size_t at = 0; (at = page.find("pics/", at)) != std::string::npos; at += 5)
        shown.insert(page.substr(at + 5, page.find('"', at) - at - 5));
    }
    EXPECT_EQ(shown, shipped) << lang.folder;
  }
}

TEST(HelpPages, PagesKeepToWhatTheViewerKnows) {
  std::vector<std::string> help_titles;
  for (const language &lang : k_languages) help_titles.push_back(texts_in(lang)[25146]);
  for (const language &lang : k_languages) {
    std::string dir = help_of(lang);
    texts_in texts(lang);
    std::vector<std::string> pages = pages_in(dir);
    std::string shown;
    std::map<std::string, std::vector<std::string>> links_of;
    for (const std::string &name : pages) {
      SCOPED_TRACE(dir + "/" + name);
      page_scan scan = scan_page(test_read_text(dir + "/" + name));
      for (const std::string &what : scan.faults) ADD_FAILURE() << what;
      ASSERT_EQ(scan.titles.size(), 1u);
      const std::string &title = scan.titles[0];
      if (name == "index.htm") {
        EXPECT_EQ(title, texts[25146]) << "the index's soft key reads Close only under this title";
      } else {
        // Any other title would make its soft key read Close and leave help.
        EXPECT_FALSE(title.empty());
        EXPECT_NE(title, "Help");
        for (const std::string &help : help_titles) EXPECT_NE(title, help);
      }
      for (const std::string &link : scan.links) {
        if (link.compare(0, 7, "http://") == 0) continue;
        EXPECT_TRUE(link.find('/') == std::string::npos && std::count(pages.begin(), pages.end(), link))
            << "a link to a page that does not ship: " << link;
      }
      for (const std::string &src : scan.images) {
        std::string extension = src.size() > 4 ? src.substr(src.size() - 4) : "";
        std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
        EXPECT_EQ(extension, ".bmp") << src;
        EXPECT_TRUE(fs::exists(dir + "/" + src)) << "a picture that does not ship: " << src;
      }
      shown += scan.shown;
      links_of[name] = scan.links;
    }
    // A page that ships is worth nothing unless links lead to it from the index.
    std::set<std::string> reached = {"index.htm"};
    std::vector<std::string> to_visit = {"index.htm"};
    while (!to_visit.empty()) {
      std::string page = to_visit.back();
      to_visit.pop_back();
      for (const std::string &link : links_of[page])
        if (reached.insert(link).second) to_visit.push_back(link);
    }
    for (const std::string &name : pages)
      EXPECT_TRUE(reached.count(name)) << "help/" << lang.folder << " " << name << ": no link leads to it";
    for (int id : k_name_ids) {
      std::string name = field0(texts[id]);
      ASSERT_NE(name, "?") << id;
      EXPECT_NE(shown.find(name), std::string::npos)
          << "help/" << lang.folder << " never names " << id << " \"" << name << "\"";
    }
  }
}

namespace {

// What a page laid out for a screen gave: labels passing the content width,
// pictures that do not load or are wider than the page; and what to free.
struct layout_check {
  std::vector<std::string> faults;
  std::vector<std::function<void()>> frees;
  void keep(tcontrol *c, void (*free_fn)(tcontrol *)) { frees.push_back([=] { free_fn(c); }); }
};

layout_check *check_of(html_render *render) { return static_cast<layout_check *>(html_render_get_user_data(render)); }

void check_label(html_render *render, tlabel *label) {
  int32_t past = tsurface_get_rect(&label->_control._surface)->x2 - HTML_RENDER_ORIGIN - html_render_get_width(render);
  if (past > 0)
    check_of(render)->faults.push_back("a label passes the content width by " + std::to_string(past) + ": " +
                                       test_utf8(std::u16string(label->_text, size_t(label->_length))));
}

void on_page_label(html_render *render, tlabel *label) {
  check_label(render, label);
  check_of(render)->keep(&label->_control, [](tcontrol *c) { tlabel_free(reinterpret_cast<tlabel *>(c)); });
}
void on_page_link(html_render *render, tlinklabel *link) {
  check_label(render, &link->_label);
  check_of(render)->keep(&link->_label._control, [](tcontrol *c) { tlinklabel_free(reinterpret_cast<tlinklabel *>(c)); });
}
void on_page_rule(html_render *render, tseperator *rule) {
  check_of(render)->keep(&rule->_control, [](tcontrol *c) { tseperator_free(reinterpret_cast<tseperator *>(c)); });
}
void on_page_image(html_render *render, timage *image, const char16_t *path) {
  layout_check *check = check_of(render);
  check->keep(&image->_control, [](tcontrol *c) { timage_free(reinterpret_cast<timage *>(c)); });
  tbitmap *bitmap = static_cast<tbitmap *>(calloc(1, sizeof(tbitmap)));
  check->frees.push_back([=] { tbitmap_free(bitmap); });
  if (!tbitmap_load_bmp(bitmap, path)) return check->faults.push_back("a picture that does not load: " + test_utf8(path));
  if (tbitmap_get_width(bitmap) > html_render_get_width(render))
    check->faults.push_back("a picture wider than the page: " + test_utf8(path));
  timage_set_bitmap(image, bitmap);
}

}  // namespace

// Every page of every language laid out as the viewer lays it out on each
// screen class, in the font the program gives that class and language: no
// label passes the content width and every picture loads.
TEST(HelpPages, PagesFitTheViewerOnEveryScreenClass) {
  const char *screens[] = {"240x320", "320x480", "480x640"};
  setenv("BRIVOLA_PROGRAM_DIR", program_dir().c_str(), 1);
  for (const char *screen : screens) {
    run_on_styled_screen(
        [&](tscreen *) {
          bool small = std::string(screen) == "240x320";
          help_dialog *dialog = help_dialog_new(u"Help", -1, nullptr, nullptr);
          help_dialog_show(dialog, -1, -1, TDIALOG_PLACE_FILL);
          int32_t width = html_render_get_width(dialog->_render);
          ASSERT_GT(width, 100);
          tdialog_close(help_dialog_get_dialog(dialog), 0);
          for (const language &lang : k_languages) {
            ttdrawer_set_font_size(tstyler_get_default_tdrawer(), small && lang.folder == std::string("zh_cn") ? 10 : 7);
            std::string dir = help_of(lang);
            for (const std::string &name : pages_in(dir)) {
              SCOPED_TRACE(std::string(screen) + " " + dir + "/" + name);
              trect rect = {0, 0, width + 19, 399};
              tform *form = tform_new(nullptr, &rect, nullptr);
              layout_check check;
              html_render *render = html_render_new(form, &check);
              html_render_set_on_add_label(render, on_page_label);
              html_render_set_on_add_linklabel(render, on_page_link);
              html_render_set_on_add_seperator(render, on_page_rule);
              html_render_set_on_add_image(render, on_page_image);
              EXPECT_EQ(html_render_load_file(render, test_wide(dir + "/" + name).c_str()), 1);
              EXPECT_EQ(html_render_get_width(render), width);
              for (const std::string &what : check.faults) ADD_FAILURE() << what;
              tform_clear_children(form);
              for (auto &free_one : check.frees) free_one();
              html_render_free(render);
              tform_free(form);
            }
          }
        },
        screen);
  }
}
