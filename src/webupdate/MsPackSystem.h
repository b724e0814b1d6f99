#pragma once
// The file functions libmspack works through, for our expansions: inputs are
// read from plain files; the one output of an extraction goes into an atomic
// writer (so a failed or refused extraction leaves the old file as it was)
// and is bounded by a byte budget.
#include "platform/FileIO.h"

#include <cstdint>
#include <mspack.h>

struct TMsPackSystem {
    mspack_system Sys;                          // must stay first
    fileio::AtomicWriter *Output = nullptr;     // where the next output goes
    bool Counting = false;                      // the output is only counted
    int64_t Budget = 0;                         // bytes the output may still take
    bool OverBudget = false;

    TMsPackSystem();
    mspack_system *System() { return &Sys; }
    // Directs the next output to writer, allowing at most budget bytes.
    void SetOutput(fileio::AtomicWriter *writer, int64_t budget);
    // The next output is counted against budget and kept nowhere (to learn
    // how much a packed file really holds).
    void CountOutput(int64_t budget);
};
