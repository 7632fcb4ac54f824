// Catching the cancel signals: the first one only marks the run; the mark stays after the
// release and a new catch starts without it.
#include <gtest/gtest.h>

#include "ZEL_OS/OsCancel.h"
#include "ZEL_OS/OsClock.h"

namespace {

// On POSIX the handler has run when the signal call returns; on Windows it runs on a thread of
// the console's, a little later.
int cancelSignalWithin(unsigned milliseconds) {
  for (unsigned waited = 0; zos::cancelSignal() == 0 && waited < milliseconds; waited += 10) zos::sleepMs(10);
  return zos::cancelSignal();
}

}  // namespace

TEST(OsCancel, FirstSignalOnlyMarksTheRun) {
  zos::catchCancelSignals();
  EXPECT_EQ(zos::cancelSignal(), 0);
  ASSERT_TRUE(zos::sendCancelSignal());
  EXPECT_EQ(cancelSignalWithin(5000), 2);
  zos::releaseCancelSignals();
  EXPECT_EQ(zos::cancelSignal(), 2) << "the run reads it after the release";

  zos::catchCancelSignals();
  EXPECT_EQ(zos::cancelSignal(), 0) << "a new run starts uncancelled";
  zos::releaseCancelSignals();
}
