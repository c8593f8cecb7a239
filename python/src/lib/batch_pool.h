#pragma once

#include <cstddef>
#include <functional>

namespace sarfan::py {

// The process-wide worker pool of the batch encoders: a oneTBB arena (work-stealing
// workers) with one worker per usable CPU, made on the first batch call and kept until the
// process ends. SARFAN_NUM_THREADS, read once when the pool is made, overrides the count.
//
// After fork() the child gets no pool: oneTBB's worker threads do not survive fork and
// its global state cannot be rebuilt safely there, so batches in a child process run
// serially on the calling thread (same results, no hang).
class BatchPool {
 public:
  static BatchPool& instance();

  // Runs produce(c) for every chunk c of [0, chunks) on the pool's threads and consume(c)
  // on the calling thread for c = 0, 1, ... as each is ready, so that the calling thread
  // converts finished chunks while the pool encodes the rest. Once produce or consume
  // returns false, or produce throws, chunks not yet started are skipped and nothing more
  // is consumed. Returns when no chunk is running any more; an exception thrown by produce
  // is rethrown then. A single chunk, a pool of one thread and a forked child run
  // everything on the calling thread.
  void run_in_order(size_t chunks, const std::function<bool(size_t)>& produce,
                    const std::function<bool(size_t)>& consume);

  int threads() const { return threads_; }

 private:
  BatchPool();
  int threads_;
  void* arena_;  // tbb::task_arena, kept opaque to spare includers the oneTBB headers
};

// Usable CPUs: the affinity set, reduced by a cgroup (v2 or v1) CPU quota; at least 1.
int usable_cpus();

}  // namespace sarfan::py
