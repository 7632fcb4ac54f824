// A stand-in for the service manager's command-line program on POSIX: a shell script that
// answers from units the test adds, writes every call to a log, and lets created unit files
// (written to its unit directory) be known after a reload. While it lives the library uses it.
#pragma once
#include <string>

#include "tests/support/ScratchDirectory.h"

class FakeSystemctl {
 public:
  FakeSystemctl();
  ~FakeSystemctl();

  // A unit that comes with the system (not in the unit directory).
  void addUnit(const std::string& name, const std::string& activeState = "inactive",
               const std::string& subState = "dead");
  // Makes every call of the verb (such as "start") fail.
  void failVerb(const std::string& verb);
  // The calls made so far, one a line: the verb and its arguments.
  std::string calls() const;
  // Where new unit files go.
  std::string unitDirectory() const;

 private:
  ScratchDirectory dir;
};
