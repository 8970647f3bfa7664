// libFuzzer target: any bytes as a .tqz file through DecodeImageFileWithin, the
// call the texture bank makes, with the largest side of a program without a GL
// context. Runtime errors (short reads, out of memory) are the decoder's expected
// answers and end the input; anything the sanitizers see, and any input that makes
// the decoder use more than libFuzzer's memory limit, is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "codec/codec.h"
#include "framework/binfile/binfile.h"

namespace {

struct RuntimeError {
  int32_t Code;
};

void Throw(int32_t code, const std::string&, const std::string&, uintptr_t) {
  throw RuntimeError{code};
}

std::string path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  binfile::SetFailureHandler(Throw);
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  path = std::string(dir) + "/tqz_fuzz_" + std::to_string(getpid()) + ".tqz";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (size) std::fwrite(data, 1, size, file);
  std::fclose(file);
  codec::ImageHeader header;
  uint8_t* pixels = nullptr;
  try {
    codec::DecodeImageFileWithin(pixels, header, path, codec::ToolLargestSide);
  } catch (const RuntimeError&) {
  }
  std::free(pixels);
  return 0;
}
