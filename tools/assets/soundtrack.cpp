// lumetra-soundtrack: renders the production's music and writes it as an MP3.
//
//   lumetra-soundtrack OUTPUT.mp3
//
// 72 seconds at 960/7 beats per minute (a beat is 437.5 ms, a bar 1750 ms, so every
// 7-second scene change is a downbeat). The arrangement follows the picture:
//   0 - 14 s      airy pads, wind and bells; from 10.5 s a snare roll and a rising
//                 sweep under the fade to white
//   14.22 s       the drop (crash, kick, bass) as the picture comes out of the white
//   14 - 56 s     the groove, with a crash and kick on every white flash (21, 28, 35,
//                 42, 49 s), each after a beat with the drums and bass left out
//   56 - 70 s     a softer melodic part, faded to silence from 66 s to 70 s
// The file is 44.1 kHz stereo, constant 192 kbit/s, with its LAME/Xing tag (exact
// length and encoder delay for the decoder). The same bytes come out on every run.
#include <lame/lame.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "synth.h"

namespace {

using synth::kPi;
using synth::kSampleRate;

constexpr double kBeat = 0.4375;  // seconds
constexpr double kBar = 4 * kBeat;
constexpr double kLength = 72.0;  // seconds
constexpr double kFadeStart = 66.0, kFadeEnd = 70.0;
constexpr double kDropBeat = 32.5;  // 14218.75 ms, just before the picture leaves the white
const int64_t kTotalSamples = static_cast<int64_t>(kLength * kSampleRate);

// The beat before each of these downbeats leaves out drums and bass, so the accent
// that follows stands out (white flashes at 21, 28, 35, 42, 49 s; the greetings at 56 s).
constexpr std::array<int, 6> kAccentBeats = {48, 64, 80, 96, 112, 128};

int64_t ToSample(double seconds) { return std::llround(seconds * kSampleRate); }

// Mixing buses. "Ducked" instruments are pumped by the kick; sends go to the
// reverb and the delay.
struct Mix {
  std::vector<double> DryL, DryR, DuckL, DuckR, VerbL, VerbR, DelayL, DelayR;
  std::vector<std::pair<double, double>> Kicks;  // start time, ducking depth
  Mix()
      : DryL(kTotalSamples), DryR(kTotalSamples), DuckL(kTotalSamples), DuckR(kTotalSamples),
        VerbL(kTotalSamples), VerbR(kTotalSamples), DelayL(kTotalSamples),
        DelayR(kTotalSamples) {}
};

struct Sends {
  bool Ducked = false;
  double Verb = 0.0;
  double Delay = 0.0;
};

void Put(Mix& m, int64_t n, double l, double r, const Sends& s) {
  if (n < 0 || n >= kTotalSamples) return;
  if (s.Ducked) {
    m.DuckL[n] += l;
    m.DuckR[n] += r;
  } else {
    m.DryL[n] += l;
    m.DryR[n] += r;
  }
  m.VerbL[n] += l * s.Verb;
  m.VerbR[n] += r * s.Verb;
  m.DelayL[n] += l * s.Delay;
  m.DelayR[n] += r * s.Delay;
}

// Equal-power pan, -1 left .. +1 right.
void Pan(double pan, double& gl, double& gr) {
  const double a = (pan + 1.0) * 0.25 * kPi;
  gl = std::cos(a);
  gr = std::sin(a);
}

uint32_t Seed(double t, uint32_t salt) {
  return static_cast<uint32_t>(ToSample(t)) * 2654435761u + salt * 40503u + 1u;
}

// ---- Drums ----------------------------------------------------------------

void Kick(Mix& m, double t, double gain, bool accent) {
  const int64_t start = ToSample(t);
  const int64_t len = ToSample(accent ? 0.8 : 0.45);
  synth::Noise noise(Seed(t, 1));
  double phase = 0.0;
  for (int64_t i = 0; i < len; ++i) {
    const double tt = i / kSampleRate;
    const double hz = 46.0 + 115.0 * std::exp(-tt / 0.032) + 500.0 * std::exp(-tt / 0.003);
    phase += hz / kSampleRate;
    const double amp = std::exp(-tt / (accent ? 0.42 : 0.24)) * std::min(1.0, tt / 0.001);
    const double click = noise.Next() * std::exp(-tt / 0.0025) * 0.3;
    const double v = std::tanh(1.7 * (std::sin(2.0 * kPi * phase) * amp + click)) * gain;
    Put(m, start + i, v, v, {});
  }
  m.Kicks.push_back({t, std::min(1.0, gain)});
}

void Clap(Mix& m, double t, double gain) {
  const int64_t start = ToSample(t);
  const int64_t len = ToSample(0.55);
  synth::Noise nl(Seed(t, 2)), nr(Seed(t, 3));
  synth::Svf fl, fr;
  fl.Set(1250.0, 1.3);
  fr.Set(1350.0, 1.3);
  for (int64_t i = 0; i < len; ++i) {
    const double tt = i / kSampleRate;
    double env = 0.0;
    for (int k = 0; k < 3; ++k) {
      const double d = tt - 0.011 * k;
      if (d >= 0.0) env = std::max(env, std::exp(-d / 0.0045));
    }
    if (tt >= 0.028) env = std::max(env, 0.75 * std::exp(-(tt - 0.028) / 0.11));
    fl.Process(nl.Next());
    fr.Process(nr.Next());
    Put(m, start + i, fl.Band * env * gain * 1.6, fr.Band * env * gain * 1.6, {false, 0.4, 0.0});
  }
}

void Snare(Mix& m, double t, double gain) {
  const int64_t start = ToSample(t);
  const int64_t len = ToSample(0.3);
  synth::Noise noise(Seed(t, 4));
  synth::Svf hp;
  hp.Set(1800.0, 0.7);
  for (int64_t i = 0; i < len; ++i) {
    const double tt = i / kSampleRate;
    hp.Process(noise.Next());
    const double body = std::sin(2.0 * kPi * 190.0 * tt) * std::exp(-tt / 0.045);
    const double v = (hp.High * 0.8 * std::exp(-tt / 0.075) + 0.5 * body) * gain;
    Put(m, start + i, v, v, {false, 0.3, 0.0});
  }
}

void Hat(Mix& m, double t, double gain, bool open, double pan) {
  const int64_t start = ToSample(t);
  const double decay = open ? 0.2 : 0.028;
  const int64_t len = ToSample(decay * 5.0);
  synth::Noise noise(Seed(t, open ? 5 : 6));
  synth::Svf hp, bp;
  hp.Set(7800.0, 0.8);
  bp.Set(11000.0, 2.0);
  double gl, gr;
  Pan(pan, gl, gr);
  for (int64_t i = 0; i < len; ++i) {
    const double tt = i / kSampleRate;
    const double x = noise.Next();
    hp.Process(x);
    bp.Process(x);
    const double v = (hp.High + 0.6 * bp.Band) * std::exp(-tt / decay) * gain;
    Put(m, start + i, v * gl, v * gr, {false, 0.12, 0.0});
  }
}

void Crash(Mix& m, double t, double gain) {
  const int64_t start = ToSample(t);
  const int64_t len = ToSample(3.6);
  synth::Noise nl(Seed(t, 7)), nr(Seed(t, 8));
  synth::Svf hl, hr, ml;
  ml.Set(6000.0, 0.7);
  hl.Set(3800.0, 0.7);
  hr.Set(3800.0, 0.7);
  // Square waves at inharmonic ratios give the metallic ring.
  static const double kMetal[6] = {263.0, 401.0, 519.0, 687.0, 907.0, 1163.0};
  double phases[6] = {};
  for (int64_t i = 0; i < len; ++i) {
    const double tt = i / kSampleRate;
    double metal = 0.0;
    for (int k = 0; k < 6; ++k) {
      phases[k] += kMetal[k] * 3.1 / kSampleRate;
      if (phases[k] >= 1.0) phases[k] -= 1.0;
      metal += phases[k] < 0.5 ? 1.0 : -1.0;
    }
    ml.Process(metal / 6.0);
    hl.Process(nl.Next());
    hr.Process(nr.Next());
    const double env = std::exp(-tt / 0.8) * std::min(1.0, tt / 0.0015);
    const double l = (hl.High + 0.35 * ml.High) * env * gain;
    const double r = (hr.High + 0.35 * ml.High) * env * gain;
    Put(m, start + i, l, r, {false, 0.25, 0.0});
  }
}

// ---- Tonal voices -----------------------------------------------------------

void Bass(Mix& m, double t, double dur, int note, double gain, double cutoff, double envAmount) {
  const int64_t start = ToSample(t);
  const int64_t len = ToSample(dur + 0.03);
  const double hz = synth::MidiToHz(note);
  synth::Saw saw;
  synth::Sine sub;
  synth::Svf lp;
  for (int64_t i = 0; i < len; ++i) {
    const double tt = i / kSampleRate;
    const double x = saw.Next(hz) * 0.7 + sub.Next(hz * 0.5) * 0.8;
    if (i % synth::kControlRate == 0) lp.Set(cutoff + envAmount * std::exp(-tt / 0.07), 1.8);
    lp.Process(x);
    double amp = std::min(1.0, tt / 0.003);
    if (tt > dur) amp *= std::max(0.0, 1.0 - (tt - dur) / 0.03);
    const double v = lp.Low * amp * gain;
    Put(m, start + i, v, v, {true, 0.0, 0.0});
  }
}

// A chord of detuned saws, spread left and right, with a slowly moving low-pass
// whose cutoff glides from cutoffStart to cutoffEnd over the chord.
void Pad(Mix& m, double t, double dur, const std::vector<int>& notes, double gain,
         double cutoffStart, double cutoffEnd) {
  const double attack = 0.45, release = 1.0;
  const int64_t start = ToSample(t);
  const int64_t len = ToSample(dur + release);
  for (size_t v = 0; v < notes.size(); ++v) {
    const double hz = synth::MidiToHz(notes[v]);
    synth::Saw s[3];
    for (int k = 0; k < 3; ++k) s[k].Phase = std::fmod(0.37 * (notes[v] + 3 * k), 1.0);
    synth::Svf fl, fr;
    const double detune = std::pow(2.0, 9.0 / 1200.0);
    for (int64_t i = 0; i < len; ++i) {
      const double tt = i / kSampleRate;
      const double a = s[0].Next(hz / detune), b = s[1].Next(hz), c = s[2].Next(hz * detune);
      if (i % synth::kControlRate == 0) {
        const double glide = cutoffStart + (cutoffEnd - cutoffStart) * std::min(1.0, tt / dur);
        const double lfo = 1.0 + 0.18 * std::sin(2.0 * kPi * 0.23 * tt + notes[v]);
        fl.Set(glide * lfo, 0.9);
        fr.Set(glide * (2.0 - lfo), 0.9);
      }
      fl.Process(a + 0.6 * b);
      fr.Process(c + 0.6 * b);
      double amp = std::min(1.0, tt / attack);
      amp = amp * amp * (3.0 - 2.0 * amp);
      if (tt > dur) amp *= std::max(0.0, 1.0 - (tt - dur) / release);
      Put(m, start + i, fl.Low * amp * gain, fr.Low * amp * gain, {true, 0.55, 0.0});
    }
  }
}

// Plucked pulse with a snappy filter envelope, for the arpeggios.
void Pluck(Mix& m, double t, int note, double gain, double pan, double brightness) {
  const int64_t start = ToSample(t);
  const double decay = 0.18;
  const int64_t len = ToSample(decay * 4.0);
  const double hz = synth::MidiToHz(note);
  synth::Saw a, b;
  b.Phase = 0.5;
  synth::Svf lp;
  double gl, gr;
  Pan(pan, gl, gr);
  for (int64_t i = 0; i < len; ++i) {
    const double tt = i / kSampleRate;
    if (i % synth::kControlRate == 0) lp.Set(350.0 + brightness * std::exp(-tt / 0.09), 2.4);
    lp.Process(a.Next(hz) - b.Next(hz));
    const double tail = std::min(1.0, (len - i) / (0.02 * kSampleRate));
    const double v = lp.Low * std::exp(-tt / decay) * std::min(1.0, tt / 0.002) * tail * gain;
    Put(m, start + i, v * gl, v * gr, {true, 0.2, 0.35});
  }
}

// Two-operator FM bell for the airy parts.
void Bell(Mix& m, double t, int note, double gain, double pan) {
  const int64_t start = ToSample(t);
  const int64_t len = ToSample(4.0);
  const double hz = synth::MidiToHz(note);
  double gl, gr;
  Pan(pan, gl, gr);
  for (int64_t i = 0; i < len; ++i) {
    const double tt = i / kSampleRate;
    const double mod = std::sin(2.0 * kPi * 3.5 * hz * tt) * 2.2 * std::exp(-tt / 0.35);
    const double v = std::sin(2.0 * kPi * hz * tt + mod) * std::exp(-tt / 1.3) *
                     std::min(1.0, tt / 0.002) * gain;
    Put(m, start + i, v * gl, v * gr, {false, 0.5, 0.4});
  }
}

// Bright two-saw lead with delayed vibrato.
void Lead(Mix& m, double t, double dur, int note, double gain) {
  const int64_t start = ToSample(t);
  const int64_t len = ToSample(dur + 0.15);
  const double hz = synth::MidiToHz(note);
  const double detune = std::pow(2.0, 7.0 / 1200.0);
  synth::Saw a, b;
  b.Phase = 0.3;
  synth::Svf fl, fr;
  for (int64_t i = 0; i < len; ++i) {
    const double tt = i / kSampleRate;
    const double vib = std::pow(2.0, 0.18 / 12.0 * std::sin(2.0 * kPi * 5.5 * tt) *
                                         std::min(1.0, std::max(0.0, tt - 0.2) / 0.3));
    if (i % synth::kControlRate == 0) {
      const double cutoff = 1800.0 + 2200.0 * std::exp(-tt / 0.15);
      fl.Set(cutoff, 1.1);
      fr.Set(cutoff, 1.1);
    }
    fl.Process(a.Next(hz * vib / detune));
    fr.Process(b.Next(hz * vib * detune));
    double amp = std::min(1.0, tt / 0.008);
    if (tt > dur) amp *= std::max(0.0, 1.0 - (tt - dur) / 0.15);
    Put(m, start + i, fl.Low * amp * gain, fr.Low * amp * gain, {true, 0.25, 0.3});
  }
}

// Soft, flute-like voice for the melodic part.
void SoftLead(Mix& m, double t, double dur, int note, double gain) {
  const int64_t start = ToSample(t);
  const double release = 0.35;
  const int64_t len = ToSample(dur + release);
  const double hz = synth::MidiToHz(note);
  synth::Noise breath(Seed(t, 9));
  synth::Svf bp;
  bp.Set(hz * 2.0, 4.0);
  double phase = 0.0;
  for (int64_t i = 0; i < len; ++i) {
    const double tt = i / kSampleRate;
    const double vib = 1.0 + 0.004 * std::sin(2.0 * kPi * 5.0 * tt) * std::min(1.0, tt / 0.5);
    phase += hz * vib / kSampleRate;
    const double p = 2.0 * kPi * phase;
    bp.Process(breath.Next());
    double amp = std::min(1.0, tt / 0.05);
    if (tt > dur) amp *= std::max(0.0, 1.0 - (tt - dur) / release);
    const double v =
        (std::sin(p) + 0.25 * std::sin(2.0 * p) + 0.08 * std::sin(3.0 * p) + 0.15 * bp.Band) *
        amp * gain;
    Put(m, start + i, v, v, {false, 0.4, 0.4});
  }
}

// Band-passed stereo noise drifting slowly, the "air" of the opening.
void Wind(Mix& m, double t0, double t1, double gain) {
  synth::Noise nl(11), nr(12);
  synth::Svf fl, fr;
  for (int64_t n = ToSample(t0); n < ToSample(t1); ++n) {
    const double t = n / kSampleRate;
    if (n % synth::kControlRate == 0) {
      const double sweep =
          std::sin(2.0 * kPi * 0.06 * t) + 0.4 * std::sin(2.0 * kPi * 0.17 * t);
      fl.Set(800.0 * std::pow(2.0, sweep), 1.6);
      fr.Set(800.0 * std::pow(2.0, -sweep * 0.8), 1.6);
    }
    fl.Process(nl.Next());
    fr.Process(nr.Next());
    const double amp = std::min(1.0, (t - t0) / 3.0) * std::min(1.0, (t1 - t) / 0.3);
    Put(m, n, fl.Band * amp * gain, fr.Band * amp * gain, {false, 0.3, 0.0});
  }
}

// The build-up sweep: band-passed noise and a saw both rising, growing louder.
void Riser(Mix& m, double t0, double t1, double gain) {
  synth::Noise nl(13), nr(14);
  synth::Svf fl, fr, saw_lp;
  synth::Saw saw;
  for (int64_t n = ToSample(t0); n < ToSample(t1); ++n) {
    const double x = (n / kSampleRate - t0) / (t1 - t0);
    if (n % synth::kControlRate == 0) {
      const double cutoff = 250.0 * std::pow(36.0, x);
      fl.Set(cutoff, 2.5);
      fr.Set(cutoff * 1.08, 2.5);
      saw_lp.Set(600.0 + 5000.0 * x, 1.0);
    }
    fl.Process(nl.Next());
    fr.Process(nr.Next());
    saw_lp.Process(saw.Next(synth::MidiToHz(45.0 + 36.0 * x)));
    const double amp = x * x * std::min(1.0, (1.0 - x) * (t1 - t0) / 0.004) * gain;
    Put(m, n, (fl.Band + 0.25 * saw_lp.Low) * amp, (fr.Band + 0.25 * saw_lp.Low) * amp,
        {false, 0.35, 0.0});
  }
}

// ---- Arrangement --------------------------------------------------------------

double Beat(double beat) { return beat * kBeat; }

bool InGap(double beat) {
  for (int a : kAccentBeats)
    if (beat >= a - 1 && beat < a) return true;
  return false;
}

struct Chord {
  std::vector<int> Pad;
  int Root;                  // bass note
  std::array<int, 4> Tones;  // arpeggio and melody tones
};

// A minor: Am9, Fmaj7, C, G for the opening and the groove; F, G, Em, Am for the end.
const Chord kAm{{57, 60, 64, 71}, 33, {69, 72, 76, 81}};
const Chord kF{{53, 57, 60, 64}, 29, {65, 69, 72, 77}};
const Chord kC{{55, 60, 64, 67}, 36, {67, 72, 76, 79}};
const Chord kG{{55, 59, 62, 67}, 31, {67, 71, 74, 79}};
const Chord kEm{{52, 55, 59, 64}, 28, {64, 67, 71, 76}};
const Chord kAm2{{57, 60, 64, 69}, 33, {69, 72, 76, 81}};
const Chord* const kMain[4] = {&kAm, &kF, &kC, &kG};
const Chord* const kSoft[4] = {&kF, &kG, &kEm, &kAm2};

struct Note {
  double Beat, Length;
  int Pitch;
};

// The groove's hook, one bar per chord of the main progression.
const std::vector<Note> kHook[4] = {
    {{0, 0.75, 76}, {0.75, 0.75, 74}, {1.5, 0.5, 72}, {2, 1, 74}, {3, 1, 76}},
    {{0, 0.75, 77}, {0.75, 0.75, 76}, {1.5, 0.5, 72}, {2, 2, 69}},
    {{0, 0.75, 79}, {0.75, 0.75, 76}, {1.5, 0.5, 72}, {2, 1, 76}, {3, 1, 79}},
    {{0, 0.75, 74}, {0.75, 0.75, 71}, {1.5, 0.5, 67}, {2, 1, 71}, {3, 1, 74}},
};

// The melody of the soft part, eight bars over F, G, Em, Am twice.
const std::vector<Note> kMelody[8] = {
    {{0, 1.5, 76}, {1.5, 0.5, 74}, {2, 1, 72}, {3, 1, 69}},
    {{0, 1.5, 71}, {1.5, 0.5, 72}, {2, 2, 74}},
    {{0, 1, 79}, {1, 1, 76}, {2, 1, 74}, {3, 1, 71}},
    {{0, 1.5, 72}, {1.5, 0.5, 71}, {2, 2, 69}},
    {{0, 1.5, 76}, {1.5, 0.5, 77}, {2, 1, 76}, {3, 1, 72}},
    {{0, 1.5, 74}, {1.5, 0.5, 76}, {2, 2, 79}},
    {{0, 1, 79}, {1, 1, 76}, {2, 1, 74}, {3, 1, 71}},
    {{0, 1, 76}, {1, 1, 72}, {2, 2, 69}},
};

void Arrange(Mix& m) {
  const int kIntroBars = 8, kGrooveEnd = 32, kBars = 40;

  // Opening: wind and pads, then bells; the build-up from bar 6.
  Wind(m, 0.0, Beat(kDropBeat), 0.22);
  for (int bar = 0; bar < kIntroBars; bar += 2) {
    const Chord& c = *kMain[bar / 2];
    const double lo = 700.0 + 150.0 * bar, hi = lo + 300.0;
    Pad(m, bar * kBar, 2 * kBar, c.Pad, 0.075, lo, hi);
  }
  for (int bar = 2; bar < kIntroBars; ++bar) {
    const Chord& c = *kMain[bar / 2];
    const double g = 0.05 + 0.01 * bar;
    Bell(m, bar * kBar, c.Tones[2], g, -0.5);
    Bell(m, bar * kBar + Beat(1.5), c.Tones[1] + 12, g * 0.7, 0.5);
    Bell(m, bar * kBar + Beat(3), c.Tones[3], g * 0.8, 0.1);
  }
  for (int beat = 16; beat < 32; ++beat) {
    Hat(m, Beat(beat + 0.5), 0.04 + 0.004 * (beat - 16), false, 0.3);
    if (beat >= 24 && beat % 2 == 0) Kick(m, Beat(beat), 0.35 + 0.02 * (beat - 24), false);
  }
  // Snare roll: eighths, then sixteenths, then thirty-seconds, growing.
  for (double b = 24; b < 32; b += (b < 28 ? 0.5 : (b < 30 ? 0.25 : 0.125)))
    Snare(m, Beat(b), 0.08 + 0.3 * (b - 24) / 8.0);
  // The sweep stops a sixteenth before the drop: a breath of near silence.
  Riser(m, 7 * kBar, Beat(kDropBeat - 0.25), 0.5);

  // The drop.
  Crash(m, Beat(kDropBeat), 0.32);
  Kick(m, Beat(kDropBeat), 1.0, true);
  Bass(m, Beat(kDropBeat), 0.5 * kBeat, kAm.Root, 0.45, 300.0, 1500.0);

  // The groove, bars 8 to 31 in blocks of four bars (one scene each).
  for (int bar = kIntroBars; bar < kGrooveEnd; ++bar) {
    const int block = bar / 4;  // 2 .. 7
    const Chord& c = *kMain[bar % 4];
    const bool bright = block == 5 || block == 7;
    Pad(m, bar * kBar, kBar, c.Pad, 0.06, bright ? 2600.0 : 1800.0, bright ? 3200.0 : 2200.0);
    for (int k = 0; k < 4; ++k) {
      const int beat = bar * 4 + k;
      if (InGap(beat) || beat < 33) continue;
      const bool accent = beat % 16 == 0;
      if (accent) Crash(m, Beat(beat), 0.32);
      Kick(m, Beat(beat), accent ? 1.0 : 0.85, accent);
      if (block >= 3 && k % 2 == 1) Clap(m, Beat(beat), 0.32);
      const double hatGain = block == 2 ? 0.09 : 0.12;
      Hat(m, Beat(beat + 0.5), hatGain * 1.2, true, 0.25);
      Hat(m, Beat(beat + 0.25), hatGain * 0.6, false, -0.35);
      Hat(m, Beat(beat + 0.75), hatGain * 0.7, false, -0.35);
      const double cutoff = 260.0 + 40.0 * (block - 2);
      for (int s = 1; s < 4; ++s)
        Bass(m, Beat(beat + 0.25 * s), 0.2 * kBeat, c.Root + (s == 2 ? 12 : 0), 0.32, cutoff,
             900.0 + 150.0 * (block - 2));
    }
    if (block >= 3) {
      static const int kArp[8] = {0, 1, 2, 3, 2, 1, 2, 3};
      for (int s = 0; s < 16; ++s) {
        const double beat = bar * 4 + s * 0.25;
        if (InGap(beat)) continue;
        const int octave = (s / 8) * 12 - 12;
        Pluck(m, Beat(beat), c.Tones[kArp[s % 8]] + octave, 0.07, s % 2 ? 0.45 : -0.45,
              block == 6 ? 4500.0 : 2800.0);
      }
    }
    if (block == 4 || block == 5 || block == 7)
      for (const Note& n : kHook[bar % 4])
        Lead(m, bar * kBar + Beat(n.Beat), n.Length * kBeat * 0.9, n.Pitch, 0.075);
    if (block == 6)
      Bell(m, bar * kBar + Beat(2), c.Tones[3] + 12, 0.05, 0.6);
  }

  // The soft melodic part from 56 s.
  Crash(m, Beat(128), 0.2);
  for (int bar = kGrooveEnd; bar < kBars; ++bar) {
    const int i = bar - kGrooveEnd;
    const Chord& c = *kSoft[i % 4];
    Pad(m, bar * kBar, kBar, c.Pad, 0.07, 1300.0, 1500.0);
    Bass(m, bar * kBar, 1.9 * kBeat, c.Root, 0.3, 220.0, 500.0);
    Bass(m, bar * kBar + Beat(2), 1.9 * kBeat, c.Root, 0.26, 220.0, 400.0);
    for (const Note& n : kMelody[i]) SoftLead(m, bar * kBar + Beat(n.Beat), n.Length * kBeat * 0.95, n.Pitch, 0.09);
    for (int k = 0; k < 4; ++k) {
      const int beat = bar * 4 + k;
      if (k == 0) Kick(m, Beat(beat), 0.5, false);
      if (k == 2) Clap(m, Beat(beat), 0.16);
      Hat(m, Beat(beat + 0.5), 0.07, false, 0.3);
      Pluck(m, Beat(beat + 0.5), c.Tones[(k + i) % 4], 0.04, k % 2 ? 0.5 : -0.5, 1500.0);
    }
  }
}

// Sums the buses through ducking, delay and reverb, fades out, gently saturates
// and scales to a -2.5 dBFS peak (the MP3 adds a little on top).
void Master(Mix& m, std::vector<float>& outL, std::vector<float>& outR) {
  synth::Reverb reverb(0.86, 0.3);
  synth::PingPongDelay delay(static_cast<int>(ToSample(0.75 * kBeat)), 0.42);
  std::vector<double> l(kTotalSamples), r(kTotalSamples);
  size_t nextKick = 0;
  double kickTime = -10.0, kickDepth = 0.0;
  std::sort(m.Kicks.begin(), m.Kicks.end());
  for (int64_t n = 0; n < kTotalSamples; ++n) {
    const double t = n / kSampleRate;
    while (nextKick < m.Kicks.size() && m.Kicks[nextKick].first <= t) {
      kickTime = m.Kicks[nextKick].first;
      kickDepth = m.Kicks[nextKick].second;
      ++nextKick;
    }
    const double since = t - kickTime;
    const double duck =
        1.0 - 0.55 * kickDepth * std::exp(-since / 0.11) * std::min(1.0, since / 0.004);
    double dl, dr, vl, vr;
    delay.Process(m.DelayL[n], m.DelayR[n], dl, dr);
    reverb.Process(m.VerbL[n] + 0.3 * dl, m.VerbR[n] + 0.3 * dr, vl, vr);
    l[n] = m.DryL[n] + m.DuckL[n] * duck + 0.55 * dl + 1.1 * vl;
    r[n] = m.DryR[n] + m.DuckR[n] * duck + 0.55 * dr + 1.1 * vr;
    if (t >= kFadeEnd) {
      l[n] = r[n] = 0.0;
    } else if (t > kFadeStart) {
      const double g = 0.5 + 0.5 * std::cos(kPi * (t - kFadeStart) / (kFadeEnd - kFadeStart));
      l[n] *= g;
      r[n] *= g;
    }
  }
  // Remove the little DC the asymmetric kick leaves (one-pole high-pass near 8 Hz).
  for (std::vector<double>* ch : {&l, &r}) {
    double x1 = 0.0, y1 = 0.0;
    for (double& v : *ch) {
      const double y = v - x1 + 0.9989 * y1;
      x1 = v;
      v = y1 = y;
    }
  }
  double peak = 1e-9;
  for (int64_t n = 0; n < kTotalSamples; ++n)
    peak = std::max({peak, std::fabs(l[n]), std::fabs(r[n])});
  const double drive = 1.4, target = std::pow(10.0, -2.5 / 20.0);
  const double scale = target / std::tanh(drive);
  outL.resize(kTotalSamples);
  outR.resize(kTotalSamples);
  for (int64_t n = 0; n < kTotalSamples; ++n) {
    outL[n] = static_cast<float>(std::tanh(drive * l[n] / peak) * scale);
    outR[n] = static_cast<float>(std::tanh(drive * r[n] / peak) * scale);
  }
}

bool WriteMp3(const std::string& path, const std::vector<float>& l, const std::vector<float>& r) {
  lame_global_flags* gf = lame_init();
  if (!gf) return false;
  lame_set_in_samplerate(gf, 44100);
  lame_set_out_samplerate(gf, 44100);
  lame_set_num_channels(gf, 2);
  lame_set_mode(gf, JOINT_STEREO);
  lame_set_VBR(gf, vbr_off);
  lame_set_brate(gf, 192);
  lame_set_quality(gf, 5);
  lame_set_bWriteVbrTag(gf, 1);
  lame_set_write_id3tag_automatic(gf, 0);
  if (lame_init_params(gf) < 0) {
    lame_close(gf);
    return false;
  }
  std::vector<unsigned char> mp3;
  const int kChunk = 8192;
  std::vector<unsigned char> buffer(kChunk * 5 / 4 + 7200);
  for (size_t pos = 0; pos < l.size(); pos += kChunk) {
    const int count = static_cast<int>(std::min<size_t>(kChunk, l.size() - pos));
    const int bytes = lame_encode_buffer_ieee_float(gf, &l[pos], &r[pos], count, buffer.data(),
                                                    static_cast<int>(buffer.size()));
    if (bytes < 0) {
      lame_close(gf);
      return false;
    }
    mp3.insert(mp3.end(), buffer.begin(), buffer.begin() + bytes);
  }
  const int tail = lame_encode_flush(gf, buffer.data(), static_cast<int>(buffer.size()));
  if (tail < 0) {
    lame_close(gf);
    return false;
  }
  mp3.insert(mp3.end(), buffer.begin(), buffer.begin() + tail);
  // The encoder reserved the first frame for the LAME/Xing tag; fill it in now
  // that the length and delay are known.
  unsigned char tag[2880];
  const size_t tagBytes = lame_get_lametag_frame(gf, tag, sizeof tag);
  lame_close(gf);
  if (tagBytes == 0 || tagBytes > mp3.size()) return false;
  std::copy(tag, tag + tagBytes, mp3.begin());

  // Write beside the target and rename, so a failed run never leaves a half file
  // that looks up to date.
  const std::string temp = path + ".part";
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(mp3.data(), 1, mp3.size(), f) == mp3.size();
  if (std::fclose(f) != 0 || !ok) {
    std::remove(temp.c_str());
    return false;
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  return !ec;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.mp3\n", argv[0]);
    return 2;
  }
  const std::filesystem::path out = argv[1];
  if (out.has_parent_path()) {
    std::error_code ec;
    std::filesystem::create_directories(out.parent_path(), ec);
  }
  Mix mix;
  Arrange(mix);
  std::vector<float> l, r;
  Master(mix, l, r);
  if (!WriteMp3(out.string(), l, r)) {
    std::fprintf(stderr, "%s: could not encode or write %s\n", argv[0], out.c_str());
    return 1;
  }
  return 0;
}
