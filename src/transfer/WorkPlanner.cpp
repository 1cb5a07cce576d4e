#include "WorkPlanner.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const SourceLoad *findSource(const std::vector<SourceLoad> &sources, int id)
{
    for (const SourceLoad &s : sources)
        if (s.id == id)
            return &s;
    return nullptr;
}

// A rate for sizing: unknown rates count as the mean of the known ones.
double sizingRate(const std::vector<SourceLoad> &sources, const SourceLoad &s)
{
    if (s.rate > 0)
        return s.rate;
    double sum = 0;
    int known = 0;
    for (const SourceLoad &o : sources)
        if (o.rate > 0)
            sum += o.rate, ++known;
    return known ? sum / known : 0;
}

qint64 runLength(const BlockMap &map, const std::vector<SourceLoad> &sources, const SourceLoad &self,
                 const PlannerSettings &settings)
{
    const double rate = sizingRate(sources, self);
    qint64 blocks = self.rate > 0 ? qint64(self.rate * settings.runSeconds / double(BlockMap::BlockBytes))
                                  : settings.firstRunBlocks;
    blocks = std::clamp(blocks, settings.minRunBlocks, settings.maxRunBlocks);
    // Its share, by rate, of what is still to come (open or on its way), so
    // that every source is done at about the same time.
    double total = 0;
    qint64 outstanding = map.openBlocks();
    for (const SourceLoad &o : sources) {
        total += sizingRate(sources, o);
        if (o.working)
            outstanding += std::max<qint64>(0, o.last - o.next + 1);
    }
    const double fraction = total > 0 && rate > 0 ? rate / total : 1.0 / double(std::max<size_t>(1, sources.size()));
    const qint64 share = qint64(std::ceil(double(outstanding) * fraction));
    return std::max<qint64>(1, std::min(blocks, share));
}

double secondsFor(qint64 blocks, double rate)
{
    return rate > 0 ? double(blocks * BlockMap::BlockBytes) / rate : std::numeric_limits<double>::infinity();
}

// How much of `victim`'s rest `self` should take so that both end together.
WorkChoice takeOver(const SourceLoad &self, const SourceLoad &victim, double victimRate, const PlannerSettings &settings)
{
    const qint64 rest = victim.last - victim.next + 1;
    const double finish = secondsFor(rest, victimRate);
    // keep / rv = (rest - keep) / rs + cost, in blocks and seconds.
    const double rv = victimRate / double(BlockMap::BlockBytes), rs = self.rate / double(BlockMap::BlockBytes);
    const qint64 keep =
        std::clamp<qint64>(qint64((double(rest) / rs + settings.requestSeconds) / (1 / rv + 1 / rs)), 0, rest);
    const qint64 taken = rest - keep;
    const double after = std::max(secondsFor(keep, victimRate), settings.requestSeconds + secondsFor(taken, self.rate));
    if (taken < std::min(settings.minTakeOverBlocks, rest) || finish - after < settings.minGainSeconds)
        return {};
    return {WorkChoice::Kind::TakeOver, victim.last - taken + 1, victim.last, victim.id};
}

} // namespace

WorkChoice chooseWork(const BlockMap &map, const std::vector<SourceLoad> &sources, int who, bool avoidBad,
                      const PlannerSettings &settings)
{
    const SourceLoad *self = findSource(sources, who);
    if (!self || self->working)
        return {};
    const qint64 first = map.firstOpen(0, who, avoidBad);
    if (first >= 0) {
        const qint64 length = runLength(map, sources, *self, settings);
        return {WorkChoice::Kind::Fresh, first, map.openRunEnd(first, length, who, avoidBad), -1};
    }
    if (self->rate <= 0)
        return {};
    // The end: the run that would finish last is raced.
    const SourceLoad *slowest = nullptr;
    double latest = 0;
    for (const SourceLoad &o : sources) {
        if (o.id == who || !o.working || o.last < o.next)
            continue;
        const double finish = secondsFor(o.last - o.next + 1, sizingRate(sources, o));
        if (!slowest || finish > latest)
            slowest = &o, latest = finish;
    }
    return slowest ? takeOver(*self, *slowest, sizingRate(sources, *slowest), settings) : WorkChoice{};
}
