#include "examine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "codec/codec_internal.h"
#include "framework/binfile/binfile.h"

namespace tqz {
namespace {

std::string Str(uint64_t v) { return std::to_string(v); }

// Walks one channel's streams as the decoder would and records what breaks the rules.
void CheckChannel(const std::vector<uint8_t>& bytes, uint64_t& at, int32_t c,
                  FileReport& report) {
  const codec::ImageHeader& h = report.Header;
  ChannelReport& ch = report.Channels[c];
  const std::string name = "channel " + std::to_string(c + 1) + ": ";
  const uint64_t size = bytes.size();
  const uint64_t symbolEnd = std::min(size, at + ch.SymbolBytes);
  const uint64_t valueEnd = std::min(size, symbolEnd + ch.ValueBytes);
  const uint64_t symbolsPresent = std::min<uint64_t>(ch.Symbols, (symbolEnd - at) * 4);
  std::vector<uint8_t> symbols(symbolsPresent);
  codec::UnpackSymbols(bytes.data() + at, uint32_t(symbolsPresent), symbols.data());
  const uint32_t valuesWanted = uint32_t(std::min<uint64_t>(ch.Values, symbolsPresent));
  std::vector<uint8_t> values(valuesWanted);
  codec::UnpackValues(bytes.data() + symbolEnd, valueEnd - symbolEnd, valuesWanted,
                      h.ValueBits, values.data());
  at += ch.SymbolBytes + ch.ValueBytes;

  const uint64_t planeSize = uint64_t{h.Width} * h.Height;
  bool overrun = false;
  uint32_t j = 0;
  for (uint8_t s : symbols) {
    if (s == codec::Zero) {
      ++ch.Produced;
      continue;
    }
    ++ch.ValueSymbols;
    const uint32_t v = j < values.size() ? values[j] : 0;
    ++j;
    if (s == codec::ZeroRun) {
      ++ch.Runs;
      ch.Produced += uint64_t{v} + 1;
    } else {
      ++ch.Produced;
    }
    if (ch.Produced > planeSize) overrun = true;
  }
  if (ch.ValueSymbols != ch.Values)
    report.Problems.push_back(name + Str(ch.ValueSymbols) + " symbols take a value but " +
                              Str(ch.Values) + " values are stored");
  if (overrun)
    report.Problems.push_back(name + "the symbols produce " + Str(ch.Produced) +
                              " coefficients, more than the " + Str(planeSize) + " pixels");
  else if (ch.Produced < planeSize)
    report.Problems.push_back(name + "the symbols produce only " + Str(ch.Produced) + " of " +
                              Str(planeSize) + " coefficients");
  for (size_t k = 0; k < ch.Table.size(); ++k)
    if (!(std::isfinite(ch.Table[k]) && ch.Table[k] >= 0))
      report.Problems.push_back(name + "scale table entry " + std::to_string(k) +
                                " is not a finite number >= 0");
}

}  // namespace

FileReport Inspect(const std::string& path) {
  FileReport report;
  binfile::File file;
  binfile::OpenRead(file, path);
  report.FileSize = binfile::Size(file);
  std::vector<uint8_t> bytes(report.FileSize);
  binfile::Read(file, bytes.data(), bytes.size());
  binfile::Close(file);
  if (bytes.size() < sizeof(codec::ImageHeader)) {
    report.Problems.push_back("only " + Str(bytes.size()) +
                              " bytes: shorter than the 34-byte header");
    return report;
  }
  std::memcpy(&report.Header, bytes.data(), sizeof report.Header);
  const codec::ImageHeader& h = report.Header;
  report.DeclaredSize = codec::DeclaredFileSize(h);

  if (std::memcmp(h.Magic, "TQZ", 3) != 0)
    report.Problems.push_back("the first three bytes are not \"TQZ\"");
  const int32_t channels = codec::ChannelCount(h.BitsPerPixel);
  if (channels == 0)
    report.Problems.push_back("bits per pixel " + Str(h.BitsPerPixel) +
                              " (8 or 24 expected): no picture data");
  if (h.Depth > codec::MaxDepth)
    report.Problems.push_back("depth " + Str(h.Depth) + " is above 16");
  if (h.ValueBits < 1 || h.ValueBits > 8)
    report.Problems.push_back("value bits " + Str(h.ValueBits) + " (1 to 8 expected)");
  const uint64_t unit = uint64_t{1} << std::min(h.Depth + 1, 40);
  if (h.Width == 0 || h.Height == 0)
    report.Problems.push_back("the picture is empty (" + Str(h.Width) + " x " + Str(h.Height) + ")");
  else if (h.Width % unit || h.Height % unit)
    report.Problems.push_back(Str(h.Width) + " x " + Str(h.Height) + " is not a multiple of " +
                              Str(unit) + " (2^(depth + 1)) in both directions");
  if (report.FileSize < report.DeclaredSize)
    report.Problems.push_back("truncated: the header declares " + Str(report.DeclaredSize) +
                              " bytes, the file has " + Str(report.FileSize));
  else if (report.FileSize > report.DeclaredSize)
    report.Notes.push_back(Str(report.FileSize - report.DeclaredSize) +
                           " bytes after the last block (ignored)");

  uint64_t at = sizeof(codec::ImageHeader);
  report.Channels.resize(channels);
  for (int32_t c = 0; c < channels; ++c) {
    ChannelReport& ch = report.Channels[c];
    ch.Symbols = h.SymbolCount[c];
    ch.Values = h.ValueCount[c];
    ch.SymbolBytes = codec::SymbolBlockSize(ch.Symbols);
    ch.ValueBytes = codec::ValueBlockSize(ch.Values, h.ValueBits);
    for (int32_t k = 0; k < h.Depth + 2; ++k) {
      const uint64_t entryAt = at + (uint64_t(c) * (h.Depth + 2) + k) * 8;
      if (entryAt + 8 > bytes.size()) break;
      double entry;
      std::memcpy(&entry, bytes.data() + entryAt, 8);
      ch.Table.push_back(entry);
    }
  }
  at = std::min<uint64_t>(at + uint64_t(channels) * (h.Depth + 2) * 8, bytes.size());
  // The streams of a truncated file say nothing more than that it is truncated.
  if (report.FileSize < report.DeclaredSize) return report;
  for (int32_t c = 0; c < channels; ++c) {
    CheckChannel(bytes, at, c, report);
    at = std::min<uint64_t>(at, bytes.size());
  }
  return report;
}

}  // namespace tqz
