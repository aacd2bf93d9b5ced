// How fast long work goes and how long it has left, for the progress
// window's counts line and the console's progress line: "25.3 MB/s, about
// 40 seconds left". A pure unit: the caller reads the clock and passes the
// time, so that the text follows from the times alone.
#pragma once

#include <deque>
#include <string>

class TimeLeftEstimate {
  public:
    // A stage of `total` bytes begins at `seconds` (on any clock that only
    // goes forward, the same for every call).
    void Begin(double seconds, unsigned long long total);
    // At `seconds`, `done` bytes of the stage are done.
    void Note(double seconds, unsigned long long done);
    // The rate over the last few seconds and the time left at that rate, or
    // empty in the stage's first second, while nothing is done and for a
    // stage of no bytes.
    std::string Text() const;

    // The rate is taken over this many seconds, long enough to even out the
    // files of different sizes, short enough to follow a change of pace.
    static const double WindowSeconds;

  private:
    struct Sample {
        double seconds;
        unsigned long long done;
    };
    std::deque<Sample> samples_; // the last WindowSeconds, and the one before them
    double begun_ = 0;
    unsigned long long total_ = 0;
};

// The time left as it is shown: "a few seconds left", "about 40 seconds
// left", "about 3 minutes left", "about 2 hours left". Seconds go in fives
// and upwards, so that the text changes seldom and never says less than the
// estimate.
std::string TimeLeftText(double seconds);
