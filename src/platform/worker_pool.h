#pragma once
// A fixed number of threads that take tasks from one queue in the order they were given. A job
// hands the encodings of its entries to one while its own thread goes on reading the disc.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tonalda {

// The processor cores this process may use: the default number of a job's encoder workers.
// Thread: any.
int availableCores();

// Thread: the owner submits and waits; tasks run on the pool's threads.
class WorkerPool {
  public:
    // A task learns which of the pool's threads runs it (0 .. workers - 1), so that it can use
    // what belongs to that thread (its encoders).
    using Task = std::function<void(int worker)>;

    explicit WorkerPool(int workers);
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    // Runs the tasks still queued, then joins the threads.
    ~WorkerPool();

    void submit(Task task);
    // Returns when every task submitted so far has run.
    void waitIdle();

  private:
    void work(int worker);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Task> tasks_;
    int busy_ = 0;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace tonalda
