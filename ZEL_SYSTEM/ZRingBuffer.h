// ZRingBuffer: a circular byte queue in the block of a ZMem. The serial port's reader thread puts
// every received byte into one while the port's owner takes them out; each operation holds the
// ring's lock, so it takes effect as a whole with respect to the other thread. When the ring is
// full the oldest unread byte is overwritten and counted as lost.
#pragma once

#include "ZEL_OS/OsThread.h"
#include "ZEL_SYSTEM/ZMem.h"

class ZRingBuffer : public ZMem {
 public:
  ZRingBuffer();  // 100 bytes, empty
  explicit ZRingBuffer(int size);
  ZRingBuffer(const ZRingBuffer& other);
  ZRingBuffer& operator=(const ZRingBuffer& other);

  const char* getClassName() const override { return className(); }
  const char* className() const override { return "ZRingBuffer"; }
  ~ZRingBuffer() override = default;

  // Stores the byte; true when the ring was full and its oldest unread byte was overwritten.
  bool put(unsigned char byte);
  // Number of stored bytes.
  int getAvailable() const;
  // The stored byte offset places after the oldest, left in the ring; false when there is none.
  bool peek(int offset, unsigned char& byte) const;
  // Takes the n oldest bytes into out, in the order they were put; false (taking nothing) when
  // fewer than n are stored or n < 1.
  bool get(unsigned char* out, int n);
  // Empties the ring and clears the lost counter; the bytes of the block stay.
  void reset();
  // Resizes the block and empties the ring. Always 1.
  int setSize(int n);
  // Bytes overwritten unread since the last reset.
  int getLost() const;
  // The capacity of the ring.
  int getSize() const;

 private:
  int availableLocked() const;
  void resetLocked();

  int writePosition = 0;  // where the next byte goes
  int readPosition = 0;   // where the oldest stored byte is
  bool empty = true;      // tells an empty ring from a full one, which have equal positions
  int lost = 0;
  mutable zos::Mutex lock;
};
