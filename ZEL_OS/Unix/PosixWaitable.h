// On the POSIX side every handle that a thread can wait on together with its window messages
// (an event, a child process, ...) points to an object that begins with this record: the waits
// poll its descriptor for readability.
#pragma once

namespace zos {

struct PosixWaitable {
  int pollFd = -1;  // readable while the object is signalled
};

}  // namespace zos
