#pragma once

#include <cstddef>
#include <functional>

namespace sarfan::py {

// The process-wide worker pool of the batch encoders: a oneTBB arena (fork-join with work
// stealing) with one slot per usable CPU, made on the first batch call and kept until the
// process ends. SARFAN_NUM_THREADS, read once when the pool is made, overrides the count.
//
// After fork() the child gets no pool: oneTBB's worker threads do not survive fork and
// its global state cannot be rebuilt safely there, so batches in a child process run
// serially on the calling thread (same results, no hang).
class BatchPool {
 public:
  static BatchPool& instance();

  // Calls work(begin, end) on runs of [0, n) that together cover it exactly once, in
  // parallel when that pays off; returns when all are done. Exceptions thrown by `work`
  // reach the caller.
  void run(size_t n, size_t total_bytes, const std::function<void(size_t, size_t)>& work);

  int threads() const { return threads_; }

 private:
  BatchPool();
  int threads_;
  void* arena_;  // tbb::task_arena, kept opaque to spare includers the oneTBB headers
};

// Usable CPUs: the affinity set, reduced by a cgroup (v2 or v1) CPU quota; at least 1.
int usable_cpus();

}  // namespace sarfan::py
