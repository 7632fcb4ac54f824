// For tests of the POSIX side only: a pseudo-terminal whose slave side stands in for a serial
// device or a console, and whose master side the test drives as the far end.
#pragma once
#include <cstddef>
#include <string>

namespace zos {
namespace test {

class PseudoTerminal {
 public:
  PseudoTerminal();  // opens a master and unlocks its slave; isOpen() tells whether it worked
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool isOpen() const { return master >= 0; }
  const std::string& slavePath() const { return slave; }

  // The far end: writes all bytes; reads what arrives within the time (up to maxBytes).
  bool write(const std::string& bytes);
  std::string read(std::size_t maxBytes, unsigned timeoutMs);

  // Hangs up: the slave side sees the far end go away.
  void closeMaster();

  // Whether the slave side reads whole lines (canonical mode) and echoes, as a fresh terminal does.
  bool slaveIsCooked() const;

 private:
  int master = -1;
  std::string slave;
};

// Makes standard input (stream 0) or standard output (stream 1) use the given device or file
// until the object goes; the original stream comes back then.
class StandardStreamOn {
 public:
  StandardStreamOn(int stream, const std::string& path);
  ~StandardStreamOn();
  StandardStreamOn(const StandardStreamOn&) = delete;
  StandardStreamOn& operator=(const StandardStreamOn&) = delete;
  bool ok() const { return saved >= 0; }

 private:
  int stream;
  int saved = -1;
};

// Sets an environment variable until the object goes (an empty value removes it meanwhile).
class EnvironmentVariable {
 public:
  EnvironmentVariable(const char* name, const char* value);
  ~EnvironmentVariable();
  EnvironmentVariable(const EnvironmentVariable&) = delete;
  EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

 private:
  std::string name;
  bool hadValue = false;
  std::string oldValue;
};

}  // namespace test
}  // namespace zos
