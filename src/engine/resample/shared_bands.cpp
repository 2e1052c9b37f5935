// Bands of rows taken in turn by the calling thread and a helper.
#include "resample/shared_bands.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace vellicam {

namespace {

// The record both threads share. A helper starting after the last band was taken finds none and touches nothing
// but this record, which it holds a share of: the caller may have returned by then.
struct SharedBands {
    int count = 0;
    std::atomic<int> next { 0 };
    int finished = 0; // under `mutex`
    bool failed = false; // under `mutex`
    std::mutex mutex;
    std::condition_variable allFinished;

    [[nodiscard]] int Take() { return next.fetch_add(1); }
    void Finish(bool made)
    {
        {
            const std::lock_guard lock(mutex);
            failed = failed || !made;
            ++finished;
        }
        allFinished.notify_all();
    }
};

} // namespace

bool MakeBandsShared(int count, const std::function<bool(int band, bool onCaller)>& make)
{
    if (count <= 0)
        return true;
    auto bands = std::make_shared<SharedBands>();
    bands->count = count;
    try {
        // `make` is only called for a band taken, and the caller does not return before every band taken is
        // finished.
        std::thread([bands, make = &make] {
            for (int band = bands->Take(); band < bands->count; band = bands->Take())
                bands->Finish((*make)(band, false));
        }).detach();
    } catch (const std::system_error&) {
    }
    for (int band = bands->Take(); band < bands->count; band = bands->Take())
        bands->Finish(make(band, true));
    std::unique_lock lock(bands->mutex);
    bands->allFinished.wait(lock, [&] { return bands->finished == bands->count; });
    return !bands->failed;
}

} // namespace vellicam
