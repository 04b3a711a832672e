#include "platform/worker_pool.h"

#include <sched.h>

#include <algorithm>

namespace tonalda {

int availableCores() {
    cpu_set_t cores;
    CPU_ZERO(&cores);
    if (::sched_getaffinity(0, sizeof cores, &cores) == 0 && CPU_COUNT(&cores) > 0)
        return CPU_COUNT(&cores);
    return std::max(1u, std::thread::hardware_concurrency());
}

WorkerPool::WorkerPool(int workers) {
    for (int worker = 0; worker < workers; ++worker)
        threads_.emplace_back([this, worker] { work(worker); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void WorkerPool::submit(Task task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    changed_.notify_all();
}

void WorkerPool::waitIdle() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return tasks_.empty() && busy_ == 0; });
}

void WorkerPool::work(int worker) {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return closing_ || !tasks_.empty(); });
        if (tasks_.empty())
            return;  // closing, and nothing left to run
        Task task = std::move(tasks_.front());
        tasks_.pop_front();
        ++busy_;
        lock.unlock();
        task(worker);
        lock.lock();
        --busy_;
        changed_.notify_all();
    }
}

}  // namespace tonalda
