#include "batch_pool.h"

#if defined(__linux__)
#include <sched.h>
#endif
#if !defined(_WIN32)
#include <pthread.h>
#endif

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <vector>

#include <tbb/global_control.h>
#include <tbb/task_arena.h>

namespace sarfan::py {

namespace {

#if defined(__linux__)
// The CPU limit of a cgroup quota ("quota period" or "max period"), or 0 for none.
int quota_cpus(long long quota, long long period) {
  if (quota <= 0 || period <= 0) return 0;
  return int(std::ceil(double(quota) / double(period)));
}

int cgroup_v2_limit() {
  // The process's own cgroup first, then the root of the hierarchy.
  std::ifstream self("/proc/self/cgroup");
  std::string line, path;
  while (std::getline(self, line)) {
    if (line.rfind("0::", 0) == 0) path = line.substr(3);
  }
  for (std::string dir : {"/sys/fs/cgroup" + path, std::string("/sys/fs/cgroup")}) {
    std::ifstream in(dir + "/cpu.max");
    std::string quota;
    long long period = 0;
    if (in >> quota >> period) {
      if (quota == "max") return 0;
      return quota_cpus(std::atoll(quota.c_str()), period);
    }
  }
  return 0;
}

int cgroup_v1_limit() {
  std::ifstream quota_in("/sys/fs/cgroup/cpu/cpu.cfs_quota_us");
  std::ifstream period_in("/sys/fs/cgroup/cpu/cpu.cfs_period_us");
  long long quota = 0, period = 0;
  if (quota_in >> quota && period_in >> period) return quota_cpus(quota, period);
  return 0;
}
#endif

int thread_count() {
  if (const char* text = std::getenv("SARFAN_NUM_THREADS")) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end != text && *end == '\0' && value >= 1 && value <= 4096) return int(value);
  }
  return usable_cpus();
}

// Set in a child process after fork(); the pool's threads did not come along.
std::atomic<bool> forked_child{false};

#if !defined(_WIN32)
void mark_forked_child() {
  forked_child.store(true, std::memory_order_relaxed);
}
#endif

}  // namespace

int usable_cpus() {
#if defined(__linux__)
  int cpus = 1;
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) cpus = CPU_COUNT(&set);
  int limit = cgroup_v2_limit();
  if (limit == 0) limit = cgroup_v1_limit();
  if (limit > 0 && limit < cpus) cpus = limit;
#else
  // Affinity sets and cgroups are Linux's: elsewhere, the processors the system reports.
  int cpus = int(std::thread::hardware_concurrency());
#endif
  return cpus < 1 ? 1 : cpus;
}

BatchPool::BatchPool() : threads_(thread_count()) {
  // The calling thread converts results while the workers encode, so the arena keeps no
  // slot for it and oneTBB is allowed one worker per pool thread.
  static tbb::global_control workers(tbb::global_control::max_allowed_parallelism,
                                     size_t(threads_) + 1);
  arena_ = new tbb::task_arena(threads_, 0);
#if !defined(_WIN32)  // Windows has no fork
  pthread_atfork(nullptr, nullptr, mark_forked_child);
#endif
}

BatchPool& BatchPool::instance() {
  static BatchPool* pool = new BatchPool();  // lives until the process ends, never joined
  return *pool;
}

void BatchPool::run_in_order(size_t chunks, const std::function<bool(size_t)>& produce,
                             const std::function<bool(size_t)>& consume) {
  if (chunks == 0) return;
  if (chunks == 1 || threads_ == 1 || forked_child.load(std::memory_order_relaxed)) {
    for (size_t c = 0; c < chunks; ++c) {
      if (!produce(c) || !consume(c)) return;
    }
    return;
  }
  enum : uint8_t { kPending, kReady, kStopped };
  std::vector<std::atomic<uint8_t>> states(chunks);
  std::atomic<bool> stop{false};
  size_t finished = 0;  // chunks whose task has ended, under finish_mutex
  std::mutex finish_mutex, error_mutex;
  std::condition_variable all_finished;
  std::exception_ptr error;
  auto* arena = static_cast<tbb::task_arena*>(arena_);
  for (size_t c = 0; c < chunks; ++c) {
    // Enqueued tasks start in about first-in first-out order, the order they are consumed.
    arena->enqueue([&, c] {
      uint8_t state = kStopped;
      if (!stop.load(std::memory_order_relaxed)) {
        try {
          state = produce(c) ? kReady : kStopped;
        } catch (...) {
          std::lock_guard<std::mutex> lock(error_mutex);
          if (!error) error = std::current_exception();
        }
      }
      if (state == kStopped) stop.store(true, std::memory_order_relaxed);
      states[c].store(state, std::memory_order_release);
      states[c].notify_one();
      // The caller returns once it sees every task ended, so this is the last access to
      // its locals; notifying under the lock keeps the condition variable alive for it.
      std::lock_guard<std::mutex> lock(finish_mutex);
      if (++finished == chunks) all_finished.notify_one();
    });
  }
  for (size_t c = 0; c < chunks; ++c) {
    states[c].wait(kPending, std::memory_order_acquire);
    if (states[c].load(std::memory_order_acquire) != kReady || !consume(c)) {
      stop.store(true, std::memory_order_relaxed);
      break;
    }
  }
  {
    std::unique_lock<std::mutex> lock(finish_mutex);
    all_finished.wait(lock, [&] { return finished == chunks; });
  }
  if (error) std::rethrow_exception(error);
}

}  // namespace sarfan::py
