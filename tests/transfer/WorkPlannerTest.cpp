#include <transfer/WorkPlanner.h>

#include <gtest/gtest.h>

namespace {

constexpr double MBps = 1024.0 * 1024.0;
using K = WorkChoice::Kind;

struct Case {
    const char *name;
    qint64 blocks;                                  // the file
    std::vector<std::pair<qint64, qint64>> good;    // runs already good
    std::vector<std::pair<qint64, int>> bad;        // a block that failed from a source
    std::vector<SourceLoad> sources;                // claims follow the working ones' runs
    int who;
    bool avoidBad;
    WorkChoice expected;
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

class Planner : public testing::TestWithParam<Case> {};

TEST_P(Planner, ChoosesTheExpectedWork)
{
    const Case &c = GetParam();
    BlockMap map(c.blocks * BlockMap::BlockBytes);
    for (auto [first, last] : c.good)
        for (qint64 k = first; k <= last; ++k)
            map.markGood(k);
    for (auto [block, source] : c.bad)
        map.markBad(block, source);
    for (const SourceLoad &s : c.sources)
        if (s.working)
            map.claim(s.next, s.last, s.id);
    const WorkChoice got = chooseWork(map, c.sources, c.who, c.avoidBad);
    EXPECT_EQ(int(got.kind), int(c.expected.kind));
    if (got.kind != K::Nothing) {
        EXPECT_EQ(got.first, c.expected.first);
        EXPECT_EQ(got.last, c.expected.last);
        EXPECT_EQ(got.from, c.expected.from);
    }
}

SourceLoad idle(int id, double rate = 0) { return {id, false, rate, 0, -1}; }
SourceLoad busy(int id, double rate, qint64 next, qint64 last) { return {id, true, rate, next, last}; }

INSTANTIATE_TEST_SUITE_P(Table, Planner, testing::Values(
    Case{"first source starts at the beginning with a first run", 10000, {}, {},
         {idle(0), idle(1), idle(2), idle(3)}, 0, true, {K::Fresh, 0, 255}},
    Case{"a measured rate sizes the run to about two seconds", 100000, {}, {},
         {idle(0, 4 * MBps), busy(1, 4 * MBps, 0, 2047)}, 0, true, {K::Fresh, 2048, 4095}},
    Case{"a block that failed from a source goes to it again when it is the last", 100, {{0, 9}}, {{10, 0}},
         {idle(0)}, 0, false, {K::Fresh, 10, 99}},
    Case{"a stalled source loses its whole rest", 1000, {{0, 899}}, {},
         {idle(0, 4 * MBps), busy(1, 1, 900, 999)}, 0, true, {K::TakeOver, 900, 999, 1}},
    Case{"a working source is given nothing", 1000, {}, {},
         {busy(0, 4 * MBps, 0, 9)}, 0, true, {K::Nothing}}));

} // namespace
