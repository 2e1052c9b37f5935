// Items worked on by several threads at once, each thread taking the next item not yet taken.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace vellicam::facedetect {

// Calls work(item, slot) for every item 0 .. count - 1 on up to `threads` threads, the calling one among them;
// `slot` (0 .. threads - 1) tells the thread, for scratch memory of its own. The items are taken in order, so the
// first (in the callers here, the longest) start first. A thread that cannot be started leaves its share to the
// others. What a call throws on any thread (no memory, an OpenCV exception) is thrown here, on the calling thread,
// once every thread has stopped; the items not yet taken then are not worked.
template <typename Work> void ShareItems(std::size_t count, int threads, const Work& work)
{
    std::atomic<std::size_t> next { 0 };
    std::exception_ptr failure;
    std::mutex failureLock;
    const auto run = [&](int slot) {
        try {
            for (std::size_t item = next++; item < count; item = next++)
                work(item, slot);
        } catch (...) {
            const std::lock_guard lock(failureLock);
            if (!failure)
                failure = std::current_exception();
            next = count;
        }
    };
    std::vector<std::thread> helpers;
    try {
        for (int slot = 1; slot < threads && static_cast<std::size_t>(slot) < count; ++slot)
            helpers.emplace_back(run, slot);
    } catch (const std::system_error&) {
    }
    run(0);
    for (std::thread& helper : helpers)
        helper.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace vellicam::facedetect
