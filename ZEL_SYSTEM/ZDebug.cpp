#include "ZEL_SYSTEM/ZDebug.h"

// The channel has no connection yet: lines are dropped.
void ZDebug::print(const ZString&) {}

void ZDebug::printf(const char*, ...) {}
