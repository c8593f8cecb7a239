#include "batch_pool.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

namespace sarfan::py {

namespace {

// Batches smaller than this are encoded on the calling thread: waking workers costs more
// than encoding a few short texts.
constexpr size_t kSerialBytes = 16 * 1024;

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

void mark_forked_child() {
  forked_child.store(true, std::memory_order_relaxed);
}

}  // namespace

int usable_cpus() {
  int cpus = 1;
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) cpus = CPU_COUNT(&set);
  int limit = cgroup_v2_limit();
  if (limit == 0) limit = cgroup_v1_limit();
  if (limit > 0 && limit < cpus) cpus = limit;
  return cpus < 1 ? 1 : cpus;
}

BatchPool::BatchPool() : threads_(thread_count()), arena_(new tbb::task_arena(threads_)) {
  pthread_atfork(nullptr, nullptr, mark_forked_child);
}

BatchPool& BatchPool::instance() {
  static BatchPool* pool = new BatchPool();  // lives until the process ends, never joined
  return *pool;
}

void BatchPool::run(size_t n, size_t total_bytes, const std::function<void(size_t, size_t)>& work) {
  if (n == 0) return;
  if (n == 1 || threads_ == 1 || total_bytes < kSerialBytes ||
      forked_child.load(std::memory_order_relaxed)) {
    work(0, n);
    return;
  }
  auto* arena = static_cast<tbb::task_arena*>(arena_);
  arena->execute([&] {
    tbb::parallel_for(tbb::blocked_range<size_t>(0, n),
                      [&](const tbb::blocked_range<size_t>& r) { work(r.begin(), r.end()); });
  });
}

}  // namespace sarfan::py
