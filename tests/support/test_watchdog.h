// The watchdog of a test program (armed for every one by time_limit.cpp):
// a program that hangs ends by itself, and so does everything it started,
// so that no X server or program it left holds the pipe ctest reads to its
// end.
#pragma once

// Starts a thread that, after seconds, says on stderr that the program
// hung, kills every process below it and ends it with exit code 124. From
// here on the processes that its children leave behind are taken in by
// this process (they would go to init), so that none escapes the kill.
void test_watchdog_start(int seconds);

// Kills every process below this one, those it took in as well, and reaps
// them, until none is left. Allocates nothing and takes no lock: the
// thread that hung may hold any.
void test_kill_descendants();
