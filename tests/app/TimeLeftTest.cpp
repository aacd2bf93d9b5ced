#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "TimeLeft.h"

namespace {

const unsigned long long MB = 1048576;

// A stage begun at 0 s, the bytes done at given times, and what is shown.
TEST(TimeLeftEstimate, RateAndTimeLeftFromTheLastSeconds) {
    const struct {
        const char* label;
        unsigned long long total;
        std::vector<std::pair<double, unsigned long long>> done; // seconds, bytes
        const char* text;
    } rows[] = {
        {"nothing in the first second", 100 * MB, {{0.9, 10 * MB}}, ""},
        {"nothing done yet", 100 * MB, {{3, 0}}, ""},
        {"a stage of no bytes", 0, {{3, 0}}, ""},
        {"seconds go up in fives",
         100 * MB,
         {{1, 10 * MB}, {2, 20 * MB}},
         "10.0 MB/s, about 10 seconds left"},
        {"minutes", 1000 * MB, {{1, MB}, {2, 2 * MB}}, "1.0 MB/s, about 17 minutes left"},
        {"hours", 100000 * MB, {{2, 2 * MB}}, "1.0 MB/s, about 28 hours left"},
        {"a faster pace, once it fills the window",
         1000 * MB,
         {{2, 20 * MB},
          {4, 40 * MB},
          {6, 60 * MB},
          {8, 80 * MB},
          {10, 100 * MB},
          {12, 200 * MB},
          {14, 300 * MB},
          {16, 400 * MB}},
         "50.0 MB/s, about 15 seconds left"},
        {"a large file in hand: the pace since the start",
         100 * MB,
         {{1, 10 * MB}, {7, 10 * MB}},
         "1.5 MB/s, about 1 minute left"},
        {"all done", 10 * MB, {{2, 10 * MB}}, "5.0 MB/s, a few seconds left"},
        {"a clock going back is not noted",
         100 * MB,
         {{2, 20 * MB}, {1, 90 * MB}},
         "10.0 MB/s, about 10 seconds left"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        TimeLeftEstimate estimate;
        estimate.Begin(0, row.total);
        for (const auto& [seconds, done] : row.done)
            estimate.Note(seconds, done);
        EXPECT_EQ(estimate.Text(), row.text);
    }
}

} // namespace
