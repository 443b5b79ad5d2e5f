#include "map/worker_pool.h"

#include <algorithm>
#include <utility>

namespace quorel {

WorkerPool::WorkerPool(int threads) {
    for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { serve(); });
}

WorkerPool::~WorkerPool() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void WorkerPool::run(std::size_t count, const std::function<void(std::size_t)>& work) {
    if (count == 0) return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        work_ = &work;
        count_ = count;
        next_ = 0;
        finished_ = 0;
        ++job_;
    }
    wake_.notify_all();
    workOnJob();
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return finished_ == count_; });
    work_ = nullptr;
    // Only now: until every call has returned the threads still use work.
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void WorkerPool::serve() {
    unsigned long seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || job_ != seen; });
            if (stopping_) return;
            seen = job_;
        }
        workOnJob();
    }
}

// Takes items of the current job until none is left.
void WorkerPool::workOnJob() {
    for (;;) {
        const std::function<void(std::size_t)>* work = nullptr;
        std::size_t item = 0;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (work_ == nullptr || next_ >= count_) return;
            work = work_;
            item = next_++;
        }
        std::exception_ptr failure;
        try {
            (*work)(item);
        } catch (...) {
            failure = std::current_exception();
        }
        bool last = false;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (failure && !failure_) failure_ = std::move(failure);
            last = ++finished_ == count_;
        }
        if (last) done_.notify_all();
    }
}

int decodeThreadsForMachine() {
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::min(cores > 1 ? cores - 1 : 0u, 3u));
}

}  // namespace quorel
