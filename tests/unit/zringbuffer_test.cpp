#include "ZEL_SYSTEM/ZRingBuffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "ZEL_OS/OsClock.h"
#include "ZEL_OS/OsThread.h"

namespace {

std::vector<int> take(ZRingBuffer& ring, int n) {
  std::vector<unsigned char> out(static_cast<std::size_t>(n));
  if (!ring.get(out.data(), n)) return {};
  return std::vector<int>(out.begin(), out.end());
}

}  // namespace

TEST(ZRingBuffer, AFullRingOverwritesItsOldestByteAndCountsTheLoss) {
  ZRingBuffer ring(4);
  EXPECT_STREQ(ring.className(), "ZRingBuffer");
  for (unsigned char b = 1; b <= 4; ++b) EXPECT_FALSE(ring.put(b));
  EXPECT_EQ(ring.getAvailable(), 4);
  EXPECT_TRUE(ring.put(5));
  EXPECT_EQ(ring.getLost(), 1);
  EXPECT_EQ(take(ring, 4), (std::vector<int>{2, 3, 4, 5}));
  EXPECT_EQ(ring.getAvailable(), 0);
  unsigned char byte = 99;
  EXPECT_FALSE(ring.peek(0, byte));
  EXPECT_EQ(byte, 99);
}

TEST(ZRingBuffer, PositionsWrapAroundTheEndOfTheBlock) {
  ZRingBuffer ring(4);
  ring.put(1);
  ring.put(2);
  ring.put(3);
  EXPECT_EQ(take(ring, 2), (std::vector<int>{1, 2}));
  ring.put(4);
  ring.put(5);
  ring.put(6);
  EXPECT_EQ(ring.getAvailable(), 4);
  unsigned char byte = 0;
  EXPECT_TRUE(ring.peek(3, byte));
  EXPECT_EQ(byte, 6);
  EXPECT_FALSE(ring.peek(4, byte));
  EXPECT_EQ(take(ring, 4), (std::vector<int>{3, 4, 5, 6}));
  EXPECT_EQ(ring.getLost(), 0);
}

TEST(ZRingBuffer, GetTakesAllOrNothing) {
  ZRingBuffer ring(4);
  ring.put(7);
  ring.put(8);
  EXPECT_EQ(take(ring, 3), std::vector<int>{});
  EXPECT_EQ(ring.getAvailable(), 2);
  unsigned char none;
  EXPECT_FALSE(ring.get(&none, 0));
  EXPECT_EQ(take(ring, 2), (std::vector<int>{7, 8}));
}

TEST(ZRingBuffer, ResetAndSetSizeEmptyTheRing) {
  ZRingBuffer ring;
  EXPECT_EQ(ring.getSize(), 100);
  for (int i = 0; i < 150; ++i) ring.put(static_cast<unsigned char>(i));
  EXPECT_EQ(ring.getLost(), 50);
  ring.reset();
  EXPECT_EQ(ring.getAvailable(), 0);
  EXPECT_EQ(ring.getLost(), 0);
  ring.put(1);
  EXPECT_EQ(ring.setSize(400), 1);
  EXPECT_EQ(ring.getSize(), 400);
  EXPECT_EQ(ring.getAvailable(), 0);
  ZRingBuffer empty(0);
  EXPECT_FALSE(empty.put(1));  // no room at all: nothing stored, nothing lost
  EXPECT_EQ(empty.getAvailable(), 0);
}

// A reader thread puts while the owner takes, resets and resizes, as in the serial port. Every
// byte taken must come in the order put, and the counts must add up: no operation may see
// another one half done.
TEST(ZRingBuffer, AProducerThreadAndTheOwnerNeverInterleave) {
  struct Shared {
    ZRingBuffer ring{64};
    std::atomic<bool> stop{false};
    std::atomic<long> put{0};
  } shared;
  zos::Handle producer = zos::createThread(
      [](void* parameter) -> unsigned {
        auto* s = static_cast<Shared*>(parameter);
        unsigned char next = 0;
        while (!s->stop) {
          s->ring.put(next++);
          ++s->put;
        }
        return 0;
      },
      &shared);
  ASSERT_NE(producer, nullptr);

  long taken = 0;
  int outOfOrder = 0;
  std::uint32_t start = zos::tickCount();
  for (int round = 0; taken < 20000 && zos::tickCount() - start < 20000; ++round) {
    if (round % 5000 == 4999) {
      shared.ring.setSize(round % 10000 == 9999 ? 64 : 200);
      continue;
    }
    if (round % 1000 == 999) shared.ring.reset();
    unsigned char pair[2];
    if (shared.ring.get(pair, 2)) {
      taken += 2;
      // Two bytes taken in one get were put one after the other, unless an overwrite came
      // between them, which get cannot see: then the lost counter has moved.
      if (static_cast<unsigned char>(pair[0] + 1) != pair[1]) ++outOfOrder;
    }
    EXPECT_LE(shared.ring.getAvailable(), shared.ring.getSize());
  }
  shared.stop = true;
  zos::waitForObject(producer, zos::WaitForever);
  zos::releaseThread(producer);
  EXPECT_GE(taken, 20000);
  EXPECT_EQ(outOfOrder, 0);
  EXPECT_LE(taken, shared.put.load());
}
