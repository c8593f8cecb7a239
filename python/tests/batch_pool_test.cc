#include "batch_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace sarfan::py {
namespace {

class BatchPoolTest : public testing::Test {
 protected:
  static BatchPool& pool() {
    setenv("SARFAN_NUM_THREADS", "3", 0);  // read once, when the pool is made
    return BatchPool::instance();
  }
};

TEST_F(BatchPoolTest, ConsumesEveryChunkInOrderAfterItIsProduced) {
  constexpr size_t kChunks = 500;
  std::vector<std::atomic<int>> produced(kChunks);
  std::vector<size_t> consumed;
  pool().run_in_order(
      kChunks,
      [&](size_t c) {
        produced[c].fetch_add(1);
        return true;
      },
      [&](size_t c) {
        EXPECT_EQ(produced[c].load(), 1) << c;
        consumed.push_back(c);
        return true;
      });
  ASSERT_EQ(consumed.size(), kChunks);
  for (size_t c = 0; c < kChunks; ++c) {
    EXPECT_EQ(consumed[c], c);
    EXPECT_EQ(produced[c].load(), 1);
  }
}

TEST_F(BatchPoolTest, StopsConsumingAtAFailedChunk) {
  constexpr size_t kChunks = 300, kFailing = 120;
  std::vector<size_t> consumed;
  pool().run_in_order(
      kChunks, [&](size_t c) { return c != kFailing; },
      [&](size_t c) {
        consumed.push_back(c);
        return true;
      });
  // Chunks not started when the failure is seen are skipped, so what is consumed is a
  // prefix that ends before the failed chunk.
  ASSERT_LE(consumed.size(), kFailing);
  for (size_t c = 0; c < consumed.size(); ++c) EXPECT_EQ(consumed[c], c);
}

TEST_F(BatchPoolTest, StopsWhenTheConsumerFails) {
  std::atomic<size_t> produced{0};
  size_t consumed = 0;
  pool().run_in_order(
      1000,
      [&](size_t) {
        produced.fetch_add(1);
        return true;
      },
      [&](size_t c) {
        ++consumed;
        return c < 9;
      });
  EXPECT_EQ(consumed, 10u);
  EXPECT_GE(produced.load(), 10u);
}

TEST_F(BatchPoolTest, CarriesAnExceptionToTheCaller) {
  size_t consumed = 0;
  EXPECT_THROW(pool().run_in_order(
                   200,
                   [&](size_t c) {
                     if (c == 50) throw std::runtime_error("worker failure");
                     return true;
                   },
                   [&](size_t) {
                     ++consumed;
                     return true;
                   }),
               std::runtime_error);
  EXPECT_LE(consumed, 50u);
  // The pool still works afterwards.
  size_t after = 0;
  pool().run_in_order(
      20, [](size_t) { return true; },
      [&](size_t) {
        ++after;
        return true;
      });
  EXPECT_EQ(after, 20u);
}

}  // namespace
}  // namespace sarfan::py
