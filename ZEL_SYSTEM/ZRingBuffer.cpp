#include "ZEL_SYSTEM/ZRingBuffer.h"

ZRingBuffer::ZRingBuffer() : ZMem() {}

ZRingBuffer::ZRingBuffer(int n) : ZMem(n) {}

ZRingBuffer::ZRingBuffer(const ZRingBuffer& other) : ZMem(0) { *this = other; }

ZRingBuffer& ZRingBuffer::operator=(const ZRingBuffer& other) {
  if (this == &other) return *this;
  zos::MutexLock holdOther(other.lock);
  zos::MutexLock hold(lock);
  ZMem::operator=(other);
  writePosition = other.writePosition;
  readPosition = other.readPosition;
  empty = other.empty;
  lost = other.lost;
  return *this;
}

bool ZRingBuffer::put(unsigned char byte) {
  zos::MutexLock hold(lock);
  if (!data || size <= 0) return false;
  data[writePosition] = byte;
  bool overwritten = false;
  if (writePosition == readPosition && !empty) {
    readPosition = (readPosition + 1) % size;
    ++lost;
    overwritten = true;
  }
  writePosition = (writePosition + 1) % size;
  empty = false;
  return overwritten;
}

int ZRingBuffer::availableLocked() const {
  if (empty) return 0;
  if (writePosition == readPosition) return size;
  return (writePosition - readPosition + size) % size;
}

int ZRingBuffer::getAvailable() const {
  zos::MutexLock hold(lock);
  return availableLocked();
}

bool ZRingBuffer::peek(int offset, unsigned char& byte) const {
  zos::MutexLock hold(lock);
  if (empty || offset < 0 || offset >= size || offset >= availableLocked()) return false;
  byte = data[(readPosition + offset) % size];
  return true;
}

bool ZRingBuffer::get(unsigned char* out, int n) {
  zos::MutexLock hold(lock);
  if (n < 1 || availableLocked() < n) return false;
  for (int i = 0; i < n; ++i) {
    out[i] = data[readPosition];
    readPosition = (readPosition + 1) % size;
  }
  if (readPosition == writePosition) empty = true;
  return true;
}

void ZRingBuffer::resetLocked() {
  writePosition = 0;
  readPosition = 0;
  empty = true;
  lost = 0;
}

void ZRingBuffer::reset() {
  zos::MutexLock hold(lock);
  resetLocked();
}

int ZRingBuffer::setSize(int n) {
  zos::MutexLock hold(lock);
  ZMem::setSize(n);
  resetLocked();
  return 1;
}

int ZRingBuffer::getLost() const {
  zos::MutexLock hold(lock);
  return lost;
}

int ZRingBuffer::getSize() const {
  zos::MutexLock hold(lock);
  return size;
}
