// Types that cross the boundary of the OS layer. They carry no system header with them:
// handles are opaque pointers (0 means "none"), sockets an unsigned number (0 means "no socket").
#pragma once
#include <cstddef>
#include <cstdint>

namespace zos {

using Handle = void*;        // a file, device, thread, heap or service handle
using WindowHandle = void*;  // a window that receives messages
using SocketHandle = std::uintptr_t;

using WideChar = char16_t;   // one UTF-16 code unit, as the system's wide texts use it
using Bstr = WideChar*;      // a counted wide text as OLE automation hands it out

// A VARIANT as OLE automation defines it; opaque here, filled and read through OsVariant.h.
struct Variant {
  alignas(8) unsigned char storage[24];
};

}  // namespace zos
