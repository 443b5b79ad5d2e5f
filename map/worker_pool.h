#pragma once
// A few threads that stay for the run and share out the items of one job at a time,
// for decoding the tiles of a mosaic fill on every core. The calling thread works on
// the job too, so a pool of no threads simply runs it on the caller.
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quorel {

class WorkerPool {
public:
    explicit WorkerPool(int threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Calls work(i) once for every i in [0, count), on the pool's threads and the caller,
    // in no particular order, and returns when every call has returned. A call that
    // throws does not stop the others: once all have returned, the first exception
    // caught is thrown on to the caller. One job at a time: run is called from one
    // thread only.
    void run(std::size_t count, const std::function<void(std::size_t)>& work);

    int threads() const { return static_cast<int>(threads_.size()); }

private:
    void serve();
    void workOnJob();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    const std::function<void(std::size_t)>* work_ = nullptr;
    std::size_t count_ = 0;
    std::size_t next_ = 0;        // the next item to hand out
    std::size_t finished_ = 0;    // items whose call has returned
    std::exception_ptr failure_;  // the first call of the job that threw
    unsigned long job_ = 0;       // counts jobs, so a thread takes each job once
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// Decode threads for this machine: one for each core beyond the first, at most three
// (the caller makes four); none on one core.
int decodeThreadsForMachine();

}  // namespace quorel
