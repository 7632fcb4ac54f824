// Writing a file so that it is never seen half written: its new content goes to a file beside it,
// which is brought to the disk and then takes the old file's place in one step.
#pragma once
#include <cstdio>

namespace zos {

// Writes what the stream buffers and waits until the system has the file's data on the disk.
bool flushStreamToDisk(std::FILE* stream);

// Moves the file source to target in one step, replacing a file that is there; a failure leaves
// target as it was. An existing target's access rights carry over to the new file.
bool replaceFile(const char* source, const char* target);

}  // namespace zos
