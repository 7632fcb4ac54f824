// What the programmer simulator models and which faults it injects, and how its command line
// sets them.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace sim {

struct SimulatorOptions {
  // Line model. With baudRate 0 the line is not paced: bytes move as fast as the pseudo-terminal
  // carries them. Otherwise every byte takes 10 bit times in either direction.
  int baudRate = 0;
  double pageWriteMs = 0;    // a flash block's CR goes out this long after its last byte came in
  double eraseMs = 0;        // the chip erase's CR goes out this long after the 'e'
  double preambleGapMs = 20; // a command token ends when no byte follows within this time

  // The device.
  int blockSize = 128;           // the block size 'b' reports (0 allowed: a device reporting none)
  bool blockModeRefused = false; // 'b' answers 'N', 0, 0
  std::size_t flashSize = 32768; // bytes; every cell starts erased (0xFF)
  std::size_t eepromSize = 1024;

  // Faults.
  int ignoreFirstP = 0;               // the first N 'P' get no answer and do not enter programming mode
  std::vector<long> dropAnswers;      // 1-based numbers of commands whose answer is left out
  bool noLineFeed = false;            // answers to the preamble commands come without their LF
  double lateMs = 0;                  // answers go out this much later than they would
  long lateCommand = 0;               // 0: every answer is late; K: only the K-th command's
  bool corruptReadback = false;       // a read of flash byte corruptOffset returns corruptValue
  std::size_t corruptOffset = 0;
  int corruptValue = -1;              // -1: the stored byte with every bit inverted
  bool neverAnswer = false;           // commands are carried out but never answered
  long hangupAfter = 0;               // 0: never; N: the line goes away after the N-th received byte
  std::size_t garbageBeforeAnswer = 0; // this many noise bytes (never CR or LF) go out before an answer
  std::size_t extraAfterAnswer = 0;    // this many noise bytes follow an answer
  long noiseCommand = 0;               // 0: every answer gets the noise; K: only the K-th command's
  double splitAnswersMs = -1;          // >= 0: answers go out one byte a write, this long between bytes
  bool refuseBlocks = false;           // flash blocks that reach byte address refuseFrom are refused
  std::size_t refuseFrom = 0;          // with 0x00 and no CR, and not written
  std::vector<long> refuseCommands;    // 1-based numbers of commands answered '?' in place of their answer
  std::size_t pendingBlock = 0;        // > 0: starts waiting for the data of a flash block of this size

  // Records.
  std::string transcriptFile;  // every byte both ways, as the transcript text (Transcript.h)
  std::string dumpFlashFile;   // the flash contents, written raw when the program ends
};

// Reads command-line options (the program name left out). Returns false with a message in error
// on an unknown option, a missing or malformed value; sets helpRequested for --help.
bool parseOptions(const std::vector<std::string>& args, SimulatorOptions& options, bool& helpRequested,
                  std::string& error);

// The text --help prints.
std::string optionsHelp();

}  // namespace sim
