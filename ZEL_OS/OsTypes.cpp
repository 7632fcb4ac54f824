// Checks the assumptions the library makes about the opaque types it hands across the OS layer.
#include "ZEL_OS/OsTypes.h"

static_assert(sizeof(zos::WideChar) == 2, "wide texts are UTF-16");
static_assert(sizeof(zos::Handle) == sizeof(void*), "handles are pointers");
static_assert(sizeof(zos::SocketHandle) >= sizeof(int), "a socket number fits");
