// The service manager on POSIX: systemd, driven through its command-line program. Windows
// service names stand for units of the same name with the suffix ".service".
#include "ZEL_OS/OsService.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ZEL_OS/OsEnvironmentHooks.h"
#include "ZEL_OS/OsError.h"
#include "ZEL_OS/Unix/PosixSpawn.h"
#include "ZEL_OS/Unix/PosixWrite.h"

namespace zos {

namespace {

const char unitSuffix[] = ".service";

// A manager connection or an open service: the program to drive, and the unit for a service.
struct ServiceObject {
  bool isService = false;
  std::string systemctl;
  std::string unit;
};

std::string textOf(const char* text) { return text ? std::string(text) : std::string(); }

bool failWith(int number) {
  setLastError(number);
  return false;
}

std::string unitDirectory() {
  const char* dir = unitDirectoryOverride();
  return dir ? dir : "/etc/systemd/system";
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool hasControlCharacter(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char ch) { return static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F; });
}

// A unit name for a service name; empty when the name cannot be one.
std::string unitOf(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == ".." ||
      hasControlCharacter(name) || name.find(' ') != std::string::npos)
    return std::string();
  return endsWith(name, unitSuffix) ? name : name + unitSuffix;
}

// What the program's exit status means as an error number.
int errorOfExit(int status) {
  if (status < 0) return errno;
  if (status == 5) return ENOENT;  // no such unit
  if (status == 4) return EACCES;  // not allowed
  return EIO;
}

// Runs the program with the arguments; true when it ended with status 0.
bool run(const std::string& systemctl, std::vector<std::string> arguments,
         std::string* output = nullptr) {
  arguments.insert(arguments.begin(), {systemctl, "--no-pager", "--no-ask-password"});
  std::string text;
  int status = posix::runAndCapture(arguments, text);
  if (output) *output = text;
  if (status != 0) return failWith(errorOfExit(status));
  return true;
}

// Reads properties of a unit ("Name=value" lines).
bool showProperties(const std::string& systemctl, const std::string& unit,
                    const std::vector<std::string>& names, std::map<std::string, std::string>& values) {
  std::vector<std::string> arguments = {"show"};
  for (const std::string& name : names) {
    arguments.push_back("-p");
    arguments.push_back(name);
  }
  arguments.push_back(unit);
  std::string output;
  if (!run(systemctl, arguments, &output)) return false;
  std::size_t start = 0;
  while (start < output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(start, end - start);
    std::size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
    start = end + 1;
  }
  return true;
}

bool isKnown(const std::string& systemctl, const std::string& unit) {
  std::map<std::string, std::string> values;
  if (!showProperties(systemctl, unit, {"LoadState"}, values)) return false;
  const std::string& state = values["LoadState"];
  if (state.empty() || state == "not-found") return failWith(ENOENT);
  return true;
}

bool daemonReload(const std::string& systemctl) { return run(systemctl, {"daemon-reload"}); }

// A text as the value of a unit file key: control characters become blanks, percent signs are
// doubled (they would start a specifier), and a final backslash (a line continuation) goes.
std::string unitValue(const std::string& text) {
  std::string out;
  for (char ch : text) {
    if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F)
      out += ' ';
    else if (ch == '%')
      out += "%%";
    else
      out += ch;
  }
  while (!out.empty() && (out.back() == '\\' || out.back() == ' ')) out.pop_back();
  return out;
}

bool readFile(const std::string& path, std::string& text) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return failWith(errno);
  text.clear();
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int number = errno;
      close(fd);
      return failWith(number);
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return true;
}

// Writes a file in one step: a temporary file beside it that is then renamed. With exclusive,
// an existing file makes it fail.
bool writeFile(const std::string& path, const std::string& text, bool exclusive) {
  if (exclusive) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return failWith(errno);
    bool ok = posix::writeAll(fd, text);
    int number = errno;
    if (close(fd) != 0 && ok) {
      ok = false;
      number = errno;
    }
    if (!ok) {
      unlink(path.c_str());
      return failWith(number);
    }
    return true;
  }
  std::string temporary = path + ".XXXXXX";
  std::vector<char> name(temporary.begin(), temporary.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) return failWith(errno);
  bool ok = posix::writeAll(fd, text) && fchmod(fd, 0644) == 0;
  int number = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    number = errno;
  }
  if (ok && rename(name.data(), path.c_str()) != 0) {
    ok = false;
    number = errno;
  }
  if (!ok) {
    unlink(name.data());
    return failWith(number);
  }
  return true;
}

// The unit file's text with its description replaced (or added to its [Unit] section).
std::string withDescription(const std::string& text, const std::string& description) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  std::string newLine = "Description=" + description;
  bool inUnit = false;
  int unitHeader = -1;
  bool replaced = false;
  for (std::size_t i = 0; i < lines.size() && !replaced; ++i) {
    std::string line = lines[i];
    line.erase(0, line.find_first_not_of(" \t"));
    if (!line.empty() && line[0] == '[') {
      inUnit = line.compare(0, 6, "[Unit]") == 0;
      if (inUnit && unitHeader < 0) unitHeader = static_cast<int>(i);
    } else if (inUnit && line.compare(0, 12, "Description=") == 0) {
      lines[i] = newLine;
      replaced = true;
    }
  }
  if (!replaced) {
    if (unitHeader >= 0) {
      lines.insert(lines.begin() + unitHeader + 1, newLine);
    } else {
      lines.insert(lines.begin(), {"[Unit]", newLine, ""});
    }
  }
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

ServiceObject* objectOf(Handle handle) { return static_cast<ServiceObject*>(handle); }

ServiceObject* serviceOf(Handle handle) {
  ServiceObject* object = objectOf(handle);
  if (!object || !object->isService) {
    setLastError(EBADF);
    return nullptr;
  }
  return object;
}

// One service of the enumeration: its name and whether it is active.
struct Listed {
  std::string name;
  bool active;
};

// The services systemd knows: those loaded, with their state, then the installed unit files
// that are not loaded (inactive). Template units are left out.
bool listServices(const std::string& systemctl, std::vector<Listed>& services) {
  std::string output;
  if (!run(systemctl, {"list-units", "--type=service", "--all", "--no-legend", "--plain"},
           &output))
    return false;
  std::map<std::string, bool> seen;
  auto addLines = [&](const std::string& text, bool withState) {
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::vector<std::string> words;
      std::size_t pos = start;
      while (pos < end) {
        std::size_t wordStart = text.find_first_not_of(" \t", pos);
        if (wordStart == std::string::npos || wordStart >= end) break;
        std::size_t wordEnd = text.find_first_of(" \t", wordStart);
        if (wordEnd == std::string::npos || wordEnd > end) wordEnd = end;
        words.push_back(text.substr(wordStart, wordEnd - wordStart));
        pos = wordEnd;
      }
      start = end + 1;
      // A mark in front of failed or missing units is not part of the name.
      if (!words.empty() && !endsWith(words[0], unitSuffix)) words.erase(words.begin());
      if (words.empty() || !endsWith(words[0], unitSuffix)) continue;
      std::string name = words[0].substr(0, words[0].size() - (sizeof unitSuffix - 1));
      if (name.empty() || name.back() == '@' || seen.count(name)) continue;
      bool active = withState && words.size() > 2 && words[2] == "active";
      seen[name] = true;
      services.push_back({name, active});
    }
  };
  addLines(output, true);
  if (run(systemctl, {"list-unit-files", "--type=service", "--no-legend"}, &output))
    addLines(output, false);
  std::sort(services.begin(), services.end(),
            [](const Listed& a, const Listed& b) { return a.name < b.name; });
  return true;
}

}  // namespace

Handle scmOpen(const char* machine, const char* database, unsigned /*access*/) {
  if (!textOf(machine).empty() || !textOf(database).empty()) {
    // Only the local manager and its one database are reachable.
    setLastError(EINVAL);
    return nullptr;
  }
  const char* configured = systemctlOverride();
  std::string systemctl = posix::findProgram(configured ? configured : "systemctl");
  if (systemctl.empty() || access(systemctl.c_str(), X_OK) != 0) {
    setLastError(ENOENT);
    return nullptr;
  }
  auto* scm = new ServiceObject;
  scm->systemctl = systemctl;
  return scm;
}

Handle serviceOpen(Handle scmHandle, const char* name, unsigned /*access*/) {
  ServiceObject* scm = objectOf(scmHandle);
  if (!scm || scm->isService) {
    setLastError(EBADF);
    return nullptr;
  }
  std::string unit = unitOf(textOf(name));
  if (unit.empty()) {
    setLastError(EINVAL);
    return nullptr;
  }
  if (!isKnown(scm->systemctl, unit)) return nullptr;
  auto* service = new ServiceObject;
  service->isService = true;
  service->systemctl = scm->systemctl;
  service->unit = unit;
  return service;
}

bool serviceCloseHandle(Handle handle) {
  if (!handle) return failWith(EBADF);
  delete objectOf(handle);
  return true;
}

bool serviceQueryState(Handle handle, unsigned& currentState) {
  ServiceObject* service = serviceOf(handle);
  if (!service) return false;
  std::map<std::string, std::string> values;
  if (!showProperties(service->systemctl, service->unit, {"ActiveState", "SubState"}, values))
    return false;
  const std::string& active = values["ActiveState"];
  const std::string& sub = values["SubState"];
  if (active.empty()) return failWith(EIO);
  if (active == "active" && sub == "running")
    currentState = serviceStateRunning;
  else if (active == "activating" || active == "reloading")
    currentState = serviceStateStartPending;
  else if (active == "deactivating")
    currentState = serviceStateStopPending;
  else
    currentState = serviceStateStopped;
  return true;
}

bool serviceStart(Handle handle, unsigned /*argumentCount*/, const char** /*arguments*/) {
  // systemd passes no start arguments to a service.
  ServiceObject* service = serviceOf(handle);
  return service && run(service->systemctl, {"start", service->unit});
}

bool serviceControl(Handle handle, unsigned code) {
  ServiceObject* service = serviceOf(handle);
  if (!service) return false;
  switch (code) {
    case serviceControlStop:
      return run(service->systemctl, {"stop", service->unit});
    case serviceControlPause:
      return run(service->systemctl, {"kill", "-s", "SIGSTOP", service->unit});
    case serviceControlContinue:
      return run(service->systemctl, {"kill", "-s", "SIGCONT", service->unit});
    case serviceControlInterrogate: {
      std::map<std::string, std::string> values;
      return showProperties(service->systemctl, service->unit, {"ActiveState"}, values);
    }
    case serviceControlParamChange:
      return run(service->systemctl, {"reload", service->unit});
    default:
      return failWith(EINVAL);
  }
}

bool serviceSetDescription(Handle handle, const char* description) {
  ServiceObject* service = serviceOf(handle);
  if (!service) return false;
  std::string value = unitValue(textOf(description));
  std::string unitFile = unitDirectory() + "/" + service->unit;
  std::string text;
  if (access(unitFile.c_str(), F_OK) == 0) {
    if (!readFile(unitFile, text) || !writeFile(unitFile, withDescription(text, value), false))
      return false;
  } else {
    // A unit that this layer did not write gets its description from a drop-in file.
    std::string dropIn = unitDirectory() + "/" + service->unit + ".d";
    if (mkdir(dropIn.c_str(), 0755) != 0 && errno != EEXIST) return failWith(errno);
    if (!writeFile(dropIn + "/description.conf", "[Unit]\nDescription=" + value + "\n", false))
      return false;
  }
  return daemonReload(service->systemctl);
}

bool serviceDelete(Handle handle) {
  ServiceObject* service = serviceOf(handle);
  if (!service) return false;
  std::string unitFile = unitDirectory() + "/" + service->unit;
  if (access(unitFile.c_str(), F_OK) != 0) {
    // A unit that comes with the system is not deleted.
    return failWith(errno == ENOENT ? EPERM : errno);
  }
  if (unlink(unitFile.c_str()) != 0) return failWith(errno);
  std::string dropIn = unitDirectory() + "/" + service->unit + ".d";
  unlink((dropIn + "/description.conf").c_str());
  rmdir(dropIn.c_str());
  return daemonReload(service->systemctl);
}

Handle serviceCreate(Handle scmHandle, const char* name, const char* displayName,
                     unsigned /*access*/, unsigned /*serviceType*/, unsigned startType,
                     unsigned /*errorControl*/, const char* binaryPath,
                     const char* /*loadOrderGroup*/, unsigned* tagId,
                     const char* /*dependencies*/, const char* /*account*/,
                     const char* /*password*/) {
  ServiceObject* scm = objectOf(scmHandle);
  if (!scm || scm->isService) {
    setLastError(EBADF);
    return nullptr;
  }
  std::string unit = unitOf(textOf(name));
  std::string program = textOf(binaryPath);
  std::string trimmed = program;
  trimmed.erase(0, trimmed.find_first_not_of(" \t"));
  if (unit.empty() || trimmed.empty() || hasControlCharacter(program) ||
      trimmed.back() == '\\') {
    setLastError(EINVAL);
    return nullptr;
  }
  if (isKnown(scm->systemctl, unit)) {
    setLastError(EEXIST);
    return nullptr;
  }
  std::string description = unitValue(textOf(displayName));
  if (description.empty()) description = unitValue(textOf(name));
  std::string execStart;
  for (char ch : trimmed) execStart += ch == '%' ? std::string("%%") : std::string(1, ch);
  std::string text = "[Unit]\nDescription=" + description + "\n\n[Service]\nType=simple\n" +
                     "ExecStart=" + execStart + "\n\n[Install]\nWantedBy=multi-user.target\n";
  std::string unitFile = unitDirectory() + "/" + unit;
  if (!writeFile(unitFile, text, true)) return nullptr;
  bool ok = daemonReload(scm->systemctl);
  if (ok && startType == serviceAutoStart) ok = run(scm->systemctl, {"enable", unit});
  if (!ok) {
    int number = lastError();
    unlink(unitFile.c_str());
    daemonReload(scm->systemctl);
    setLastError(number);
    return nullptr;
  }
  if (tagId) *tagId = 0;
  auto* service = new ServiceObject;
  service->isService = true;
  service->systemctl = scm->systemctl;
  service->unit = unit;
  return service;
}

ServiceEnumResult serviceEnumerate(Handle scmHandle, unsigned /*serviceType*/,
                                   unsigned serviceState, void* buffer, unsigned bufferSize,
                                   unsigned& bytesNeeded, unsigned& count, unsigned& resume) {
  bytesNeeded = 0;
  count = 0;
  ServiceObject* scm = objectOf(scmHandle);
  if (!scm || scm->isService) {
    setLastError(EBADF);
    return ServiceEnumResult::failed;
  }
  std::vector<Listed> all;
  if (!listServices(scm->systemctl, all)) return ServiceEnumResult::failed;
  std::vector<std::string> names;
  for (const Listed& service : all) {
    bool wanted = service.active ? (serviceState & serviceActive) : (serviceState & serviceInactive);
    if (wanted) names.push_back(service.name);
  }
  // The buffer holds a table of name pointers, then the names they point to, as the entries
  // of the Windows enumeration point into their buffer.
  std::size_t first = resume;
  std::size_t pointerSize = sizeof(const char*);
  std::size_t used = 0;
  std::size_t fitting = 0;
  for (std::size_t i = first; i < names.size(); ++i) {
    std::size_t need = pointerSize + names[i].size() + 1;
    if (used + need > bufferSize) break;
    used += need;
    ++fitting;
  }
  std::size_t remaining = names.size() > first ? names.size() - first : 0;
  char* bytes = static_cast<char*>(buffer);
  char* text = bytes + fitting * pointerSize;
  for (std::size_t i = 0; i < fitting; ++i) {
    const std::string& name = names[first + i];
    std::memcpy(text, name.c_str(), name.size() + 1);
    const char* pointer = text;
    std::memcpy(bytes + i * pointerSize, &pointer, pointerSize);
    text += name.size() + 1;
  }
  count = static_cast<unsigned>(fitting);
  if (fitting < remaining) {
    std::size_t need = 0;
    for (std::size_t i = first; i < names.size(); ++i) need += pointerSize + names[i].size() + 1;
    bytesNeeded = static_cast<unsigned>(need);
    resume = static_cast<unsigned>(first + fitting);
    setLastError(EOVERFLOW);
    return ServiceEnumResult::moreData;
  }
  resume = 0;
  return ServiceEnumResult::complete;
}

const char* serviceEnumName(const void* buffer, unsigned index) {
  const char* name = nullptr;
  std::memcpy(&name, static_cast<const char*>(buffer) + index * sizeof(const char*), sizeof name);
  return name;
}

}  // namespace zos
