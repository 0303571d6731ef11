#include "traffic/state/position_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <deque>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

using namespace qtr;

namespace {

Position at(std::uint32_t time)
{
    Position p;
    p.time = time;
    p.lat = time * 0.5;
    return p;
}

std::vector<std::uint32_t> times(const PositionStream& s)
{
    std::vector<std::uint32_t> out;
    for (const Position& p : s) out.push_back(p.time);
    return out;
}

std::vector<std::uint32_t> times(const std::deque<Position>& d)
{
    std::vector<std::uint32_t> out;
    for (const Position& p : d) out.push_back(p.time);
    return out;
}

// One step of a script: the operation by its letter and its argument.
//   b push_back, f push_front, p pop_front, q pop_back, r resize, i insert at, e erase at,
//   E erase [1, arg), c clear
struct Step {
    char op;
    std::uint32_t arg;
};

void apply(const Step& s, PositionStream& ring, std::deque<Position>& model)
{
    switch (s.op) {
    case 'b':
        ring.push_back(at(s.arg));
        model.push_back(at(s.arg));
        break;
    case 'f':
        ring.push_front(at(s.arg));
        model.push_front(at(s.arg));
        break;
    case 'p':
        ring.pop_front();
        model.pop_front();
        break;
    case 'q':
        ring.pop_back();
        model.pop_back();
        break;
    case 'r':
        ring.resize(s.arg);
        model.resize(s.arg);
        break;
    case 'i': {
        const auto it = ring.insert(ring.begin() + 1, at(s.arg));
        model.insert(model.begin() + 1, at(s.arg));
        EXPECT_EQ(it->time, s.arg);
        break;
    }
    case 'e': {
        const auto it = ring.erase(ring.begin() + s.arg);
        model.erase(model.begin() + s.arg);
        EXPECT_EQ(it - ring.begin(), static_cast<std::ptrdiff_t>(s.arg));
        break;
    }
    case 'E':
        ring.erase(ring.begin() + 1, ring.begin() + s.arg);
        model.erase(model.begin() + 1, model.begin() + s.arg);
        break;
    case 'c':
        ring.clear();
        model.clear();
        break;
    }
}

std::vector<Step> fill(std::uint32_t from, std::uint32_t n)
{
    std::vector<Step> steps;
    for (std::uint32_t k = 0; k < n; ++k) steps.push_back({'b', from + k});
    return steps;
}

// Each script leaves the stream in the order a deque given the same steps has, including when
// the positions wrap round the end of the slots and when the slots grow while wrapped.
TEST(PositionStream, FollowsADequeThroughEveryOperation)
{
    struct Script {
        const char* name;
        std::vector<std::vector<Step>> parts;
    };
    const Script scripts[] = {
        {"appended and dropped from the front", {fill(1, 5), {{'p', 0}, {'p', 0}}}},
        {"wrapped, then grown while wrapped",
         {fill(1, 14), {{'p', 0}, {'p', 0}, {'p', 0}, {'p', 0}, {'p', 0}}, fill(20, 30)}},
        {"put in front across the start of the slots", {fill(1, 3), {{'f', 90}, {'f', 91}, {'f', 92}}, fill(4, 20)}},
        {"a midpoint inserted while wrapped", {fill(1, 16), {{'p', 0}, {'p', 0}, {'p', 0}}, fill(17, 2), {{'i', 70}}}},
        {"one point erased, and a run of points", {fill(1, 12), {{'e', 1}, {'e', 3}, {'E', 4}, {'e', 0}}}},
        {"cut to its first point, then grown with blanks", {fill(1, 9), {{'r', 1}, {'r', 4}, {'q', 0}}}},
        {"emptied and used again", {fill(1, 20), {{'c', 0}}, fill(40, 3), {{'f', 39}}}},
    };
    for (const Script& script : scripts) {
        SCOPED_TRACE(script.name);
        PositionStream ring;
        std::deque<Position> model;
        for (const auto& part : script.parts)
            for (const Step& step : part) apply(step, ring, model);
        EXPECT_EQ(times(ring), times(model));
        ASSERT_EQ(ring.size(), model.size());
        EXPECT_EQ(ring.empty(), model.empty());
        if (!model.empty()) {
            EXPECT_EQ(ring.front().time, model.front().time);
            EXPECT_EQ(ring.back().time, model.back().time);
            EXPECT_EQ(ring[ring.size() / 2].lat, model[model.size() / 2].lat);
        }
    }
}

// The flow of a live aircraft (a report appended, a reached point dropped, now and then a point
// inserted or erased) never grows the stream beyond the longest it was: no heap call per tick.
TEST(PositionStream, SteadyFlowKeepsItsSlots)
{
    PositionStream ring;
    for (std::uint32_t t = 0; t < 12; ++t) ring.push_back(at(t));
    const std::size_t slots = ring.capacity();
    const Position* const first = &ring[0];
    for (std::uint32_t t = 12; t < 5000; ++t) {
        ring.push_back(at(t));
        if (t % 7 == 0) ring.insert(ring.begin() + 1, at(t));
        if (t % 7 == 3) ring.erase(ring.begin() + 1);
        ring.pop_front();
        ASSERT_EQ(ring.capacity(), slots) << "at " << t;
        // The same slots, not slots allocated anew and freed.
        ASSERT_FALSE(std::less<>{}(&ring[0], first)) << "at " << t;
        ASSERT_TRUE(std::less<>{}(&ring[0], first + slots)) << "at " << t;
    }
    EXPECT_EQ(ring.size(), 13u); // 713 points inserted, 712 erased
    EXPECT_EQ(ring.back().time, 4999u);
}

TEST(PositionStream, CopiesAndMovesKeepTheOrder)
{
    PositionStream ring;
    for (std::uint32_t t = 1; t <= 20; ++t) ring.push_back(at(t));
    for (int k = 0; k < 10; ++k) ring.pop_front();
    for (std::uint32_t t = 21; t <= 25; ++t) ring.push_back(at(t)); // wrapped
    const std::vector<std::uint32_t> expected = times(ring);

    const PositionStream copy = ring;
    EXPECT_EQ(times(copy), expected);
    PositionStream moved = std::move(ring);
    EXPECT_EQ(times(moved), expected);
    EXPECT_TRUE(ring.empty()); // NOLINT(bugprone-use-after-move): a moved-from stream is empty
    ring.push_back(at(7));
    EXPECT_EQ(times(ring), std::vector<std::uint32_t>{7});

    // The algorithms of the motion code walk it as a random-access range.
    EXPECT_TRUE(std::all_of(moved.begin() + 1, moved.end(), [](const Position& p) { return p.time > 11; }));
    const double sum =
        std::accumulate(moved.begin(), moved.end(), 0.0, [](double s, const Position& p) { return s + p.time; });
    EXPECT_EQ(sum, std::accumulate(expected.begin(), expected.end(), 0.0));
    EXPECT_EQ(moved.end() - moved.begin(), 15);
}

} // namespace
