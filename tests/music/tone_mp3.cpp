#include "music/tone_mp3.h"

#include <lame/lame.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <vector>

namespace testsupport {

bool WriteToneMp3(const std::string& path, double seconds, int rate, int channels,
                  double frequencyHz, double amplitude, bool tagged, double stepHz,
                  double gapMs) {
  lame_global_flags* lame = lame_init();
  if (!lame) return false;
  lame_set_in_samplerate(lame, rate);
  lame_set_out_samplerate(lame, rate);
  lame_set_num_channels(lame, channels);
  lame_set_mode(lame, channels == 1 ? MONO : JOINT_STEREO);
  lame_set_brate(lame, 128);
  lame_set_quality(lame, 5);
  lame_set_bWriteVbrTag(lame, tagged ? 1 : 0);
  if (lame_init_params(lame) < 0) {
    lame_close(lame);
    return false;
  }

  const int frames = static_cast<int>(seconds * rate);
  std::vector<short> left(frames), right(frames);
  double phase = 0;
  const int gapFrames = static_cast<int>(gapMs * rate / 1000);
  for (int i = 0; i < frames; ++i) {
    if (i % rate < gapFrames) phase = 0;
    double s = i % rate < gapFrames ? 0.0 : amplitude * std::sin(phase);
    phase += 2.0 * std::numbers::pi * (frequencyHz + stepHz * (i / rate)) / rate;
    left[i] = right[i] = static_cast<short>(std::lround(s * 32767.0));
  }
  std::vector<unsigned char> mp3(static_cast<size_t>(1.25 * frames + 7200) + 16384);
  int bytes = lame_encode_buffer(lame, left.data(), channels == 1 ? nullptr : right.data(), frames,
                                 mp3.data(), static_cast<int>(mp3.size()));
  int tail = bytes < 0 ? -1 : lame_encode_flush(lame, mp3.data() + bytes,
                                                static_cast<int>(mp3.size()) - bytes);
  std::FILE* file = tail < 0 ? nullptr : std::fopen(path.c_str(), "wb+");
  bool ok = file && std::fwrite(mp3.data(), 1, static_cast<size_t>(bytes + tail), file) ==
                        static_cast<size_t>(bytes + tail);
  if (ok && tagged) lame_mp3_tags_fid(lame, file);  // fills the tag frame at the file's start
  if (file) ok = (std::fclose(file) == 0) && ok;
  lame_close(lame);
  return ok;
}

}  // namespace testsupport
