#include "TimeLeft.h"

#include <algorithm>
#include <cmath>

#include "FileSystemText.h"

const double TimeLeftEstimate::WindowSeconds = 5.0;

namespace {

// The stage's first second shows no estimate: too little is known yet.
const double QuietSeconds = 1.0;

std::string Counted(long long number, const char* unit) {
    return "about " + std::to_string(number) + " " + unit + (number == 1 ? "" : "s") + " left";
}

} // namespace

void TimeLeftEstimate::Begin(double seconds, unsigned long long total) {
    samples_.clear();
    samples_.push_back({seconds, 0});
    begun_ = seconds;
    total_ = total;
}

void TimeLeftEstimate::Note(double seconds, unsigned long long done) {
    if (samples_.empty() || seconds < samples_.back().seconds)
        return;
    samples_.push_back({seconds, done});
    // One sample older than the window stays, so that the rate spans all of it.
    while (samples_.size() > 2 && samples_[1].seconds <= seconds - WindowSeconds)
        samples_.pop_front();
}

std::string TimeLeftEstimate::Text() const {
    if (samples_.empty() || total_ == 0)
        return std::string();
    const Sample& last = samples_.back();
    if (last.seconds - begun_ < QuietSeconds || last.done == 0)
        return std::string();
    const Sample& first = samples_.front();
    // Where the window saw no file end (one large file in hand), the rate
    // since the stage began.
    double rate = last.done > first.done && last.seconds > first.seconds
                      ? double(last.done - first.done) / (last.seconds - first.seconds)
                      : double(last.done) / (last.seconds - begun_);
    const unsigned long long left = last.done < total_ ? total_ - last.done : 0;
    return FileSystem::Megabytes(static_cast<unsigned long long>(rate), FileSystem::Rounding::Up) +
           " MB/s, " + TimeLeftText(double(left) / rate);
}

std::string TimeLeftText(double seconds) {
    if (seconds < 5)
        return "a few seconds left";
    if (seconds <= 55)
        return Counted(static_cast<long long>(std::ceil(seconds / 5) * 5), "second");
    if (seconds < 90 * 60)
        return Counted(std::max(1LL, std::llround(seconds / 60)), "minute");
    return Counted(std::llround(seconds / 3600), "hour");
}
