// Work memory kept from one call to the next in the process, so that files
// are read into memory that is already the program's, as a reader that keeps
// its buffer does. Fresh memory costs a page fault for every 4 KB it is
// first written (on the Linux machine the benchmarks run on, under Wine,
// about as much as reading the megabyte).
#pragma once

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>

namespace TVNConfigUtil {

// Texts larger than this are given back rather than kept.
constexpr size_t KeptTextBytes = 64u << 20;

template <typename Texts> bool AllKeptSize(const Texts& texts) {
    return std::all_of(std::begin(texts), std::end(texts),
                       [](const std::string& text) { return text.capacity() <= KeptTextBytes; });
}

// The kept Work for the length of a call: two calls at once each get their
// own. Work has a default constructor and bool Keep(), which drops what must
// not outlive the call and tells whether the rest is worth keeping.
template <typename Work> class KeptWork {
  public:
    KeptWork() {
        {
            std::lock_guard<std::mutex> lock(Lock());
            work_ = std::move(Kept());
        }
        if (!work_)
            work_ = std::make_unique<Work>();
    }
    ~KeptWork() {
        if (!work_->Keep())
            return;
        std::lock_guard<std::mutex> lock(Lock());
        Kept() = std::move(work_);
    }
    KeptWork(const KeptWork&) = delete;
    KeptWork& operator=(const KeptWork&) = delete;
    Work& operator*() { return *work_; }

  private:
    static std::mutex& Lock() {
        static std::mutex lock;
        return lock;
    }
    static std::unique_ptr<Work>& Kept() {
        static std::unique_ptr<Work> kept;
        return kept;
    }
    std::unique_ptr<Work> work_;
};

} // namespace TVNConfigUtil
