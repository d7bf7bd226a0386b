// wince_connection: the data connection the gallery upload needs before it
// opens a socket.
//
// One record per destination network, shared by its users through a use
// count and kept in the connection list of the platform context
// (`connmngr_global`) until tear-down. Opening asks the connection manager
// for the connection and watches it come up on a poll thread of the record's
// own; the outcome reaches the caller's callback (1 up, 0 failed) on that
// thread, or on the caller's thread when it is known at once.
// The list and the use counts belong to the GUI thread; the connection
// handle is shared with the poll thread and guarded by the record's mutex.
// A record released to no users, and the list at tear-down, stop their poll
// thread and join it: no callback comes after the last release returns.
#pragma once

#include <cstdint>

struct wince_connection;
typedef void (*wince_connection_fn)(wince_connection *conn, int connected, void *user_data);

// How many status polls a connection gets before it counts as failed.
constexpr int WINCE_CONNECTION_POLLS = 30;

// Makes the empty list when there is none.
void tregistry_init_connections();
// Releases every record to no users, joins the poll threads, frees the list.
void tregistry_free_connections();

// The record of the destination with one more use; null without a list.
wince_connection *wince_connection_get(uint32_t destination_index);
// Asks for the connection; the outcome always comes through the callback
// (on this thread when it is known at once, or when no poll thread can be
// started: the error code goes to the debug log).
void wince_connection_open(wince_connection *conn, wince_connection_fn callback, void *user_data);
// Drops one use; at none a held connection is released and a poll stopped.
void wince_connection_release(wince_connection *conn);

// The callback runs on the poll thread; the last release waits for that
// thread, so whoever releases must not hold a lock that the callback takes.
