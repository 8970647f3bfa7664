// Reads a .tqz file (what its header declares, never more) and checks it against the
// format's rules, for "tqz info" and as the gate before "tqz decode".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/codec.h"

namespace tqz {

struct ChannelReport {
  uint32_t Symbols = 0, Values = 0;          // counts from the header
  uint64_t SymbolBytes = 0, ValueBytes = 0;  // block sizes they give
  std::vector<double> Table;                 // ScaleTable entries present in the file
  uint64_t Produced = 0;                     // coefficients the symbols produce
  uint64_t ValueSymbols = 0;                 // symbols that take a value
  uint64_t Runs = 0;                         // ZeroRun symbols
};

struct FileReport {
  codec::ImageHeader Header{};
  uint64_t FileSize = 0, DeclaredSize = 0;
  std::vector<ChannelReport> Channels;
  std::vector<std::string> Problems;  // empty: well formed
  std::vector<std::string> Notes;     // harmless findings (bytes after the last block)
};

// Reads path through the checked file helper (a missing file ends the program).
FileReport Inspect(const std::string& path);

}  // namespace tqz
