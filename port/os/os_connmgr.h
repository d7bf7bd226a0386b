// os_connmgr: the device's connection manager, as the port sees it.
//
// There is no cellular or Wi-Fi switching on a desktop: one destination
// network, "Internet" (index 0), whose connection is up at the first status
// query. Tests switch the manager to answer as a phone without coverage
// would ("no network": no destination at all; "refuses": establishing
// fails; "never connects": the status never reaches connected) and shorten
// the one-second wait between status polls.
// Every call may come from any thread.
#pragma once

#include <cstdint>

constexpr uint32_t OS_CONNMGR_E_FAIL = 0x80004005u;
constexpr uint32_t OS_CONNMGR_STATUS_CONNECTED = 0x10;
constexpr uint32_t OS_CONNMGR_STATUS_WAITING = 0x40;
constexpr int OS_CONNMGR_DESCRIPTION_CHARS = 128;

struct os_connmgr_guid {
  uint32_t data1;
  uint16_t data2, data3;
  uint8_t data4[8];
};

// What establishing a connection asks for (the fields the port fills).
struct os_connmgr_request {
  uint32_t size;      // sizeof(os_connmgr_request)
  uint32_t params;    // 1: the destination's GUID is given
  uint32_t flags;     // proxies the connection may use
  uint32_t priority;  // 0x8000: the user is waiting
  os_connmgr_guid destination;
};

struct os_connmgr_destination {
  os_connmgr_guid guid;
  char16_t description[OS_CONNMGR_DESCRIPTION_CHARS];
};

enum os_connmgr_mode {
  OS_CONNMGR_ONLINE = 0,
  OS_CONNMGR_NO_NETWORK,
  OS_CONNMGR_REFUSES,
  OS_CONNMGR_NEVER_CONNECTS,
};

// 0 (S_OK) with the destination at index, OS_CONNMGR_E_FAIL past the last.
uint32_t os_connmgr_enum_destinations(uint32_t index, os_connmgr_destination *out);
// The destination an address is reached through: 0 with its GUID and index.
uint32_t os_connmgr_map_url(const char16_t *url, os_connmgr_guid *guid, uint32_t *index);
// 0 with a handle (never 0) when the request names a known destination.
uint32_t os_connmgr_establish(const os_connmgr_request *request, uintptr_t *handle);
uint32_t os_connmgr_status(uintptr_t handle, uint32_t *status);
uint32_t os_connmgr_release(uintptr_t handle, int cache);

// Test switches; each returns the previous setting.
os_connmgr_mode os_connmgr_set_mode(os_connmgr_mode mode);
uint32_t os_connmgr_set_poll_sleep_ms(uint32_t ms);
// The wait between two status polls (1000 ms unless a test changed it).
uint32_t os_connmgr_poll_sleep_ms();
// Connections established and not yet released (tests see leaks).
int os_connmgr_open_count();
