// The library's assertion for failures it cannot go on from (a heap that refuses a block): names
// the expression, the source and the line on standard error and ends the program. Active in every
// build, since the callers have no other way out.
#pragma once

[[noreturn]] void zelAssertFailed(const char* expression, const char* source, int line);

// ZEL_ASSERT(pBuffer, "ZEL_UTIL/ZString") prints "Assertion failed: pBuffer, file ZEL_UTIL/ZString,
// line N" and aborts when pBuffer is null or false.
#define ZEL_ASSERT(expression, source) \
  ((expression) ? static_cast<void>(0) : zelAssertFailed(#expression, source, __LINE__))

// The same with a fixed line number, for sources whose reports name a known line.
#define ZEL_ASSERT_AT(expression, source, line) \
  ((expression) ? static_cast<void>(0) : zelAssertFailed(#expression, source, line))
