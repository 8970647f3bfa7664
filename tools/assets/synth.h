// Small building blocks for the soundtrack synthesiser: noise, oscillators, a
// state-variable filter, a stereo reverb and a ping-pong delay. Everything is
// plain double arithmetic with our own noise generator, so a render gives the
// same samples on every run.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace synth {

constexpr double kSampleRate = 44100.0;
constexpr double kPi = 3.14159265358979323846;

inline double MidiToHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// xorshift32 white noise in [-1, 1).
class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}
  double Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_ * (2.0 / 4294967296.0) - 1.0;
  }

 private:
  uint32_t state_;
};

// Band-limited step correction for the saw and pulse oscillators.
inline double PolyBlep(double t, double dt) {
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1.0;
  }
  if (t > 1.0 - dt) {
    t = (t - 1.0) / dt;
    return t * t + t + t + 1.0;
  }
  return 0.0;
}

struct Saw {
  double Phase = 0.0;
  double Next(double hz) {
    const double dt = hz / kSampleRate;
    double v = 2.0 * Phase - 1.0 - PolyBlep(Phase, dt);
    Phase += dt;
    if (Phase >= 1.0) Phase -= 1.0;
    return v;
  }
};

struct Sine {
  double Phase = 0.0;
  double Next(double hz) {
    double v = std::sin(2.0 * kPi * Phase);
    Phase += hz / kSampleRate;
    if (Phase >= 1.0) Phase -= 1.0;
    return v;
  }
};

// Topology-preserving state-variable filter. Set() computes the coefficients
// (call it at control rate when the cutoff moves); Process() runs one sample.
struct Svf {
  double Ic1 = 0.0, Ic2 = 0.0;
  double Low = 0.0, Band = 0.0, High = 0.0;
  double A1 = 0.0, A2 = 0.0, A3 = 0.0, K = 1.0;
  void Set(double cutoff, double q) {
    cutoff = std::clamp(cutoff, 10.0, 0.45 * kSampleRate);
    const double g = std::tan(kPi * cutoff / kSampleRate);
    K = 1.0 / q;
    A1 = 1.0 / (1.0 + g * (g + K));
    A2 = g * A1;
    A3 = g * A2;
  }
  void Process(double x) {
    const double v3 = x - Ic2;
    const double v1 = A1 * Ic1 + A2 * v3;
    const double v2 = Ic2 + A2 * Ic1 + A3 * v3;
    Ic1 = 2.0 * v1 - Ic1;
    Ic2 = 2.0 * v2 - Ic2;
    Low = v2;
    Band = v1;
    High = x - K * v1 - v2;
  }
};

// Control rate for moving filter cutoffs, in samples.
constexpr int kControlRate = 16;

// One-pole low-pass used for damping inside feedback loops.
struct OnePole {
  double State = 0.0;
  double Process(double x, double coefficient) {
    State += coefficient * (x - State);
    return State;
  }
};

// Stereo reverb: eight damped feedback combs and four all-passes per side, the
// right side a little longer than the left for width.
class Reverb {
 public:
  Reverb(double roomFeedback, double damping) : feedback_(roomFeedback), damping_(damping) {
    static const int kCombs[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static const int kAllPasses[4] = {556, 441, 341, 225};
    for (int side = 0; side < 2; ++side) {
      const int spread = side * 23;
      for (int i = 0; i < 8; ++i) combs_[side][i].Buffer.assign(kCombs[i] + spread, 0.0);
      for (int i = 0; i < 4; ++i) allPasses_[side][i].Buffer.assign(kAllPasses[i] + spread, 0.0);
    }
  }

  void Process(double inL, double inR, double& outL, double& outR) {
    const double input = (inL + inR) * 0.015;
    double out[2];
    for (int side = 0; side < 2; ++side) {
      double acc = 0.0;
      for (Comb& c : combs_[side]) {
        double y = c.Buffer[c.Index];
        c.Filter = y * (1.0 - damping_) + c.Filter * damping_;
        c.Buffer[c.Index] = input + c.Filter * feedback_;
        if (++c.Index == c.Buffer.size()) c.Index = 0;
        acc += y;
      }
      for (AllPass& a : allPasses_[side]) {
        double b = a.Buffer[a.Index];
        a.Buffer[a.Index] = acc + b * 0.5;
        if (++a.Index == a.Buffer.size()) a.Index = 0;
        acc = b - acc;
      }
      out[side] = acc;
    }
    outL = out[0];
    outR = out[1];
  }

 private:
  struct Comb {
    std::vector<double> Buffer;
    size_t Index = 0;
    double Filter = 0.0;
  };
  struct AllPass {
    std::vector<double> Buffer;
    size_t Index = 0;
  };
  double feedback_, damping_;
  Comb combs_[2][8];
  AllPass allPasses_[2][4];
};

// Ping-pong delay: the echo alternates sides, each repeat darker than the last.
class PingPongDelay {
 public:
  PingPongDelay(int delaySamples, double feedback)
      : left_(delaySamples, 0.0), right_(delaySamples, 0.0), feedback_(feedback) {}

  void Process(double inL, double inR, double& outL, double& outR) {
    const double dl = left_[index_];
    const double dr = right_[index_];
    const double mono = (inL + inR) * 0.5;
    left_[index_] = mono + dampR_.Process(dr, 0.35) * feedback_;
    right_[index_] = dampL_.Process(dl, 0.35) * feedback_;
    if (++index_ == left_.size()) index_ = 0;
    outL = dl;
    outR = dr;
  }

 private:
  std::vector<double> left_, right_;
  size_t index_ = 0;
  double feedback_;
  OnePole dampL_, dampR_;
};

}  // namespace synth
