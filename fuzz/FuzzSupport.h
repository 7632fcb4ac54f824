// Shared pieces of the fuzz targets: a library that never blocks on a message box, and checks
// that end the run with a message when a property of a parser does not hold.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzsupport {

// Message boxes are counted instead of shown; call once from LLVMFuzzerInitialize.
void quietLibrary();
std::size_t boxesShown();

// Ends the run (abort, so that the fuzzer saves the input) when condition is false.
void check(bool condition, const char* what);

// The input as text, zero bytes replaced by 0x01: for operations that see a text only up to its
// first zero byte.
std::string withoutZeros(const std::uint8_t* data, std::size_t size);

}  // namespace fuzzsupport
