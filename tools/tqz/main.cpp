// tqz: converts PNG pictures to the framework's .tqz format and back, and shows what
// a .tqz file holds.
#include <getopt.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "common/output_file.h"
#include "common/png_io.h"
#include "codec/codec.h"
#include "framework/binfile/binfile.h"
#include "examine.h"

namespace {

constexpr int32_t DefaultDepth = 0;
std::string currentFile = "tqz";  // the input being read, for a failure without a file
constexpr int32_t DefaultBits = 8;
constexpr double DefaultThreshold = 0;

const char* const Help = R"(Usage: tqz encode IN.png OUT.tqz [--depth N] [--bits B] [--threshold T] [--grey]
   or: tqz decode IN.tqz OUT.png
   or: tqz info IN.tqz
   or: tqz --help | --version

Converts pictures between PNG and the Corvane .tqz format (a multi-level Haar
wavelet code) and shows what a .tqz file holds.

Commands:
  encode     code a PNG picture as .tqz. A grey PNG gives a one-channel (8 bits
             per pixel) file, a colour PNG a three-channel (24) one; alpha is
             dropped. Prints the file size and the quality reached (PSNR).
  decode     decode a .tqz file to PNG exactly as the production shows it
             (grey or RGB). A file the production shows is decoded even when it
             breaks the format's rules (each broken rule is a warning on standard
             error); a file the production refuses is refused for the same
             reason: truncated, counts its blocks cannot back, no rows, bits per
             pixel other than 8 or 24, or more than 16384 pixels a side. A
             picture without columns is refused too (a PNG cannot hold it).
  info       print every header field, the block sizes, the bits per pixel
             achieved and whether the file is well formed (exit status 1 if not).

Encode options:
  -d, --depth N      transform levels minus one, 0 to 16. Width and height must
                     be multiples of 2^(N+1). Deeper transforms give smaller files
                     of flat pictures, but the decoder smooths wherever details
                     are zero, which blurs coarse patterns. Default: 0.
  -b, --bits B       value bits, 1 to 8: the precision of every coefficient (each
                     band spans -(2^B-1) .. 2^B-1). Default: 8.
  -t, --threshold T  zero detail coefficients of magnitude up to T (0 to 255) for a
                     smaller file; zeroed details make the decoder smooth those
                     places, so large values soften edges. Default: 0 (off).
  -g, --grey         make a one-channel grey file from a colour PNG
                     (0.299 R + 0.587 G + 0.114 B).
  -h, --help         show this help.

Other options:
  --version          print the version.

Output files:
  A regular OUT (or a new one) is written under a temporary name in its folder
  and renamed over OUT when complete, keeping the permissions OUT had; a
  symbolic link is followed and stays. A device, a FIFO or /dev/stdout is
  written directly. A failed write leaves OUT as it was.

Exit status:
  0  done
  1  failure: a file missing, unreadable, unwritable or broken (for decode, a
     file the production refuses; for info, a file that is not well formed),
     with one line on standard error naming the file and the problem
  2  bad arguments
)";

[[noreturn]] void UsageError(const std::string& message) {
  std::fprintf(stderr, "tqz: %s (see tqz --help)\n", message.c_str());
  std::exit(2);
}

// A file that cannot be used (missing, unreadable, unwritable, broken): one line, exit 1.
[[noreturn]] void InputError(const std::string& file, const std::string& message) {
  std::fprintf(stderr, "tqz: %s: %s\n", file.c_str(), message.c_str());
  std::exit(1);
}

bool ParseInt(const char* text, long low, long high, int32_t& out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno || end == text || *end || v < low || v > high) return false;
  out = int32_t(v);
  return true;
}

bool ParseDouble(const char* text, double low, double high, double& out) {
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || *end || !(v >= low && v <= high)) return false;
  out = v;
  return true;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += double(a[i] - b[i]) * double(a[i] - b[i]);
  return sum == 0 ? INFINITY : 10 * std::log10(65025.0 * double(a.size()) / sum);
}

// The decoder's pixels as rows of 1 (grey) or 3 (red, green, blue) bytes per pixel.
std::vector<uint8_t> Rows(const uint8_t* pixels, const codec::ImageHeader& header) {
  const size_t count = size_t{header.Width} * header.Height;
  std::vector<uint8_t> rows;
  if (header.BitsPerPixel == 8) {
    rows.assign(pixels, pixels + count);
  } else if (header.BitsPerPixel == 24) {
    rows.resize(count * 3);
    for (size_t p = 0; p < count; ++p) {
      rows[3 * p] = pixels[4 * p + 2];
      rows[3 * p + 1] = pixels[4 * p + 1];
      rows[3 * p + 2] = pixels[4 * p];
    }
  }
  return rows;
}

std::vector<uint8_t> DecodeRows(const std::string& path, codec::ImageHeader& header) {
  uint8_t* pixels = nullptr;
  codec::DecodeImageFile(pixels, header, path, true);
  std::vector<uint8_t> rows = Rows(pixels, header);
  std::free(pixels);
  return rows;
}

// Every failure of the checked file helper (a missing or unreadable file, a picture the
// production refuses as truncated or too large for memory): one line, exit 1.
[[noreturn]] void FileFailure(int32_t, const std::string& file, const std::string& problem,
                              uintptr_t) {
  InputError(file, problem);
}

// Decodes encoded bytes with the production's decoder, which reads files: through an
// anonymous file in memory.
std::vector<uint8_t> DecodeBytes(const std::vector<uint8_t>& bytes, const std::string& name,
                                 codec::ImageHeader& header) {
  const int fd = memfd_create("tqz", MFD_CLOEXEC);
  if (fd < 0) InputError(name, std::string("cannot check the result: ") + std::strerror(errno));
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) InputError(name, std::string("cannot check the result: ") + std::strerror(errno));
    done += size_t(n);
  }
  std::vector<uint8_t> rows = DecodeRows("/proc/self/fd/" + std::to_string(fd), header);
  close(fd);
  return rows;
}

int Encode(int argc, char** argv) {
  int32_t depth = DefaultDepth, bits = DefaultBits;
  double threshold = DefaultThreshold;
  bool grey = false;
  const option options[] = {{"depth", required_argument, nullptr, 'd'},
                            {"bits", required_argument, nullptr, 'b'},
                            {"threshold", required_argument, nullptr, 't'},
                            {"grey", no_argument, nullptr, 'g'},
                            {"gray", no_argument, nullptr, 'g'},
                            {"help", no_argument, nullptr, 'h'},
                            {nullptr, 0, nullptr, 0}};
  opterr = 0;
  for (int c; (c = getopt_long(argc, argv, ":d:b:t:gh", options, nullptr)) != -1;) {
    switch (c) {
      case 'd':
        if (!ParseInt(optarg, 0, 16, depth)) UsageError("--depth wants 0 to 16, not '" + std::string(optarg) + "'");
        break;
      case 'b':
        if (!ParseInt(optarg, 1, 8, bits)) UsageError("--bits wants 1 to 8, not '" + std::string(optarg) + "'");
        break;
      case 't':
        if (!ParseDouble(optarg, 0, 255, threshold))
          UsageError("--threshold wants a number from 0 to 255, not '" + std::string(optarg) + "'");
        break;
      case 'g': grey = true; break;
      case 'h': std::fputs(Help, stdout); return 0;
      case ':': UsageError(std::string("option ") + argv[optind - 1] + " needs a value");
      default: UsageError(std::string("unknown option '") + argv[optind - 1] + "'");
    }
  }
  if (argc - optind != 2) UsageError("encode wants IN.png OUT.tqz");
  const std::string in = argv[optind], out = argv[optind + 1];
  currentFile = in;

  pngio::Image image;
  std::string error;
  if (!pngio::ReadPng(in, image, error)) InputError(in, error);
  if (image.Width > 65535 || image.Height > 65535)
    InputError(in, "too large: " + std::to_string(image.Width) + " x " +
                       std::to_string(image.Height) + " (at most 65535 a side)");
  auto fits = [&](int32_t d) {
    const int32_t unit = 1 << (d + 1);
    return image.Width % unit == 0 && image.Height % unit == 0;
  };
  if (!fits(depth)) {
    InputError(in, std::to_string(image.Width) + " x " + std::to_string(image.Height) +
                       " is not a multiple of " + std::to_string(1 << (depth + 1)) +
                       " in both directions, as --depth " + std::to_string(depth) +
                       " needs; choose a smaller depth");
  }

  // Rows for the codec: 1 byte (grey) or 3 (red, green, blue) per pixel.
  const size_t count = size_t(image.Width) * image.Height;
  const int32_t channels = image.Channels == 1 || grey ? 1 : 3;
  std::vector<uint8_t> rows(count * channels);
  for (size_t p = 0; p < count; ++p) {
    const uint8_t* px = &image.Pixels[p * image.Channels];
    if (image.Channels == 1)
      rows[p] = px[0];
    else if (grey)
      rows[p] = uint8_t(std::lround(0.299 * px[0] + 0.587 * px[1] + 0.114 * px[2]));
    else
      std::copy(px, px + 3, &rows[3 * p]);
  }
  const std::vector<uint8_t> bytes = codec::EncodeImageBytes(
      rows.data(), image.Width, image.Height, channels, depth, bits, threshold);
  if (!outfile::WriteFile(out, bytes.data(), bytes.size(), error)) InputError(out, error);

  codec::ImageHeader header;
  const std::vector<uint8_t> back = DecodeBytes(bytes, out, header);
  std::printf("%s: %d x %d %s, depth %d, %d value bits, threshold %g: %zu bytes, "
              "%.2f bits per pixel, PSNR %.1f dB\n",
              out.c_str(), image.Width, image.Height, channels == 1 ? "grey" : "RGB", depth,
              bits, threshold, bytes.size(),
              count ? 8.0 * double(bytes.size()) / double(count) : 0.0, Psnr(rows, back));
  return 0;
}

// Decodes through the texture bank's own call, with the largest side of a program
// without a GL context, and refuses what the texture bank refuses after it.
int Decode(int argc, char** argv) {
  if (argc != 4) UsageError("decode wants IN.tqz OUT.png");
  const std::string in = argv[2], out = argv[3];
  currentFile = in;
  const tqz::FileReport report = tqz::Inspect(in);
  codec::ImageHeader header{};
  uint8_t* pixels = nullptr;
  const std::string box = " (the production shows \"Could not load Texture\")";
  if (!codec::DecodeImageFileWithin(pixels, header, in, codec::ToolLargestSide))
    InputError(in, std::to_string(header.Width) + " x " + std::to_string(header.Height) +
                       " is larger than " + std::to_string(codec::ToolLargestSide) +
                       " pixels a side" + box);
  if (header.BitsPerPixel != 8 && header.BitsPerPixel != 24)
    InputError(in, "bits per pixel " + std::to_string(header.BitsPerPixel) +
                       " (8 or 24 expected): no picture data" + box);
  if (header.Height == 0) InputError(in, "the picture has no rows" + box);
  if (header.Width == 0)
    InputError(in, "the picture has no columns (the production shows an empty texture; "
                   "a PNG cannot be 0 pixels wide)");
  for (const std::string& problem : report.Problems)
    std::fprintf(stderr, "tqz: %s: warning: %s\n", in.c_str(), problem.c_str());
  for (const std::string& note : report.Notes)
    std::fprintf(stderr, "tqz: %s: warning: %s\n", in.c_str(), note.c_str());
  const std::vector<uint8_t> rows = Rows(pixels, header);
  std::free(pixels);
  std::string error;
  if (!pngio::WritePng(out, header.Width, header.Height, header.BitsPerPixel == 8 ? 1 : 3,
                       rows.data(), false, error))
    InputError(out, error);
  return 0;
}

int Info(int argc, char** argv) {
  if (argc != 3) UsageError("info wants IN.tqz");
  const std::string in = argv[2];
  currentFile = in;
  const tqz::FileReport r = tqz::Inspect(in);
  const codec::ImageHeader& h = r.Header;
  std::printf("file            %s (%llu bytes)\n", in.c_str(),
              static_cast<unsigned long long>(r.FileSize));
  if (r.FileSize >= sizeof h) {
    std::string magic;
    for (char c : h.Magic) magic += (c >= 32 && c < 127) ? c : '?';
    std::printf("magic           \"%s\"\n", magic.c_str());
    std::printf("width           %u\n", h.Width);
    std::printf("height          %u\n", h.Height);
    std::printf("bits per pixel  %u%s\n", h.BitsPerPixel,
                h.BitsPerPixel == 8 ? " (grey)" : h.BitsPerPixel == 24 ? " (red, green, blue)" : "");
    std::printf("depth           %u (%u transform level%s)\n", h.Depth, h.Depth + 1u,
                h.Depth ? "s" : "");
    std::printf("value bits      %u\n", h.ValueBits);
    std::printf("symbol counts   %u %u %u\n", h.SymbolCount[0], h.SymbolCount[1], h.SymbolCount[2]);
    std::printf("value counts    %u %u %u\n", h.ValueCount[0], h.ValueCount[1], h.ValueCount[2]);
    for (size_t c = 0; c < r.Channels.size(); ++c) {
      const tqz::ChannelReport& ch = r.Channels[c];
      std::printf("channel %zu       symbol block %llu bytes, value block %llu bytes, %llu runs\n",
                  c + 1, static_cast<unsigned long long>(ch.SymbolBytes),
                  static_cast<unsigned long long>(ch.ValueBytes),
                  static_cast<unsigned long long>(ch.Runs));
      std::printf("  scale table  ");
      for (double entry : ch.Table) std::printf(" %.6g", entry);
      std::printf("\n");
    }
    const double pixels = double(h.Width) * double(h.Height);
    if (pixels > 0)
      std::printf("achieved        %.3f bits per pixel (%.1f : 1 against %u)\n",
                  8.0 * double(r.FileSize) / pixels,
                  h.BitsPerPixel * pixels / (8.0 * double(r.FileSize)), h.BitsPerPixel);
  }
  for (const std::string& note : r.Notes) std::printf("note            %s\n", note.c_str());
  std::printf("well formed     %s\n", r.Problems.empty() ? "yes" : "no");
  for (const std::string& problem : r.Problems) std::printf("problem         %s\n", problem.c_str());
  if (!r.Problems.empty()) {
    std::fprintf(stderr, "tqz: %s: not well formed: %s\n", in.c_str(), r.Problems.front().c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  binfile::SetFailureHandler(FileFailure);
  if (argc < 2) UsageError("no command given");
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(Help, stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("tqz %s\n", LUMETRA_VERSION);
    return 0;
  }
  // A picture too large for memory is a failure like any other, not a crash.
  try {
    if (command == "encode") return Encode(argc - 1, argv + 1);
    if (command == "decode") return Decode(argc, argv);
    if (command == "info") return Info(argc, argv);
  } catch (const std::bad_alloc&) {
    InputError(currentFile, binfile::ProblemText(binfile::OutOfMemory));
  }
  UsageError("unknown command '" + command + "'");
}
