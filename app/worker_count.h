// How many instruments a run works on at once: -j N or [General] Threads.
#pragma once

#include <string>

inline constexpr char kThreadsOption[] = "-j";
inline constexpr char kThreadsKey[] = "Threads";
// More workers than this only queue on the disk.
inline constexpr int kMaxWorkers = 64;

// The number of workers that text (the option's or the setting's value) asks for; empty:
// the number of cores. A value that is not a whole number from 1 to kMaxWorkers is
// reported in the errors log and the number of cores used.
int WorkerCount(const std::string& text);
