// Small .tqz pictures made with the codec's own encoder, temporary folders to keep
// them in, and read-back of textures, for tests that must not depend on the
// production's art.
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// Samples of a picture: rows top first, Channels (1 grey, 3 red/green/blue) bytes per pixel.
struct TestPicture {
  int Width = 0;
  int Height = 0;
  int Channels = 3;
  std::vector<uint8_t> Samples;

  uint8_t& At(int x, int y, int channel) {
    return Samples[(static_cast<size_t>(y) * Width + x) * Channels + channel];
  }
};

// A w x h picture of blocks x blocks flat rectangles of distinct colours (grey
// levels for one channel); sizes should divide evenly.
TestPicture BlockPicture(int width, int height, int channels, int blocks);

// A smooth picture with detail at every scale (gradients plus a fine checker),
// different for every seed; a stand-in for the production's art.
TestPicture PatternPicture(int width, int height, int channels, uint32_t seed);

// Encodes the picture as a .tqz file (forward transform, quantisation, writer).
// Width and height must be multiples of 2^(depth + 1).
void WriteTestPicture(const std::string& path, const TestPicture& picture, int depth = 2,
                      int valueBits = 8);

// A bare file: the 34-byte header with the given fields and all counts 0, then
// zeroed scale tables for the channels that bitsPerPixel implies.
void WriteHeaderOnlyPicture(const std::string& path, int width, int height, int bitsPerPixel,
                            int depth = 0);

// The decoder's output for a file: one word per pixel (0x00RRGGBB) for 24 bits,
// the grey byte repeated in red, green and blue for 8.
struct DecodedPicture {
  int Width = 0;
  int Height = 0;
  int BitsPerPixel = 0;
  std::vector<uint32_t> Rgb;  // 0x00RRGGBB, rows in file order

  uint32_t At(int x, int y) const { return Rgb[static_cast<size_t>(y) * Width + x]; }
};
DecodedPicture DecodeForTest(const std::string& path);

// Level `level` of a texture, read back with glGetTexImage as RGBA bytes.
std::vector<uint8_t> ReadTextureRGBA(GLuint name, int level = 0);

// A fresh temporary folder, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Changes the working directory for its lifetime.
class ScopedWorkingDirectory {
 public:
  explicit ScopedWorkingDirectory(const std::string& path);
  ~ScopedWorkingDirectory();
  ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
  ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

 private:
  std::string previous_;
};

}  // namespace testsupport
