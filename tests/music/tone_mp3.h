// Small MP3 files for the music and end-to-end tests, encoded with libmp3lame.
#pragma once

#include <string>

namespace testsupport {

// A sine tone of the given length, rate and channel count, with the encoder's tag
// frame (so decoders know the exact length) unless `tagged` is false; its pitch rises
// by `stepHz` at each whole second, and each second begins with `gapMs` of silence
// (the tone then starts again from phase 0). False if the file cannot be written.
bool WriteToneMp3(const std::string& path, double seconds, int rate = 44100, int channels = 2,
                  double frequencyHz = 440.0, double amplitude = 0.5, bool tagged = true,
                  double stepHz = 0.0, double gapMs = 0.0);

}  // namespace testsupport
