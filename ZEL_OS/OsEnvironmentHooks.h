// The environment variables through which a user or a test steers the library and the tool,
// read in this one place. Each call gives the variable's value, or nullptr when it is unset or
// empty (an empty value counts as unset everywhere).
//
//   KALMO_PORT              the programmer's serial port, taken as it stands without any check
//                           (for a second programmer, an unusual adapter, the simulator)
//   KALMO_DEBUG_PORT        the TCP port of the debug monitor on the local machine (default 5001;
//                           a value that is no port number is ignored)
//   KALMO_SYSTEMCTL         POSIX: the service manager's program (default "systemctl" on PATH)
//   KALMO_SYSTEMD_UNIT_DIR  POSIX: where new service units are written (default /etc/systemd/system)
#pragma once

namespace zos {

const char* programmerPortOverride();
const char* debugPortOverride();
const char* systemctlOverride();
const char* unitDirectoryOverride();

}  // namespace zos
