#include "sim/Simulator.h"

#include <algorithm>

#include "ZEL_OS/OsError.h"

namespace sim {

namespace {

const int writeTimeoutMs = 1000;

// 10 bits a byte: start bit, 8 data bits, stop bit.
std::chrono::steady_clock::duration timeOfByte(int baudRate) {
  if (baudRate <= 0) return std::chrono::steady_clock::duration::zero();
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::nanoseconds(10000000000LL / baudRate));
}

// Whole milliseconds until moment, rounded up, never below 0.
int millisecondsUntil(std::chrono::steady_clock::time_point moment) {
  auto left = moment - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left);
  if (ms < left) ms += std::chrono::milliseconds(1);
  return static_cast<int>(ms.count());
}

std::string withErrorNumber(const std::string& text) {
  return text + " (error " + std::to_string(zos::lastError()) + ")";
}

}  // namespace

ProgrammerSimulator::ProgrammerSimulator(const SimulatorOptions& options)
    : options(options), paced(options.baudRate > 0), byteTime(timeOfByte(options.baudRate)), device(options) {}

ProgrammerSimulator::~ProgrammerSimulator() { stop(); }

bool ProgrammerSimulator::start() {
  std::lock_guard<std::mutex> lock(stateMutex);
  if (started) {
    error = "the simulator was started before";
    return false;
  }
  char slaveName[256];
  zos::Handle newMaster = ptyOpenMaster(slaveName, sizeof slaveName);
  if (!newMaster) {
    error = withErrorNumber("cannot open a pseudo-terminal");
    return false;
  }
  zos::Handle newSlave = ptyOpenTerminal(slaveName, 19200);
  if (!newSlave) {
    error = withErrorNumber(std::string("cannot open ") + slaveName);
    ptyClose(newMaster);
    return false;
  }
  if (!options.transcriptFile.empty() && !record.openFile(options.transcriptFile)) {
    error = "cannot write the transcript file " + options.transcriptFile;
    ptyClose(newSlave);
    ptyClose(newMaster);
    return false;
  }
  {
    std::lock_guard<std::mutex> handles(handleMutex);
    master = newMaster;
    slave = newSlave;
  }
  path = slaveName;
  started = true;
  serving = true;
  lastArrival = transmitFreeAt = Clock::now();
  server = std::thread(&ProgrammerSimulator::serve, this);
  return true;
}

void ProgrammerSimulator::stop() {
  {
    std::lock_guard<std::mutex> lock(sleepMutex);
    stopRequested = true;
  }
  wake.notify_all();
  {
    std::lock_guard<std::mutex> handles(handleMutex);
    ptyInterrupt(master);
  }
  if (server.joinable()) server.join();
  closeHandles();
  std::lock_guard<std::mutex> lock(stateMutex);
  record.closeFile();
  serving = false;
  stateChanged.notify_all();
}

void ProgrammerSimulator::closeHandles() {
  std::lock_guard<std::mutex> handles(handleMutex);
  ptyClose(master);
  ptyClose(slave);
  master = slave = nullptr;
}

void ProgrammerSimulator::serve() {
  std::vector<std::uint8_t> buffer(4096);
  std::vector<ProgrammerDevice::Reply> replies;
  bool ok = true;
  while (ok && !stopRequested) {
    int timeoutMs = -1;
    {
      std::lock_guard<std::mutex> lock(stateMutex);
      Clock::time_point deadline;
      if (device.pauseDeadline(deadline)) timeoutMs = millisecondsUntil(deadline);
    }
    PtyWaitResult result = ptyWaitReadable(master, timeoutMs);
    if (stopRequested) break;
    if (result == PtyWaitResult::failed || result == PtyWaitResult::hungUp) {
      fail(withErrorNumber("waiting on the pseudo-terminal failed"));
      return;
    }
    if (result == PtyWaitResult::ready) {
      int count = ptyRead(master, buffer.data(), static_cast<int>(buffer.size()));
      if (count < 0) {
        fail(withErrorNumber("reading the pseudo-terminal failed"));
        return;
      }
      Outcome outcome = handleBytes(buffer.data(), count);
      if (outcome == Outcome::lineClosed) return;
      ok = outcome == Outcome::ok;
    }
    replies.clear();
    {
      std::lock_guard<std::mutex> lock(stateMutex);
      device.expire(Clock::now(), replies);
    }
    stateChanged.notify_all();  // a token that ended with its pause is a command taken
    ok = ok && sendReplies(replies);
  }
  if (!ok && !stopRequested) fail(withErrorNumber("writing the pseudo-terminal failed"));
}

// Feeds the bytes to the device one by one, each at the moment the line model lets it arrive,
// and sends each answer before the next byte is taken, as the firmware would.
ProgrammerSimulator::Outcome ProgrammerSimulator::handleBytes(const std::uint8_t* data, int count) {
  std::vector<ProgrammerDevice::Reply> replies;
  Clock::time_point now = Clock::now();
  for (int i = 0; i < count && !stopRequested; ++i) {
    Clock::time_point arrival = paced ? std::max(now, lastArrival) + byteTime : now;
    lastArrival = arrival;
    replies.clear();
    bool hangUpNow;
    {
      std::lock_guard<std::mutex> lock(stateMutex);
      record.add(Direction::toDevice, &data[i], 1);
      ++receivedTotal;
      hangUpNow = options.hangupAfter > 0 && receivedTotal >= static_cast<std::size_t>(options.hangupAfter);
      if (!hangUpNow) device.receive(data[i], arrival, replies);
    }
    stateChanged.notify_all();
    if (hangUpNow) {
      hangUp();
      return Outcome::lineClosed;
    }
    if (!sendReplies(replies)) return Outcome::writeFailed;
  }
  return Outcome::ok;
}

bool ProgrammerSimulator::sendReplies(const std::vector<ProgrammerDevice::Reply>& replies) {
  for (const ProgrammerDevice::Reply& reply : replies) {
    if (!sleepUntil(reply.notBefore)) return true;  // stop requested: nothing failed
    std::vector<std::uint8_t> bytes = reply.bytes;
    if (answerFilter) answerFilter(reply.command, reply.commandText, bytes);
    if (!(options.splitAnswersMs >= 0 ? writeSplit(bytes) : writePaced(bytes))) return false;
  }
  return true;
}

// One byte a write with a pause between them, so that the client gets the answer in pieces.
bool ProgrammerSimulator::writeSplit(const std::vector<std::uint8_t>& bytes) {
  const auto gap = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double, std::milli>(options.splitAnswersMs));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0 && !sleepUntil(Clock::now() + gap)) return true;  // stop requested
    if (!writePaced(std::vector<std::uint8_t>(1, bytes[i]))) return false;
  }
  return true;
}

// Each byte reaches the client once its 10 bits are through; bytes that are due together go out
// in one write.
bool ProgrammerSimulator::writePaced(const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty()) return true;
  if (!paced) return writeOut(bytes.data(), bytes.size());
  Clock::time_point begin = std::max(Clock::now(), transmitFreeAt);
  std::size_t next = 0;
  while (next < bytes.size()) {
    if (!sleepUntil(begin + byteTime * static_cast<long>(next + 1))) return true;
    Clock::time_point now = Clock::now();
    std::size_t end = next + 1;
    while (end < bytes.size() && begin + byteTime * static_cast<long>(end + 1) <= now) ++end;
    if (!writeOut(&bytes[next], end - next)) return false;
    next = end;
  }
  transmitFreeAt = begin + byteTime * static_cast<long>(bytes.size());
  return true;
}

bool ProgrammerSimulator::writeOut(const std::uint8_t* data, std::size_t count) {
  int size = static_cast<int>(count);
  // Recorded before they go out: whoever has received the bytes finds them in the transcript.
  {
    std::lock_guard<std::mutex> lock(stateMutex);
    record.add(Direction::fromDevice, data, count);
  }
  stateChanged.notify_all();
  int written = ptyWrite(master, data, size, writeTimeoutMs);
  if (written >= 0 && written < size) {
    // Nobody reads the answers (no client has the port open) and the terminal's queue is full:
    // drop what waits there so that the device does not stall.
    ptyDiscardInput(slave);
    int more = ptyWrite(master, data + written, size - written, writeTimeoutMs);
    written = more < 0 ? -1 : written + more;
  }
  return written >= 0;
}

bool ProgrammerSimulator::sleepUntil(Clock::time_point moment) {
  std::unique_lock<std::mutex> lock(sleepMutex);
  return !wake.wait_until(lock, moment, [this] { return stopRequested.load(); });
}

void ProgrammerSimulator::hangUp() {
  closeHandles();
  ended(true, std::string());
}

void ProgrammerSimulator::fail(const std::string& what) { ended(false, what); }

// The callback runs before the end becomes visible, so whoever waits for the end sees its effects.
void ProgrammerSimulator::ended(bool byHangUp, const std::string& what) {
  std::function<void()> callback;
  {
    std::lock_guard<std::mutex> lock(stateMutex);
    callback = endedCallback;
  }
  if (callback) callback();
  {
    std::lock_guard<std::mutex> lock(stateMutex);
    hungUp = byHangUp;
    error = what;
    serving = false;
  }
  stateChanged.notify_all();
}

void ProgrammerSimulator::setAnswerFilter(AnswerFilter filter) { answerFilter = std::move(filter); }

void ProgrammerSimulator::onEnded(std::function<void()> callback) {
  std::lock_guard<std::mutex> lock(stateMutex);
  endedCallback = std::move(callback);
}

std::string ProgrammerSimulator::slavePath() const {
  std::lock_guard<std::mutex> lock(stateMutex);
  return path;
}

std::string ProgrammerSimulator::errorText() const {
  std::lock_guard<std::mutex> lock(stateMutex);
  return error;
}

bool ProgrammerSimulator::isServing() const {
  std::lock_guard<std::mutex> lock(stateMutex);
  return serving;
}

bool ProgrammerSimulator::hasHungUp() const {
  std::lock_guard<std::mutex> lock(stateMutex);
  return hungUp;
}

std::vector<std::uint8_t> ProgrammerSimulator::received() const {
  std::lock_guard<std::mutex> lock(stateMutex);
  return record.bytes(Direction::toDevice);
}

std::vector<std::uint8_t> ProgrammerSimulator::sent() const {
  std::lock_guard<std::mutex> lock(stateMutex);
  return record.bytes(Direction::fromDevice);
}

std::vector<TranscriptEntry> ProgrammerSimulator::transcript() const {
  std::lock_guard<std::mutex> lock(stateMutex);
  return record.runs();
}

std::string ProgrammerSimulator::transcriptText() const {
  std::lock_guard<std::mutex> lock(stateMutex);
  return record.text();
}

std::vector<std::string> ProgrammerSimulator::commands() const {
  std::lock_guard<std::mutex> lock(stateMutex);
  return device.commandLog();
}

void ProgrammerSimulator::clearTranscript() {
  std::lock_guard<std::mutex> lock(stateMutex);
  record.clear();
  device.clearCommandLog();
}

std::vector<std::uint8_t> ProgrammerSimulator::flash() const {
  std::lock_guard<std::mutex> lock(stateMutex);
  return device.flash().contents();
}

std::vector<std::uint8_t> ProgrammerSimulator::eeprom() const {
  std::lock_guard<std::mutex> lock(stateMutex);
  return device.eeprom().contents();
}

void ProgrammerSimulator::loadFlash(std::size_t offset, const std::vector<std::uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(stateMutex);
  device.loadFlash(offset, bytes);
}

DeviceStatus ProgrammerSimulator::status() const {
  std::lock_guard<std::mutex> lock(stateMutex);
  return device.status();
}

bool ProgrammerSimulator::clientLineSettings(PtyLineSettings& settings) const {
  std::lock_guard<std::mutex> handles(handleMutex);
  return slave && ptyGetLineSettings(slave, settings);
}

bool ProgrammerSimulator::waitForReceived(std::size_t count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(stateMutex);
  stateChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                        [&] { return receivedTotal >= count || !serving; });
  return receivedTotal >= count;
}

bool ProgrammerSimulator::waitForCommands(long count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(stateMutex);
  stateChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                        [&] { return device.status().commands >= count || !serving; });
  return device.status().commands >= count;
}

bool ProgrammerSimulator::waitUntilEnded(int timeoutMs) const {
  std::unique_lock<std::mutex> lock(stateMutex);
  return stateChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return started && !serving; });
}

}  // namespace sim
