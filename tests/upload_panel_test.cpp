// The command panel's Upload, My Gallery, Send and Share on the running
// application, driven with pen taps on the headless display: a gallery
// service on 127.0.0.1 that checks what it gets, the "Uploading" box with
// its animation on the driven clock, the outcome on screen, and the
// command lines handed to the desktop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "animation.h"
#include "app_common.h"
#include "app_test_env.h"
#include "commandpanel.h"
#include "jpeg_image.h"
#include "loopback_server.h"
#include "os_clock.h"
#include "os_connmgr.h"
#include "os_display.h"
#include "os_shell.h"
#include "paint_context.h"
#include "paint_send.h"
#include "port_test_app.h"
#include "sms_send.h"
#include "tbutton.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tedit.h"
#include "tlabel.h"
#include "tlistbox.h"
#include "tmenu.h"
#include "tmessagedialog.h"
#include "tresource.h"
#include "tscreen.h"
#include "test_env.h"
#include "upload.h"
#include "upload_info_dialog.h"
#include "upload_panel.h"
#include "wait_upload_dialog.h"
#include "wins_timer.h"

namespace {

const char k_serial[] = "256341685878310";

std::vector<std::vector<std::string>> g_launches;
int g_launch_answer = 1;
int record_launch(const std::vector<std::string> &argv) {
  g_launches.push_back(argv);
  return g_launch_answer;
}

tsurface *surface_of(void *control) { return &static_cast<tcontrol *>(control)->_surface; }
tsurface *modal() { return app_test_popup(); }

void tap(void *control) {
  trect r;
  tsurface_get_screen_rect(surface_of(control), &r);
  int x = (r.x1 + r.x2) / 2, y = (r.y1 + r.y2) / 2;
  app_test_pen(OS_PEN_DOWN, x, y);
  app_test_pen(OS_PEN_UP, x, y);
}

tbutton *soft_key(tdialog *dialog, int right) {
  tcontrolbar *bar = tdialog_get_controlbar(dialog);
  return right ? tcontrolbar_get_right_button(bar) : tcontrolbar_get_left_button(bar);
}

// The dialogs on top are known by their owners.
void *dialog_owner() {
  tdialog *dialog = app_test_dialog();
  return dialog ? tsurface_get_owner(&dialog->_control._surface) : nullptr;
}
upload_info_dialog *shown_info_dialog() { return static_cast<upload_info_dialog *>(dialog_owner()); }
tmessagedialog *shown_box() { return static_cast<tmessagedialog *>(dialog_owner()); }
std::u16string box_text() {
  tmessagedialog *box = shown_box();
  return box ? std::u16string(tmessagedialog_get_label(box)->_text) : std::u16string();
}
// An information note is a label holding the modal slot.
std::u16string note_text() {
  return modal() ? std::u16string(reinterpret_cast<tlabel *>(modal())->_text) : std::u16string();
}

std::string field(const std::string &body, const std::string &name) {
  std::string head = "name=\"" + name + "\"\r\n\r\n";
  size_t at = body.find(head);
  if (at == std::string::npos) return "<missing>";
  at += head.size();
  return body.substr(at, body.find("\r\n", at) - at);
}

std::string file_part(const std::string &body) {
  const std::string head = "Content-Type: image/jpeg\r\n\r\n";
  size_t at = body.find(head);
  size_t end = body.rfind("\r\n-----------------------------7db1e43618027e--\r\n");
  if (at == std::string::npos || end == std::string::npos) return std::string();
  return body.substr(at + head.size(), end - at - head.size());
}

// The application with a known serial and the manager online.
void with_app(const std::function<void(app_context *, app_test_folders &)> &body) {
  app_test_folders folders;
  ASSERT_EQ(system(("mkdir -p '" + folders.home + "'").c_str()), 0);
  ASSERT_TRUE(test_write_file(folders.home + "/sn.dat", std::string(k_serial)));
  os_connmgr_mode old_mode = os_connmgr_set_mode(OS_CONNMGR_ONLINE);
  uint32_t old_sleep = os_connmgr_set_poll_sleep_ms(1);
  os_launcher_fn old_launcher = os_shell_set_launcher(record_launch);
  g_launches.clear();
  g_launch_answer = 1;
  EXPECT_TRUE(app_test_run([&](app_context *app) {
    body(app, folders);
    // Timed notes (the export's, the outcome's) run out before tear-down.
    os_clock_drive(1);
    os_clock_advance(2500);
    port_test_pump();
    os_clock_drive(0);
  }));
  os_shell_set_launcher(old_launcher);
  upload_set_service_host(nullptr);
  os_connmgr_set_mode(old_mode);
  os_connmgr_set_poll_sleep_ms(old_sleep);
  EXPECT_EQ(os_connmgr_open_count(), 0);
}

// Taps the visible soft key of whatever box is up, from inside the nested
// loop it waits in.
void tap_box_from_timer(uint32_t id, void *) {
  tmessagedialog *box = shown_box();
  if (!box) return;
  wins_timer_stop(id);
  tbutton *key = soft_key(tmessagedialog_get_dialog(box), 0);
  if (!tsurface_is_visible(surface_of(key))) key = soft_key(tmessagedialog_get_dialog(box), 1);
  trect r;
  tsurface_get_screen_rect(surface_of(key), &r);
  os_input_pen(OS_PEN_DOWN, (r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2, 0);
  os_input_pen(OS_PEN_UP, (r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2, 0);
}

void draw_something() {
  const int stroke[][2] = {{100, 100}, {200, 150}, {300, 300}, {150, 400}};
  app_test_stroke(stroke, 4);
}

}  // namespace

TEST(UploadPanel, AChineseTitleReachesTheGalleryWithThePaintingAndTheNoteSaysSo) {
  loopback_server server({loopback_reply(loopback_response("HTTP/1.0 200 OK", "", "<b>Uploaded ok!</b>"))});
  ASSERT_TRUE(server.ok());
  with_app([&](app_context *app, app_test_folders &folders) {
    upload_set_service_host(("127.0.0.1:" + std::to_string(server.port())).c_str());
    draw_something();
    upload_state *state = upload_get_state(app);
    std::memcpy(state->_edit_title, u"\u6211\u7684\u753b", 8);
    ASSERT_EQ(upload_start_dialog(app), 1);
    upload_info_dialog *info = shown_info_dialog();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(std::u16string(tedit_get_text(info->_title_edit)), u"\u6211\u7684\u753b");
    tap(info->_description_edit);
    for (char16_t c : std::u16string(u"Sky"))
      app_test_char(c);
    tap(soft_key(upload_info_dialog_get_dialog(info), 0));
    ASSERT_TRUE(port_test_pump_until([] { return note_text() == u"Painting uploaded Ok"; }, 20000)) << test_utf8(note_text());
    EXPECT_EQ(state->_wait_dialog, nullptr);
    EXPECT_EQ(state->_request, nullptr) << "released once the box closed";

    ASSERT_EQ(server.request_count(), 1u);
    std::string body = server.requests()[0];
    EXPECT_EQ(field(body, "title"), "&#25105;&#30340;&#30011;");
    EXPECT_EQ(field(body, "desc"), "Sky");
    EXPECT_EQ(field(body, "dev"), "wceppc");
    EXPECT_EQ(field(body, "uid"), k_serial);
    EXPECT_EQ(field(body, "auth"), "bzuRoGk%2FkatoNpCrbj%2BX");
    EXPECT_EQ(field(body, "direct"), "1");
    std::string jpeg = file_part(body);
    EXPECT_NE(body.find("filename=\"My Brivola File.jpg\""), std::string::npos);
    ASSERT_TRUE(test_write_file(folders.root + "/got.jpg", jpeg));
    tbitmap *got = nullptr;
    ASSERT_EQ(jpeg_image_load(&got, test_wide(folders.root + "/got.jpg").c_str()), 1);
    tbitmap *canvas = paint_context_get_canvas(app->_paint_context);
    ASSERT_EQ(tbitmap_get_width(got), tbitmap_get_width(canvas));
    ASSERT_EQ(tbitmap_get_height(got), tbitmap_get_height(canvas));
    double error = 0;
    int32_t width = tbitmap_get_width(got), height = tbitmap_get_height(got);
    for (int32_t y = 0; y < height; y += 3)
      for (int32_t x = 0; x < width; x += 3) {
        uint32_t a = tbitmap_get_pixel(got, x, y), b = app_test_canvas_pixel(app, x, y);
        for (int shift = 0; shift < 24; shift += 8)
          error += std::abs(int((a >> shift) & 255) - int((b >> shift) & 255));
      }
    EXPECT_LT(error / (double(width / 3) * double(height / 3) * 3), 4.0) << "the JPEG decodes to the canvas";
    tbitmap_free(got);
  });
}

TEST(UploadPanel, TheBoxAnimatesAndCancelEndsTheUploadQuietly) {
  with_app([&](app_context *app, app_test_folders &) {
    os_connmgr_set_mode(OS_CONNMGR_NEVER_CONNECTS);
    os_connmgr_set_poll_sleep_ms(1000);
    upload_state *state = upload_get_state(app);
    std::memcpy(state->_edit_title, u"t", 4);
    ASSERT_EQ(upload_start_dialog(app), 1);
    os_clock_drive(1);
    tap(soft_key(upload_info_dialog_get_dialog(shown_info_dialog()), 0));
    ASSERT_NE(state->_wait_dialog, nullptr);
    EXPECT_EQ(state->_active, 1u);
    wait_upload_dialog *wait = state->_wait_dialog;
    animation *frames = wait_upload_dialog_get_animation(wait);
    std::vector<int32_t> seen = {animation_get_index(frames)};
    std::vector<tbitmap *> masks = {frames->_image._mask};
    for (int tick = 0; tick < 4; tick++) {
      os_clock_advance(499);
      port_test_pump();
      EXPECT_EQ(animation_get_index(frames), seen.back()) << "not before 500 ms";
      os_clock_advance(1);
      port_test_pump();
      seen.push_back(animation_get_index(frames));
      masks.push_back(frames->_image._mask);
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 1, 2, 3, 0}));
    for (int i = 0; i < 5; i++) EXPECT_EQ(masks[size_t(i)], tresource_get_bitmap(15173 + i % 4)) << i;
    EXPECT_NE(masks[0], nullptr) << "the pictures are packed";
    tap(soft_key(wait_upload_dialog_get_dialog(wait), 1));
    os_clock_drive(0);
    EXPECT_EQ(state->_wait_dialog, nullptr);
    EXPECT_EQ(state->_active, 0u);
    EXPECT_EQ(state->_connection, nullptr);
    port_test_pump_until([] { return false; }, 100);
    EXPECT_EQ(modal(), nullptr) << "a cancelled upload shows nothing";
  });
}

TEST(UploadPanel, AReplyWithoutTheWordsShowsTheFailure) {
  loopback_server server({loopback_reply(loopback_response("HTTP/1.0 200 OK", "", "Sorry, try later"))});
  with_app([&](app_context *app, app_test_folders &) {
    upload_set_service_host(("127.0.0.1:" + std::to_string(server.port())).c_str());
    std::memcpy(upload_get_state(app)->_edit_title, u"t", 4);
    ASSERT_EQ(upload_start_dialog(app), 1);
    tap(soft_key(upload_info_dialog_get_dialog(shown_info_dialog()), 0));
    ASSERT_TRUE(port_test_pump_until([] { return box_text() == u"Upload painting fail"; }, 20000));
    tap(soft_key(tmessagedialog_get_dialog(shown_box()), 1));
  });
}

TEST(UploadPanel, AnEmptyTitleKeepsTheDialogAndStartsNothing) {
  with_app([&](app_context *app, app_test_folders &) {
    std::u16string long_text(UPLOAD_DESCRIPTION_CHARS - 1, u'd');
    std::memcpy(upload_get_state(app)->_edit_description, long_text.c_str(), (long_text.size() + 1) * 2);
    ASSERT_EQ(upload_start_dialog(app), 1);
    upload_info_dialog *info = shown_info_dialog();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(std::u16string(tedit_get_text(info->_description_edit)), long_text) << "the whole description";
    tedit_set_text(info->_title_edit, u"", 0);
    tap(soft_key(upload_info_dialog_get_dialog(info), 0));
    EXPECT_EQ(box_text(), u"Title can not be empty.");
    tap(soft_key(tmessagedialog_get_dialog(shown_box()), 1));
    ASSERT_EQ(shown_info_dialog(), info) << "the dialog stays, and takes the keys again";
    tap(soft_key(upload_info_dialog_get_dialog(info), 1));
    EXPECT_EQ(tdialog_get_top(), nullptr) << "the export's note is up again, no dialog";
    EXPECT_EQ(app->_upload->_active, 0u);
    EXPECT_EQ(app->_upload->_wait_dialog, nullptr);
  });
}

TEST(UploadPanel, AFailedExportOpensNothing) {
  with_app([&](app_context *app, app_test_folders &folders) {
    // The documents folder is a file: the picture cannot be written there.
    ASSERT_EQ(system(("rm -rf '" + folders.docs + "' && touch '" + folders.docs + "'").c_str()), 0);
    uint32_t timer = wins_timer_start(20, 0, tap_box_from_timer, nullptr);
    EXPECT_EQ(upload_start_dialog(app), 0);
    wins_timer_stop(timer);
    for (int i = 0; i < 4 && modal(); i++) tap(soft_key(tmessagedialog_get_dialog(shown_box()), 1));
    EXPECT_EQ(modal(), nullptr) << "no upload dialog behind the export's error";
    paint_send *send = nullptr;
    app->_temp_dir[0] = 0;
    std::string blocked = folders.root + "/blocked";
    ASSERT_TRUE(test_write_file(blocked, std::string("x")));
    app_common_utf8_to_wide_cut(blocked.c_str(), -1, app->_temp_dir, APP_PATH_CHARS);
    timer = wins_timer_start(20, 0, tap_box_from_timer, nullptr);
    EXPECT_EQ(paint_send_show(app, &send, nullptr), 0);
    wins_timer_stop(timer);
    for (int i = 0; i < 4 && modal(); i++) tap(soft_key(tmessagedialog_get_dialog(shown_box()), 1));
    EXPECT_EQ(modal(), nullptr) << "no Send menu behind the export's error";
    // A folder where the picture goes: something exists there, but no picture.
    ASSERT_EQ(system(("mkdir -p '" + folders.root + "/out/attachment.jpg'").c_str()), 0);
    app_common_utf8_to_wide_cut((folders.root + "/out").c_str(), -1, app->_temp_dir, APP_PATH_CHARS);
    timer = wins_timer_start(20, 0, tap_box_from_timer, nullptr);
    EXPECT_EQ(paint_send_show(app, &send, nullptr), 0);
    wins_timer_stop(timer);
    for (int i = 0; i < 4 && modal(); i++) tap(soft_key(tmessagedialog_get_dialog(shown_box()), 1));
    EXPECT_EQ(modal(), nullptr);
    if (send) paint_send_free(send);
  });
}

// A mail program that answers failure says so in the error box.
TEST(Sharing, TheSendMenuMailsThePaintingAndTheRestStartNothing) {
  with_app([&](app_context *app, app_test_folders &folders) {
    std::string temp = folders.root + "/temp dir";
    app_common_utf8_to_wide_cut(temp.c_str(), -1, app->_temp_dir, APP_PATH_CHARS);
    paint_send *send = nullptr;
    for (int row : {0, 1, 2, 2}) {
      g_launches.clear();
      uint32_t popups = tscreen_get_popup_count(tscreen_get());
      ASSERT_EQ(paint_send_show(app, &send, nullptr), 1);
      tmenu *menu = reinterpret_cast<tmenu *>(modal());
      ASSERT_NE(menu, nullptr);
      tlistbox *list = tmenu_get_listbox(menu);
      ASSERT_EQ(tlistbox_get_count(list), 3);
      const trect *at = tsurface_get_rect(surface_of(list));
      const trect *r = tlistbox_get_item_rect(list, row);
      int x = at->x1 + (r->x1 + r->x2) / 2, y = at->y1 + (r->y1 + r->y2) / 2;
      app_test_pen(OS_PEN_DOWN, x, y);
      app_test_pen(OS_PEN_UP, x, y);
      EXPECT_FALSE(tscreen_has_popup_since(tscreen_get(), popups)) << "the menu closed";
      ASSERT_TRUE(port_test_finish_launches());
      if (row < 2) {
        EXPECT_TRUE(g_launches.empty()) << "beam and MMS have nothing to start here";
      } else {
        ASSERT_EQ(g_launches.size(), 1u);
        EXPECT_EQ(g_launches[0], (std::vector<std::string>{"xdg-email", "--attach", temp + "/attachment.jpg"}));
      }
      ASSERT_EQ(box_text(), g_launch_answer ? u"" : u"Can not send paint.");
      if (row == 2) g_launch_answer = 0;
    }
    tap(soft_key(tmessagedialog_get_dialog(shown_box()), 1));
    EXPECT_EQ(app_test_dialog(), nullptr);
    tbitmap *sent = nullptr;
    EXPECT_EQ(jpeg_image_load(&sent, test_wide(temp + "/attachment.jpg").c_str()), 1);
    if (sent) tbitmap_free(sent);
    paint_send_free(send);
  });
}

TEST(Sharing, LaunchTextsAreCutAndQuotedAsTheComposersTakeThem) {
  const char16_t tmail[] = u"\\windows\\tmail.exe";
  EXPECT_TRUE(os_shell_execute_command(tmail, u"-service \"MMS\" -to \"\" -attach \"/a b.jpg\"").empty());
  EXPECT_TRUE(os_shell_execute_command(u"\\windows\\Beam.exe", u"/a b.jpg").empty());
  EXPECT_TRUE(os_shell_execute_command(tmail, u"-transport \"SMS\" -to \"\" -body \"hi\"").empty());
  EXPECT_EQ(os_shell_execute_command(tmail, u"-service \"ActiveSync\" -attach \"/a b.jpg\""),
            (std::vector<std::string>{"xdg-email", "--attach", "/a b.jpg"}));
  std::u16string long_path = u"/" + std::u16string(2000, u'x') + u".jpg";
  EXPECT_EQ(paint_send_via_email(long_path.c_str()), 0) << "a cut text has lost its closing quote and file";
  EXPECT_EQ(paint_send_via_mms(u"/a b.jpg"), 0);
  EXPECT_EQ(paint_send_via_beam(u"/a b.jpg"), 0);
  // What the beam, MMS and SMS programs would be handed.
  static std::vector<std::u16string> texts;
  texts.clear();
  os_execute_observer_fn old = os_shell_set_execute_observer([](const char16_t *program, const char16_t *text) {
    texts.push_back(std::u16string(program) + u" " + text);
  });
  paint_send_via_beam(u"/a b.jpg");
  paint_send_via_mms(u"/a b.jpg");
  sms_send(nullptr, u"Hello there", u"");
  os_shell_set_execute_observer(old);
  EXPECT_EQ(texts, (std::vector<std::u16string>{
                       u"\\windows\\Beam.exe /a b.jpg",
                       u"\\windows\\tmail.exe -service \"MMS\" -to \"\" -attach \"/a b.jpg\"",
                       u"\\windows\\tmail.exe -transport \"SMS\" -to \"\" -body \"Hello there\""}));
}

TEST(Sharing, ShareSaysItCannotAndMyGalleryOpensTheAuthorsPage) {
  with_app([&](app_context *app, app_test_folders &) {
    EXPECT_NE(std::u16string(tresource_get_string(PAINT_SEND_TEXT_INVITATION, u"")).find(u"http://%s/download"),
              std::u16string::npos) << "the invitation names the build's service host";
    EXPECT_EQ(paint_share(app), 0);
    EXPECT_EQ(box_text(), u"Not supported to launch Send SMS UI.");
    tap(soft_key(tmessagedialog_get_dialog(shown_box()), 1));
    EXPECT_EQ(modal(), nullptr);
    EXPECT_TRUE(g_launches.empty());

    upload_set_service_host("127.0.0.1:8");
    EXPECT_EQ(paint_open_gallery(app), 1);
    ASSERT_TRUE(port_test_finish_launches());
    EXPECT_EQ(modal(), nullptr);
    ASSERT_EQ(g_launches.size(), 1u);
    EXPECT_EQ(g_launches[0], (std::vector<std::string>{
                                 "xdg-open", "http://127.0.0.1:8/cgi-bin/bv-gallery/view_author_paintings.pl?auth="
                                             "bzuRoGk%2FkatoNpCrbj%2BX&uid=256341685878310&dev=wceppc&sn=256341685878310"
                                             "&lang=" + std::to_string(app->_language) +
                                             "&slang=" + std::to_string(app->_lang_id)}));
    // A browser that answers failure says so once it has answered.
    g_launch_answer = 0;
    EXPECT_EQ(paint_open_gallery(app), 1);
    ASSERT_TRUE(port_test_finish_launches());
    ASSERT_EQ(box_text(), u"Fail to open url.");
    tap(soft_key(tmessagedialog_get_dialog(shown_box()), 1));
    EXPECT_EQ(modal(), nullptr);
  });
}

TEST(UploadPanel, QuittingWithTheBoxUpClosesItAndStopsTheUpload) {
  loopback_reply held(std::string{});
  held.end = loopback_reply::HOLD;
  loopback_server server({held});
  with_app([&](app_context *app, app_test_folders &) {
    upload_set_service_host(("127.0.0.1:" + std::to_string(server.port())).c_str());
    std::memcpy(upload_get_state(app)->_edit_title, u"t", 4);
    ASSERT_EQ(upload_start_dialog(app), 1);
    tap(soft_key(upload_info_dialog_get_dialog(shown_info_dialog()), 0));
    ASSERT_TRUE(port_test_pump_until([&] { return server.request_count() == 1; }, 10000));
    ASSERT_NE(app->_upload->_wait_dialog, nullptr);
    // The tear-down follows with the box up and the answer outstanding.
  });
}

TEST(UploadPanel, ThePanelsButtonsReachSendUploadMyGalleryAndShare) {
  with_app([&](app_context *app, app_test_folders &) {
    commandpanel *cp = app->_commandpanel;
    ASSERT_NE(cp, nullptr);
    auto button = [&](int32_t command) {
      for (tbutton *b : cp->_buttons)
        if (tbutton_get_user_data(b) == command) return b;
      return static_cast<tbutton *>(nullptr);
    };
    tap(cp->_tab);
    ASSERT_EQ(cp->_open, 1);

    tap(button(COMMANDPANEL_SHARE));
    EXPECT_EQ(box_text(), u"Not supported to launch Send SMS UI.");
    tap(soft_key(tmessagedialog_get_dialog(shown_box()), 1));

    tap(button(COMMANDPANEL_MY_GALLERY));
    ASSERT_TRUE(port_test_finish_launches());
    ASSERT_EQ(g_launches.size(), 1u);
    EXPECT_EQ(g_launches[0][1].find("http://" BRIVOLA_SERVICE_HOST "/cgi-bin/bv-gallery/view_author_paintings.pl?"), 0u);

    tap(button(COMMANDPANEL_SEND));
    ASSERT_NE(cp->_send_menu, nullptr);
    tmenu *menu = reinterpret_cast<tmenu *>(modal());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(tlistbox_get_count(tmenu_get_listbox(menu)), 3);
    tmenu_close(menu);

    tap(button(COMMANDPANEL_UPLOAD));
    upload_info_dialog *info = shown_info_dialog();
    ASSERT_NE(info, nullptr);
    EXPECT_NE(info->_title_edit, nullptr);
    tap(soft_key(upload_info_dialog_get_dialog(info), 1));
    EXPECT_EQ(app->_upload->_active, 0u);
  });
}
