// The programmer simulator: the far end of a serial line, served on a new pseudo-terminal by a
// thread of its own. A client (the tool, a test, any AVR109 programmer software) opens the
// terminal's slave path as its serial port, as often as it likes: the simulator keeps the slave
// open itself, so a client's close never hangs the line up. What the device answers is
// ProgrammerDevice's; the line model (baud rate pacing) and the hang-up fault are applied here.
// Every accessor may be called from any thread while the simulator runs.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/Pty.h"
#include "ZEL_OS/OsTypes.h"
#include "sim/ProgrammerDevice.h"
#include "sim/SimulatorOptions.h"
#include "sim/Transcript.h"

namespace sim {

class ProgrammerSimulator {
 public:
  explicit ProgrammerSimulator(const SimulatorOptions& options = SimulatorOptions());
  ~ProgrammerSimulator();  // stops
  ProgrammerSimulator(const ProgrammerSimulator&) = delete;
  ProgrammerSimulator& operator=(const ProgrammerSimulator&) = delete;

  // Opens a new pseudo-terminal (and the transcript file, if any) and starts serving. False with
  // errorText when that fails or the simulator was started before.
  bool start();

  // Ends serving and closes the terminal and the transcript file. Returns promptly even while an
  // answer waits for its time. Further calls do nothing.
  void stop();

  // The path a client opens, e.g. "/dev/pts/7" (empty before start).
  std::string slavePath() const;
  std::string errorText() const;
  bool isServing() const;  // false before start, after stop, after a hang-up or a failure
  bool hasHungUp() const;  // the hang-up fault closed the line

  // Called once, from the serving thread, when serving ends by itself (hang-up or failure),
  // before isServing turns false and the waits below return.
  void onEnded(std::function<void()> callback);

  // Lets a test rewrite every answer before it goes out (a programmer that answers anything):
  // called from the serving thread with the number of the command answered, the command as
  // commands() writes it, and the answer's bytes, which it may change, shorten or empty. The
  // transcript records what went out. Set it before start.
  using AnswerFilter =
      std::function<void(long command, const std::string& commandText, std::vector<std::uint8_t>& bytes)>;
  void setAnswerFilter(AnswerFilter filter);

  // What crossed the line since start or the last clearTranscript.
  std::vector<std::uint8_t> received() const;  // from the client
  std::vector<std::uint8_t> sent() const;      // to the client
  std::vector<TranscriptEntry> transcript() const;
  std::string transcriptText() const;          // as in Transcript.h
  std::vector<std::string> commands() const;   // as ProgrammerDevice::commandLog describes
  // Forgets the transcript and the command log; the numbers the faults count with go on.
  void clearTranscript();

  // The device.
  std::vector<std::uint8_t> flash() const;
  std::vector<std::uint8_t> eeprom() const;
  void loadFlash(std::size_t offset, const std::vector<std::uint8_t>& bytes);
  DeviceStatus status() const;

  // The line settings the client left on the terminal (baud rate, data bits, parity, stop bits, raw).
  bool clientLineSettings(PtyLineSettings& settings) const;

  // Block until the counts since start reach the given numbers (not reset by clearTranscript),
  // or serving ends, or timeoutMs passes. True when the count was reached.
  bool waitForReceived(std::size_t count, int timeoutMs) const;
  bool waitForCommands(long count, int timeoutMs) const;
  // True when serving has ended (hang-up, failure or stop) within timeoutMs.
  bool waitUntilEnded(int timeoutMs) const;

 private:
  using Clock = ProgrammerDevice::Clock;

  enum class Outcome { ok, writeFailed, lineClosed };

  void serve();
  Outcome handleBytes(const std::uint8_t* data, int count);
  bool sendReplies(const std::vector<ProgrammerDevice::Reply>& replies);
  bool writePaced(const std::vector<std::uint8_t>& bytes);
  bool writeSplit(const std::vector<std::uint8_t>& bytes);
  bool writeOut(const std::uint8_t* data, std::size_t count);
  bool sleepUntil(Clock::time_point moment);
  void hangUp();
  void fail(const std::string& what);
  void ended(bool byHangUp, const std::string& what);
  void closeHandles();

  const SimulatorOptions options;
  const bool paced;
  const Clock::duration byteTime;

  // Guards the device, the transcript, the counts and the flags below.
  mutable std::mutex stateMutex;
  mutable std::condition_variable stateChanged;
  ProgrammerDevice device;
  Transcript record;
  std::size_t receivedTotal = 0;
  bool serving = false;
  bool started = false;
  bool hungUp = false;
  std::string error;
  std::string path;
  std::function<void()> endedCallback;
  AnswerFilter answerFilter;  // set before start, used by the serving thread only

  // Guards the handles against a close while another thread interrupts or queries them.
  mutable std::mutex handleMutex;
  zos::Handle master = nullptr;
  zos::Handle slave = nullptr;  // kept open so that the line survives a client's close

  // Wakes the serving thread's waits when stop is requested.
  std::mutex sleepMutex;
  std::condition_variable wake;
  std::atomic<bool> stopRequested{false};

  // Line model of the serving thread.
  Clock::time_point lastArrival;
  Clock::time_point transmitFreeAt;

  std::thread server;
};

}  // namespace sim
