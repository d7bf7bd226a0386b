// os_connmgr: one destination network, up at once unless a test says not.
#include "os_connmgr.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <set>

namespace {

constexpr os_connmgr_guid k_internet = {0x436EF144u, 0xB4FB, 0x4863, {0xA0, 0x41, 0x8F, 0x90, 0x5A, 0x62, 0xC5, 0x72}};
const char16_t k_internet_name[] = u"Internet";
constexpr uint32_t k_default_poll_sleep_ms = 1000;

std::atomic<int> g_mode{OS_CONNMGR_ONLINE};
std::atomic<uint32_t> g_poll_sleep_ms{k_default_poll_sleep_ms};
std::mutex g_mutex;
std::set<uintptr_t> g_open;  // handles established and not released
uintptr_t g_next_handle = 1;

bool same_guid(const os_connmgr_guid &a, const os_connmgr_guid &b) {
  return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
         std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

}  // namespace

uint32_t os_connmgr_enum_destinations(uint32_t index, os_connmgr_destination *out) {
  if (!out || index != 0 || g_mode.load() == OS_CONNMGR_NO_NETWORK) return OS_CONNMGR_E_FAIL;
  out->guid = k_internet;
  std::memset(out->description, 0, sizeof out->description);
  std::memcpy(out->description, k_internet_name, sizeof k_internet_name);
  return 0;
}

uint32_t os_connmgr_map_url(const char16_t *url, os_connmgr_guid *guid, uint32_t *index) {
  if (!url || !guid || !index || g_mode.load() == OS_CONNMGR_NO_NETWORK) return OS_CONNMGR_E_FAIL;
  *guid = k_internet;
  *index = 0;
  return 0;
}

uint32_t os_connmgr_establish(const os_connmgr_request *request, uintptr_t *handle) {
  if (!request || !handle) return OS_CONNMGR_E_FAIL;
  *handle = 0;
  int mode = g_mode.load();
  if (mode == OS_CONNMGR_NO_NETWORK || mode == OS_CONNMGR_REFUSES) return OS_CONNMGR_E_FAIL;
  if (request->size != sizeof(os_connmgr_request)) return OS_CONNMGR_E_FAIL;
  if (!same_guid(request->destination, k_internet)) return OS_CONNMGR_E_FAIL;
  std::lock_guard<std::mutex> lock(g_mutex);
  *handle = g_next_handle++;
  g_open.insert(*handle);
  return 0;
}

uint32_t os_connmgr_status(uintptr_t handle, uint32_t *status) {
  if (!status) return OS_CONNMGR_E_FAIL;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_open.count(handle)) return OS_CONNMGR_E_FAIL;
  }
  *status = g_mode.load() == OS_CONNMGR_NEVER_CONNECTS ? OS_CONNMGR_STATUS_WAITING : OS_CONNMGR_STATUS_CONNECTED;
  return 0;
}

uint32_t os_connmgr_release(uintptr_t handle, int cache) {
  (void)cache;
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_open.erase(handle) ? 0 : OS_CONNMGR_E_FAIL;
}

os_connmgr_mode os_connmgr_set_mode(os_connmgr_mode mode) { return os_connmgr_mode(g_mode.exchange(mode)); }

uint32_t os_connmgr_set_poll_sleep_ms(uint32_t ms) { return g_poll_sleep_ms.exchange(ms); }

uint32_t os_connmgr_poll_sleep_ms() { return g_poll_sleep_ms.load(); }

int os_connmgr_open_count() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return int(g_open.size());
}
