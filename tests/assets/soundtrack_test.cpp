// Checks of the soundtrack the build renders into data/lumetra.mp3, decoded with
// libmpg123 as the production's music player does.
#include <mpg123.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;

struct Decoded {
  long Rate = 0;
  int Channels = 0;
  off_t ReportedLength = 0;   // from the LAME/Xing tag
  std::vector<float> Mono;    // (left + right) / 2
  float Peak = 0.0f;
};

// Decoded once for all tests of this program.
const Decoded& Soundtrack() {
  static const Decoded decoded = [] {
    Decoded d;
    mpg123_init();
    int err = MPG123_OK;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    EXPECT_NE(mh, nullptr);
    if (!mh) return d;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_FORCE_FLOAT, 0.0);
    const std::string path = std::string(LUMETRA_BUILD_DIR) + "/data/lumetra.mp3";
    if (mpg123_open(mh, path.c_str()) != MPG123_OK) {
      ADD_FAILURE() << "cannot open " << path;
      mpg123_delete(mh);
      return d;
    }
    int encoding = 0;
    mpg123_getformat(mh, &d.Rate, &d.Channels, &encoding);
    EXPECT_EQ(encoding, MPG123_ENC_FLOAT_32);
    d.ReportedLength = mpg123_length(mh);
    std::vector<unsigned char> buffer(mpg123_outblock(mh));
    for (;;) {
      size_t done = 0;
      err = mpg123_read(mh, buffer.data(), buffer.size(), &done);
      if (err != MPG123_OK && err != MPG123_NEW_FORMAT && err != MPG123_DONE) break;
      const float* f = reinterpret_cast<const float*>(buffer.data());
      const size_t frames = done / sizeof(float) / std::max(1, d.Channels);
      for (size_t i = 0; i < frames; ++i) {
        float sum = 0.0f;
        for (int c = 0; c < d.Channels; ++c) {
          sum += f[i * d.Channels + c];
          d.Peak = std::max(d.Peak, std::fabs(f[i * d.Channels + c]));
        }
        d.Mono.push_back(sum / d.Channels);
      }
      if (err == MPG123_DONE) break;
    }
    EXPECT_EQ(err, MPG123_DONE) << mpg123_plain_strerror(err);
    mpg123_close(mh);
    mpg123_delete(mh);
    return d;
  }();
  return decoded;
}

// Mean power of the mono signal from ms to ms + lengthMs.
double Power(const std::vector<float>& x, double ms, double lengthMs) {
  const size_t a = static_cast<size_t>(ms * kRate / 1000.0);
  const size_t b = std::min(x.size(), static_cast<size_t>((ms + lengthMs) * kRate / 1000.0));
  double sum = 0.0;
  for (size_t i = a; i < b; ++i) sum += double(x[i]) * x[i];
  return b > a ? sum / double(b - a) : 0.0;
}

TEST(Soundtrack, IsStereo44kLongerThanTheTimelineWithExactLength) {
  const Decoded& d = Soundtrack();
  EXPECT_EQ(d.Rate, kRate);
  EXPECT_EQ(d.Channels, 2);
  // Must outlast the 70,000 ms at which the production ends.
  EXPECT_GT(d.Mono.size(), size_t{70} * kRate);
  EXPECT_LT(d.Mono.size(), size_t{80} * kRate);
  // The LAME/Xing tag gives the exact length, and the decoder then drops the
  // encoder delay and padding: decoded and reported lengths agree to the sample.
  EXPECT_EQ(d.ReportedLength, static_cast<off_t>(d.Mono.size()));
}

TEST(Soundtrack, PeakStaysBelowMinusOneDbfs) {
  const Decoded& d = Soundtrack();
  ASSERT_FALSE(d.Mono.empty());
  EXPECT_GT(d.Peak, 0.3f);  // not silent either
  EXPECT_LE(20.0 * std::log10(d.Peak), -1.0);
}

// A sharp rise of energy (crash and kick after a beat without drums) at each
// white flash: the strongest onset near each flash lies within 30 ms of it.
TEST(Soundtrack, AccentsLandOnTheWhiteFlashes) {
  const Decoded& d = Soundtrack();
  ASSERT_GT(d.Mono.size(), size_t{60} * kRate);
  const double kHop = 5.0;  // ms
  for (double flash : {21000.0, 28000.0, 35000.0, 42000.0, 49000.0}) {
    double bestRatio = 0.0, bestMs = 0.0;
    for (double ms = flash - 200.0; ms <= flash + 200.0; ms += kHop) {
      const double before = Power(d.Mono, ms - 50.0, 50.0) + 1e-12;
      const double ratio = Power(d.Mono, ms, kHop) / before;
      if (ratio > bestRatio) {
        bestRatio = ratio;
        bestMs = ms;
      }
    }
    EXPECT_NEAR(bestMs, flash, 30.0) << "onset near " << flash << " ms";
    EXPECT_GT(bestRatio, 10.0) << "weak onset near " << flash << " ms";
    // The accent clearly stands out from the beat before it.
    EXPECT_GT(Power(d.Mono, flash, 100.0), 4.0 * Power(d.Mono, flash - 400.0, 350.0))
        << "at " << flash << " ms";
  }
}

TEST(Soundtrack, QuietOpeningLoudGrooveAndSilentEnd) {
  const Decoded& d = Soundtrack();
  ASSERT_GT(d.Mono.size(), size_t{71} * kRate);
  const double opening = Power(d.Mono, 0.0, 10000.0);
  const double groove = Power(d.Mono, 15000.0, 40000.0);
  const double fade = Power(d.Mono, 69500.0, 500.0);
  EXPECT_GT(opening, 0.0);
  EXPECT_GT(groove, 4.0 * opening);
  EXPECT_LT(fade, groove / 1000.0);                 // 30 dB down in the last half second
  EXPECT_LT(Power(d.Mono, 70500.0, 1400.0), 1e-9);  // and silent after 70 s
}

}  // namespace
