#include "examine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "codec/codec_internal.h"
#include "framework/binfile/binfile.h"

namespace tqz {
namespace {

std::string Str(uint64_t v) { return std::to_string(v); }

// Bytes of one block of the file, read forwards a window at a time: memory stays
// small whatever sizes the header declares.
class BlockReader {
 public:
  BlockReader(binfile::File& file, uint64_t start, uint64_t size)
      : file_(file), start_(start), size_(size) {}
  uint64_t Size() const { return size_; }
  uint8_t At(uint64_t offset) {
    if (offset < from_ || offset >= from_ + window_.size()) {
      from_ = offset;
      window_.resize(std::min<uint64_t>(size_ - offset, 1 << 16));
      binfile::Seek(file_, start_ + offset);
      binfile::Read(file_, window_.data(), window_.size());
    }
    return window_[offset - from_];
  }

 private:
  binfile::File& file_;
  uint64_t start_, size_;
  uint64_t from_ = 0;
  std::vector<uint8_t> window_;
};

// Value j of a value block as codec::UnpackValues gives it: the low (at most 8) bits
// of the field, bits past the block's end read as 0.
uint8_t ValueAt(BlockReader& block, uint32_t j, int32_t valueBits) {
  const int32_t kept = std::min(valueBits, 8);
  const uint64_t start = uint64_t{j} * uint64_t(valueBits), totalBits = block.Size() * 8;
  uint32_t v = 0;
  for (int32_t b = 0; b < kept; ++b)
    if (start + b < totalBits && (block.At((start + b) / 8) >> ((start + b) % 8)) & 1)
      v |= 1u << b;
  return static_cast<uint8_t>(v);
}

// Walks one channel's streams (at: where its symbol block starts; the file holds both
// blocks) as the decoder would and records what breaks the rules.
void CheckChannel(binfile::File& file, uint64_t at, int32_t c, FileReport& report) {
  const codec::ImageHeader& h = report.Header;
  ChannelReport& ch = report.Channels[c];
  const std::string name = "channel " + std::to_string(c + 1) + ": ";
  BlockReader symbols(file, at, ch.SymbolBytes);
  BlockReader values(file, at + ch.SymbolBytes, ch.ValueBytes);
  const uint32_t valuesWanted = std::min(ch.Values, ch.Symbols);

  const uint64_t planeSize = uint64_t{h.Width} * h.Height;
  bool overrun = false;
  uint32_t j = 0;
  for (uint32_t i = 0; i < ch.Symbols; ++i) {
    const uint8_t s = (symbols.At(i / 4) >> (2 * (i % 4))) & 3;
    if (s == codec::Zero) {
      ++ch.Produced;
      continue;
    }
    ++ch.ValueSymbols;
    const uint32_t v = j < valuesWanted ? ValueAt(values, j, h.ValueBits) : 0;
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
  // Only what the header declares is read, never the whole file: bytes after the
  // picture may be any number (the production's loader ignores them too).
  if (report.FileSize < sizeof(codec::ImageHeader)) {
    report.Problems.push_back("only " + Str(report.FileSize) +
                              " bytes: shorter than the 34-byte header");
    return report;
  }
  binfile::Read(file, &report.Header, sizeof report.Header);
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
      if (entryAt + 8 > report.FileSize) break;
      double entry;
      binfile::Seek(file, entryAt);
      binfile::Read(file, &entry, sizeof entry);
      ch.Table.push_back(entry);
    }
  }
  // The streams of a truncated file say nothing more than that it is truncated.
  if (report.FileSize < report.DeclaredSize) return report;
  at += uint64_t(channels) * (h.Depth + 2) * 8;
  for (int32_t c = 0; c < channels; ++c) {
    CheckChannel(file, at, c, report);
    at += report.Channels[c].SymbolBytes + report.Channels[c].ValueBytes;
  }
  binfile::Close(file);
  return report;
}

}  // namespace tqz
