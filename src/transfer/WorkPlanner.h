#pragma once

#include "BlockMap.h"

#include <vector>

// What one source is doing, as the planner sees it.
struct SourceLoad {
    int id = 0;
    bool working = false;  // a run is under way (its answer may still be due)
    double rate = 0;       // bytes per second measured; 0 while unknown (counted as the mean of the known)
    qint64 next = 0;       // the next block the run brings
    qint64 last = -1;      // the run's last block
};

// Work for one source: a run of blocks [first, last], fresh or taken over
// from the end of `from`'s run (which then ends at first - 1, or is dropped
// when first is its next block).
struct WorkChoice {
    enum class Kind { Nothing, Fresh, TakeOver };
    Kind kind = Kind::Nothing;
    qint64 first = 0;
    qint64 last = -1;
    int from = -1;
};

// How runs are sized.
struct PlannerSettings {
    double runSeconds = 2.0;          // a run lasts about this long at the source's rate
    qint64 firstRunBlocks = 256;      // a run for a source whose rate is unknown
    qint64 minRunBlocks = 16;
    qint64 maxRunBlocks = 16384;
    double requestSeconds = 0.05;     // what starting a request costs, in time
    double minGainSeconds = 0.25;     // a takeover must save at least this much
    qint64 minTakeOverBlocks = 4;
};

// Chooses the next work for source `who` from the map and every source's
// load (`who` included). Pure: it changes nothing.
//
// Fresh work is the first open block the source may fetch, and the run is
// sized by the source's rate and capped by its share (by rate, among the
// sources counted in `sources`) of what is still to come, open or in
// flight, so that all sources reach the end together. When nothing is open, `who` takes over the end of
// the run that would finish last, if it would finish that part sooner.
// `avoidBad`: a source is not given back a block that failed from it
// (false when it is the only source left).
WorkChoice chooseWork(const BlockMap &map, const std::vector<SourceLoad> &sources, int who, bool avoidBad,
                      const PlannerSettings &settings = {});
