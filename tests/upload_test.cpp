// The gallery upload engine: the parameter encoders against fixed vectors,
// the request body byte for byte, every result code against a loopback
// server and the connection manager's moods, and cancelling or quitting at
// each stage (clean under the sanitizers, nothing sent or reported late).
#include "upload.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app_test_env.h"
#include "http_get.h"
#include "loopback_server.h"
#include "os_connmgr.h"
#include "os_thread.h"
#include "port_test_app.h"
#include "test_env.h"

namespace {

// A serial whose base64 holds both '+' and '/'.
const char k_serial[] = "256341685878310";
const char k_serial_auth[] = "bzuRoGk%2FkatoNpCrbj%2BX";
const std::string k_jpeg("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\r\n\x00\xFF\xD9", 18);

std::mutex g_codes_mutex;
std::vector<int> g_codes;

void record_code(int code) {
  std::lock_guard<std::mutex> lock(g_codes_mutex);
  g_codes.push_back(code);
}

std::vector<int> codes() {
  std::lock_guard<std::mutex> lock(g_codes_mutex);
  return g_codes;
}

void clear_codes() {
  std::lock_guard<std::mutex> lock(g_codes_mutex);
  g_codes.clear();
}

bool wait_code() {
  return port_test_pump_until([] { return !codes().empty(); }, 20000) == 1;
}

std::string host_of(const loopback_server &server) { return "127.0.0.1:" + std::to_string(server.port()); }

std::string ok_reply(const std::string &body) { return loopback_response("HTTP/1.0 200 OK", "", body); }

// The application with a known serial, a JPEG in the documents folder and
// the manager online; the service is whatever the body points it to.
void with_app(const std::function<void(app_context *, const std::u16string &)> &body) {
  app_test_folders folders;
  std::string jpeg = folders.root + "/a painting.jpg";
  ASSERT_TRUE(test_write_file(jpeg, k_jpeg));
  ASSERT_EQ(system(("mkdir -p '" + folders.home + "'").c_str()), 0);
  ASSERT_TRUE(test_write_file(folders.home + "/sn.dat", std::string(k_serial)));
  clear_codes();
  os_connmgr_mode old_mode = os_connmgr_set_mode(OS_CONNMGR_ONLINE);
  uint32_t old_sleep = os_connmgr_set_poll_sleep_ms(1);
  EXPECT_TRUE(app_test_run([&](app_context *app) { body(app, test_wide(jpeg)); }));
  upload_set_service_host(nullptr);
  os_connmgr_set_mode(old_mode);
  os_connmgr_set_poll_sleep_ms(old_sleep);
  EXPECT_EQ(os_connmgr_open_count(), 0) << "every connection is given back";
}

std::string part(const std::string &name, const std::string &value) {
  return "-----------------------------7db1e43618027e\r\nContent-Disposition: form-data; name=\"" + name +
         "\"\r\n\r\n" + value + "\r\n";
}

std::string body_of(const std::string &request) {
  size_t end = request.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : request.substr(end + 4);
}

// A port on 127.0.0.1 that nobody listens on.
uint16_t closed_port() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

}  // namespace

TEST(UploadEncoders, Base64WithTheKeyPadsAndSizes) {
  struct vector_case {
    std::string data;
    const uint8_t *key;
    const char *expected;
  };
  static const uint8_t other_key[4] = {1, 2, 3, 4};
  const vector_case cases[] = {
      {"", nullptr, ""},
      {"a", nullptr, "PA=="},
      {"ab", nullptr, "PGw="},
      {"abc", nullptr, "PGzE"},
      {std::string("\xFF\xFE\x00\x01", 4), nullptr, "ovCnkg=="},
      {"hello", other_key, "aWdvaG4="},
      {k_serial, nullptr, "bzuRoGk/katoNpCrbj+X"},
  };
  for (const vector_case &c : cases) {
    const uint8_t *data = reinterpret_cast<const uint8_t *>(c.data.data());
    int length = int(c.data.size());
    int need = param_encode_base64(data, length, nullptr, c.key);
    EXPECT_EQ(need, ((length + 2) / 3) * 4 + 1) << c.data;
    std::string out(size_t(need) + 4, '#');
    EXPECT_EQ(param_encode_base64(data, length, &out[0], c.key), int(std::strlen(c.expected)) + 1) << c.data;
    EXPECT_STREQ(out.c_str(), c.expected) << c.data;
    EXPECT_EQ(out[size_t(need)], '#') << "nothing past the size it asked for";
  }
}

TEST(UploadEncoders, PercentEncodingEscapesAllButLettersAndDigitsAndStaysInItsBuffer) {
  struct escape_case {
    const char *text;
    int all;
    int size;
    const char *expected;
    int complete;
  };
  const escape_case cases[] = {
      {"", 0, 1, "", 1},
      {"aZ09+/=", 0, 64, "aZ09%2B%2F%3D", 1},
      {"ab", 1, 64, "%61%62", 1},
      {"\xE4\xB8\xAD", 0, 10, "%E4%B8%AD", 1},
      {"a+b", 0, 4, "a", 0},   // "%2B" does not fit after "a" in 3 chars
      {"a+b", 0, 5, "a%2B", 0},
      {"a+b", 0, 6, "a%2Bb", 1},
  };
  for (const escape_case &c : cases) {
    std::string out(size_t(c.size) + 8, '#');
    EXPECT_EQ(param_percent_encode(c.text, &out[0], c.size, c.all), c.complete) << c.text;
    EXPECT_STREQ(out.c_str(), c.expected) << c.text;
    EXPECT_EQ(out[size_t(c.size)], '#') << c.text;
  }
  char auth[128];
  EXPECT_EQ(upload_make_auth(k_serial, auth, sizeof auth), int(std::strlen(k_serial_auth)));
  EXPECT_STREQ(auth, k_serial_auth) << "a 15-digit serial is 20 base64 characters, + and / escaped";
  EXPECT_EQ(upload_make_auth("98765432109876", auth, sizeof auth), 22);
  EXPECT_STREQ(auth, "ZDaQpWg6lKFsPp6rajg%3D");
}

TEST(UploadEncoders, FormTextKeepsLatinBytesAndWritesOtherCharactersAsReferences) {
  struct entity_case {
    std::u16string text;
    int size;
    std::string expected;
    int complete;
  };
  const entity_case cases[] = {
      {u"", 8, "", 1},
      {u"Caf\u00e9 \u00ff", 16, "Caf\xE9 \xFF", 1},
      {u"\u4e2d\u6587", 32, "&#20013;&#25991;", 1},
      {u"\U0001F600!", 32, "&#128512;!", 1},                // one reference for the pair
      {u"a\xD800" u"b", 32, "a&#65533;b", 1},               // a lone half is no character
      {u"ab\u4e2d", 10, "ab", 0},                            // a reference is never cut
  };
  for (const entity_case &c : cases) {
    std::string out(size_t(c.size) + 4, '#');
    EXPECT_EQ(html_entity_encode(c.text.c_str(), &out[0], c.size), c.complete) << c.expected;
    EXPECT_EQ(std::string(out.c_str()), c.expected);
    EXPECT_EQ(out[size_t(c.size)], '#');
  }
}

TEST(Upload, TheRequestCarriesEveryFieldAndTheFileByteForByte) {
  loopback_server server({loopback_reply(ok_reply("<p>Uploaded ok!</p>"))});
  ASSERT_TRUE(server.ok());
  with_app([&](app_context *app, const std::u16string &jpeg) {
    upload_set_service_host(host_of(server).c_str());
    ASSERT_EQ(upload_start(jpeg.c_str(), u"\u4e2d\u6587", u"", record_code), 1);
    ASSERT_TRUE(wait_code());
    upload_release(app);
    EXPECT_EQ(codes(), std::vector<int>{UPLOAD_OK});
    ASSERT_EQ(server.request_count(), 1u);
    std::string request = server.requests()[0];
    std::string name = test_utf8(jpeg.substr(jpeg.rfind(u'/') + 1));  // never the folder
    std::string expected = part("auth", k_serial_auth) + part("dev", "wceppc") + part("uid", k_serial) +
                           part("title", "&#20013;&#25991;") + part("desc", "") + part("direct", "1") +
                           "-----------------------------7db1e43618027e\r\nContent-Disposition: form-data; "
                           "name=\"FILE1\"; filename=\"" + name + "\"\r\nContent-Type: image/jpeg\r\n\r\n" + k_jpeg +
                           "\r\n-----------------------------7db1e43618027e--\r\n";
    EXPECT_EQ(body_of(request), expected);
    EXPECT_EQ(request.find("POST /cgi-bin/bv-gallery/do_upload.pl HTTP/1.0\r\n"), 0u) << request;
    EXPECT_NE(request.find("\r\nContent-Length: " + std::to_string(expected.size()) + "\r\n"), std::string::npos);
    EXPECT_NE(request.find("\r\nContent-Type: multipart/form-data; boundary=---------------------------7db1e43618027e"
                           "\r\nCache-Control: no-cache\r\n"),
              std::string::npos)
        << request;
    EXPECT_EQ(request.find("Accept-Encoding"), std::string::npos) << "nothing here decodes a compressed answer";
  });
}

TEST(Upload, EachOutcomeGivesItsCode) {
  struct outcome_case {
    const char *name;
    os_connmgr_mode mode;
    std::string reply;
    bool closed;  // the service's port has no listener
    int thread_error;  // no thread can be started
    int started;
    int code;
  };
  const outcome_case cases[] = {
      {"the words", OS_CONNMGR_ONLINE, "Thanks. Uploaded ok! See you", false, 0, 1, UPLOAD_OK},
      {"other letter case", OS_CONNMGR_ONLINE, "uploaded OK!", false, 0, 1, UPLOAD_FAILED},
      {"words after a NUL", OS_CONNMGR_ONLINE, std::string("x\0Uploaded ok!", 14), false, 0, 1, UPLOAD_FAILED},
      {"server refuses TCP", OS_CONNMGR_ONLINE, "Uploaded ok!", true, 0, 1, UPLOAD_FAILED},
      {"manager refuses", OS_CONNMGR_REFUSES, "Uploaded ok!", false, 0, 1, UPLOAD_CONNECT_FAILED},
      {"never connects", OS_CONNMGR_NEVER_CONNECTS, "Uploaded ok!", false, 0, 1, UPLOAD_CONNECT_FAILED},
      {"no poll thread", OS_CONNMGR_ONLINE, "Uploaded ok!", false, EAGAIN, 1, UPLOAD_CONNECT_FAILED},
      {"no network", OS_CONNMGR_NO_NETWORK, "Uploaded ok!", false, 0, 0, UPLOAD_NO_NETWORK},
  };
  for (const outcome_case &c : cases) {
    SCOPED_TRACE(c.name);
    loopback_server server({loopback_reply(ok_reply(c.reply))});
    with_app([&](app_context *app, const std::u16string &jpeg) {
      os_connmgr_set_mode(c.mode);
      std::string host = c.closed ? "127.0.0.1:" + std::to_string(closed_port()) : host_of(server);
      upload_set_service_host(host.c_str());
      int old_error = os_thread_set_failure(c.thread_error);
      EXPECT_EQ(upload_start(jpeg.c_str(), u"t", u"d", record_code), c.started);
      os_thread_set_failure(old_error);
      ASSERT_TRUE(wait_code());
      upload_release(app);
      EXPECT_EQ(codes(), std::vector<int>{c.code});
      os_connmgr_set_mode(OS_CONNMGR_ONLINE);
    });
  }
}

// The calls the client makes while the answer still arrives judge nothing.
TEST(Upload, AnAnswerArrivingInPiecesIsJudgedWhole) {
  std::string reply = ok_reply("Thanks. Uploaded ok!");
  loopback_server server({loopback_reply(reply, {reply.size() - 12}, 100)});
  with_app([&](app_context *app, const std::u16string &jpeg) {
    upload_set_service_host(host_of(server).c_str());
    ASSERT_EQ(upload_start(jpeg.c_str(), u"t", u"d", record_code), 1);
    ASSERT_TRUE(wait_code());
    upload_release(app);
    EXPECT_EQ(codes(), std::vector<int>{UPLOAD_OK});
  });
}

TEST(Upload, AFileThatCannotBeReadFailsWithoutARequest) {
  loopback_server server({loopback_reply(ok_reply("Uploaded ok!"))});
  with_app([&](app_context *app, const std::u16string &jpeg) {
    upload_set_service_host(host_of(server).c_str());
    EXPECT_EQ(upload_start((jpeg + u".gone").c_str(), u"t", u"d", record_code), 1);
    ASSERT_TRUE(wait_code());
    upload_release(app);
    EXPECT_EQ(codes(), std::vector<int>{UPLOAD_FAILED});
    EXPECT_EQ(server.request_count(), 0u);
  });
}

TEST(Upload, CancelBeforeTheConnectionSendsAndReportsNothing) {
  loopback_server server({loopback_reply(ok_reply("Uploaded ok!"))});
  with_app([&](app_context *app, const std::u16string &jpeg) {
    upload_set_service_host(host_of(server).c_str());
    os_connmgr_set_mode(OS_CONNMGR_NEVER_CONNECTS);
    os_connmgr_set_poll_sleep_ms(20);
    ASSERT_EQ(upload_start(jpeg.c_str(), u"t", u"d", record_code), 1);
    upload_release(app);
    os_connmgr_set_mode(OS_CONNMGR_ONLINE);
    port_test_pump_until([] { return false; }, 200);
    EXPECT_TRUE(codes().empty());
    EXPECT_EQ(server.request_count(), 0u);
    EXPECT_EQ(os_connmgr_open_count(), 0);
  });
}

TEST(Upload, CancelMidBodyEndsAtOnceAndReportsNothing) {
  loopback_reply held(std::string{});
  held.end = loopback_reply::HOLD;
  loopback_server server({held});
  with_app([&](app_context *app, const std::u16string &jpeg) {
    upload_set_service_host(host_of(server).c_str());
    ASSERT_EQ(upload_start(jpeg.c_str(), u"t", u"d", record_code), 1);
    ASSERT_TRUE(port_test_pump_until([&] { return server.request_count() == 1; }, 10000));
    upload_release(app);
    EXPECT_TRUE(codes().empty()) << "a cancelled upload reports nothing";
    EXPECT_EQ(app->_upload->_request, nullptr);
    EXPECT_EQ(app->_upload->_connection, nullptr);
  });
}

TEST(Upload, QuittingMidUploadStopsItBeforeTheListsGo) {
  loopback_reply held(std::string{});
  held.end = loopback_reply::HOLD;
  loopback_server server({held});
  with_app([&](app_context *, const std::u16string &jpeg) {
    upload_set_service_host(host_of(server).c_str());
    ASSERT_EQ(upload_start(jpeg.c_str(), u"t", u"d", record_code), 1);
    ASSERT_TRUE(port_test_pump_until([&] { return server.request_count() == 1; }, 10000));
    // The tear-down follows with the request still waiting for its answer.
  });
  EXPECT_TRUE(codes().empty());
}
