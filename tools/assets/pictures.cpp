// lumetra-pictures: draws the production's nine pictures and encodes them as .tqz.
//
//   lumetra-pictures FONT_DIR DATA_DIR [PREVIEW_DIR]
//
// FONT_DIR holds the DejaVu fonts; DATA_DIR receives loading.tqz, intro1.tqz, ...
// With PREVIEW_DIR every picture is also written there as NAME.png (as drawn) and
// NAME-decoded.png (as the production's decoder gives it back), and report.txt lists
// each file's size, bits per pixel and PSNR against its source.
//
// Everything is drawn for additive blending over black: black adds nothing, colour
// adds light. Pictures that a scene repeats across a surface are drawn periodic.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "common/png_io.h"
#include "framework/binfile/binfile.h"
#include "raster.h"

namespace {

using raster::Canvas;
using raster::Font;
using raster::Mask;
using raster::Rgb;

constexpr float kPi = 3.14159265f;

std::string gFontDir;

std::string FontPath(const char* name) { return gFontDir + "/" + name; }
const char* const kBold = "DejaVuSans-Bold.ttf";
const char* const kRegular = "DejaVuSans.ttf";

float SmoothStep(float e0, float e1, float x) {
  const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
  return t * t * (3.0f - 2.0f * t);
}

// Largest size not above maxSize at which text fits in maxWidth.
float FitSize(const char* font, const std::string& text, float maxSize, float maxWidth,
              float tracking = 0.0f, float hscale = 1.0f) {
  Font probe(FontPath(font), maxSize, hscale);
  const float w = probe.Width(text, tracking);
  return w <= maxWidth ? maxSize : maxSize * maxWidth / w;
}

// A line of text with a white-hot core and two layers of coloured glow.
void GlowText(Canvas& canvas, const Mask& text, Rgb core, Rgb glow, float near = 1.0f,
              float far = 0.7f, float nearSigma = 2.5f, float farSigma = 10.0f) {
  canvas.AddMask(raster::Blur(text, farSigma), glow, far * 1.6f);
  canvas.AddMask(raster::Blur(text, nearSigma), glow, near);
  canvas.AddMask(text, core);
}

// Scales light down to nothing within margin pixels of the rows top and bottom, so
// that a picture cut into bands never bleeds into its neighbour.
void ClearBandEdges(Canvas& canvas, int top, int bottom, float margin) {
  for (int y = top; y < bottom; ++y) {
    const float d = std::min(y - top + 0.5f, bottom - y - 0.5f);
    const float k = SmoothStep(1.0f, margin, d);
    for (int x = 0; x < canvas.Width; ++x) canvas.At(x, y) = canvas.At(x, y) * k;
  }
}

// Thin horizontal line fading out towards both ends.
void FadedLine(Canvas& canvas, float x0, float x1, float y, float thickness, Rgb colour) {
  canvas.AddFunction([=](float x, float py) {
    if (x < x0 || x > x1) return Rgb{};
    const float along = std::sin(kPi * (x - x0) / (x1 - x0));
    const float across = std::exp(-0.5f * std::pow((py - y) / thickness, 2.0f));
    return colour * (along * across);
  });
}

// ---- The pictures -----------------------------------------------------------

Canvas DrawLoading() {
  const int n = 512;
  Canvas c(n, n);
  // A faint blue haze behind the title, gone well before the edges.
  c.AddFunction([n](float x, float y) {
    const float r = std::hypot(x - n / 2.0f, (y - n * 0.47f) * 1.6f) / (n * 0.45f);
    const float k = std::pow(std::max(0.0f, 1.0f - r), 2.0f) * 0.16f;
    return Rgb{0.15f, 0.3f, 0.9f} * k;
  });
  Mask title(n, n);
  const float size = FitSize(kBold, "Lumetra", 110.0f, 380.0f, 6.0f);
  Font bold(FontPath(kBold), size);
  bold.Draw(title, "Lumetra", n / 2.0f, 262.0f, 6.0f);
  GlowText(c, title, {1.0f, 1.0f, 1.0f}, {0.25f, 0.6f, 1.0f});
  FadedLine(c, 110.0f, 402.0f, 292.0f, 1.0f, {0.55f, 0.8f, 1.0f});
  Mask line(n, n);
  Font regular(FontPath(kRegular), 22.0f);
  regular.Draw(line, "loading  \xC2\xB7  please stand by", n / 2.0f, 336.0f, 3.0f);
  GlowText(c, line, {0.75f, 0.85f, 1.0f}, {0.2f, 0.4f, 1.0f}, 0.5f, 0.3f, 2.0f, 6.0f);
  return c;
}

Canvas DrawIntro() {
  const int n = 512, half = 256;
  Canvas c(n, n);
  // Top card: the title.
  Mask title(n, n);
  const float size = FitSize(kBold, "Lumetra", 120.0f, 420.0f, 8.0f);
  Font bold(FontPath(kBold), size);
  bold.Draw(title, "Lumetra", n / 2.0f, 128.0f, 8.0f);
  GlowText(c, title, {1.0f, 1.0f, 1.0f}, {0.3f, 0.55f, 1.0f}, 1.0f, 0.8f);
  FadedLine(c, 70.0f, 442.0f, 156.0f, 1.0f, {0.5f, 0.75f, 1.0f});
  Mask sub(n, n);
  Font small(FontPath(kRegular), 21.0f);
  small.Draw(sub, "seventy seconds of light", n / 2.0f, 190.0f, 4.0f);
  c.AddMask(raster::Blur(sub, 3.0f), Rgb{0.2f, 0.35f, 1.0f}, 0.6f);
  c.AddMask(sub, Rgb{0.7f, 0.8f, 1.0f});

  // Bottom card: the production line and the credits. Its quad reaches a little past
  // the left and top edges of a 4:3 screen, so the text sits right of centre and low.
  Mask prod(n, n);
  Font medium(FontPath(kRegular), FitSize(kRegular, "a Corvane production", 38.0f, 420.0f, 2.0f));
  const float right = n / 2.0f + 20.0f;
  medium.Draw(prod, "a Corvane production", right, half + 86.0f, 2.0f);
  GlowText(c, prod, {1.0f, 0.95f, 1.0f}, {0.7f, 0.3f, 1.0f}, 0.8f, 0.5f);
  FadedLine(c, right - 136.0f, right + 136.0f, half + 112.0f, 0.9f, {0.7f, 0.5f, 1.0f});
  const char* const credits[3][2] = {
      {"code", "Tessaly"}, {"music", "Orrun Vale"}, {"pictures", "mirelle"}};
  Font label(FontPath(kRegular), 22.0f);
  Font name(FontPath(kBold), 24.0f);
  Mask labels(n, n), names(n, n);
  for (int i = 0; i < 3; ++i) {
    const float baseline = half + 154.0f + 34.0f * i;
    label.Draw(labels, credits[i][0], right - 10.0f - label.Width(credits[i][0], 1.0f) / 2.0f,
               baseline, 1.0f);
    name.Draw(names, credits[i][1], right + 12.0f + name.Width(credits[i][1], 1.0f) / 2.0f,
              baseline, 1.0f);
  }
  c.AddMask(labels, Rgb{0.55f, 0.5f, 0.85f});
  c.AddMask(raster::Blur(names, 3.0f), Rgb{0.6f, 0.3f, 1.0f}, 0.7f);
  c.AddMask(names, Rgb{1.0f, 0.95f, 1.0f});
  ClearBandEdges(c, 0, half, 8.0f);
  ClearBandEdges(c, half, n, 8.0f);
  return c;
}

// Periodic colour drift for the tiling pictures: one full cycle across the picture.
Rgb Drift(float x, float y, float size, Rgb a, Rgb b) {
  const float t = 0.5f + 0.5f * std::cos(2.0f * kPi * (x + y) / size);
  return raster::Mix(a, b, t);
}

// The tumbling stack's squares (mapped once per square) and the walls of the star
// room (twice per wall): eight by eight cells, lit cells with a bright rim. Every
// flat feature is at least 4 pixels wide on a 2-pixel grid: the decoder keeps such
// steps sharp, where it would soften a 2-pixel line into its neighbours.
Canvas DrawCheckers() {
  const int n = 256, cell = 32;
  Canvas c(n, n);
  c.AddFunction([=](float x, float y) {
    const int cx = static_cast<int>(x) / cell, cy = static_cast<int>(y) / cell;
    const int ix = static_cast<int>(x) % cell, iy = static_cast<int>(y) % cell;
    // One colour per cell: the decoder keeps a step sharp only between runs of
    // exactly equal values.
    const Rgb colour = Drift((cx + 0.5f) * cell, (cy + 0.5f) * cell, n,
                             {0.55f, 0.25f, 1.0f}, {0.15f, 0.75f, 1.0f});
    const int edge = std::min({ix, iy, cell - 1 - ix, cell - 1 - iy});
    if ((cx + cy) % 2 == 0) {
      if (edge < 4) return colour * 0.95f + Rgb{0.2f, 0.2f, 0.2f};
      // Inner face: brighter towards the cell's centre.
      const float dx = (ix + 0.5f) / cell - 0.5f, dy = (iy + 0.5f) / cell - 0.5f;
      return colour * (0.5f - 0.8f * (dx * dx + dy * dy));
    }
    // Dark cell: a faint inner square keeps the pattern readable at low alpha.
    if (edge >= 10 && edge < 14) return colour * 0.16f;
    return Rgb{};
  });
  return c;
}

// The greetings room's walls, repeated twice per wall: four by four warm cells on a
// grid of 32-pixel squares, all periodic so the repeats meet without a seam.
Canvas DrawCheckers2() {
  const int n = 256, cell = 64, grid = 32;
  Canvas c(n, n);
  c.AddFunction([=](float x, float y) {
    const int px = static_cast<int>(x), py = static_cast<int>(y);
    const int cx = px / cell, cy = py / cell;
    const int ix = px % cell, iy = py % cell;
    const Rgb warm = Drift((cx + 0.5f) * cell, -(cy + 0.5f) * cell, n, {1.0f, 0.45f, 0.1f},
                           {0.95f, 0.2f, 0.55f});
    const bool lit = (cx + cy) % 2 == 0;
    const int edge = std::min({ix, iy, cell - 1 - ix, cell - 1 - iy});
    if (lit && edge < 4) return warm * 0.85f;
    // Dark cells keep a faint glow, so the walls read as one surface around the viewer.
    Rgb out = warm * (lit ? 0.3f : 0.08f);
    // Grid lines 4 pixels wide along every 32-pixel line.
    if (px % grid < 4 || py % grid < 4) out = out + warm * 0.2f;
    return out;
  });
  return c;
}

// Radial glow that reaches exactly nothing at radius edge (in pixels).
float Glow(float r, float core, float halo, float edge) {
  const float window = 1.0f - SmoothStep(edge * 0.7f, edge, r);
  return (std::exp(-0.5f * (r / core) * (r / core)) +
          0.35f * std::exp(-r / halo)) *
         window;
}

Canvas DrawFlare() {
  const int n = 64;
  Canvas c(n, n);
  c.AddFunction([=](float x, float y) {
    const float r = std::hypot(x - n / 2.0f, y - n / 2.0f);
    const float v = Glow(r, 5.0f, 7.0f, 30.0f);
    return Rgb{0.9f, 0.95f, 1.0f} * v;
  });
  return c;
}

Canvas DrawFlare2() {
  const int n = 256;
  Canvas c(n, n);
  const float centre = n / 2.0f, edge = n / 2.0f - 4.0f;
  c.AddFunction([=](float x, float y) {
    const float dx = x - centre, dy = y - centre;
    const float r = std::hypot(dx, dy);
    float v = Glow(r, 10.0f, 22.0f, edge);
    // Four long rays along the axes, four shorter ones on the diagonals.
    auto ray = [&](float along, float across, float length, float width) {
      const float a = std::fabs(along), b = std::fabs(across);
      if (a >= length) return 0.0f;
      const float fade = std::pow(1.0f - a / length, 2.0f);
      return fade * std::exp(-0.5f * (b / (width * (1.0f + a / 60.0f))) *
                                    (b / (width * (1.0f + a / 60.0f))));
    };
    float rays = ray(dx, dy, edge, 1.4f) + ray(dy, dx, edge, 1.4f);
    const float d1 = (dx + dy) * 0.70710678f, d2 = (dx - dy) * 0.70710678f;
    rays += 0.5f * (ray(d1, d2, edge * 0.6f, 1.1f) + ray(d2, d1, edge * 0.6f, 1.1f));
    // A faint ring, warm inside and cool outside.
    const float ring = std::exp(-0.5f * std::pow((r - 46.0f) / 3.0f, 2.0f)) * 0.12f;
    const float window = 1.0f - SmoothStep(edge * 0.85f, edge, r);
    const Rgb white{1.0f, 1.0f, 1.0f};
    return white * (v + 0.8f * rays * window) +
           Rgb{0.6f, 0.8f, 1.0f} * (ring * window) +
           Rgb{1.0f, 0.7f, 0.4f} * (0.5f * ring * (r < 46.0f ? 1.0f : 0.0f) * window);
  });
  return c;
}

// The greetings, four lines per picture, all set at the size of the longest.
const char* const kGreetings[2][4] = {
    {"greetings to", "Vektorkind", "Polar Static", "Moth & Quasar"},
    {"Kilnwright", "Octave Nine", "Glass Heron", "Paper Lanterns"}};

// Four lines, one per quarter of the height (the bands that fly in separately).
Canvas DrawGreets(const char* const lines[4], Rgb glow) {
  const int n = 512, band = n / 4;
  float size = 62.0f;
  for (const auto& picture : kGreetings)
    for (const char* line : picture) size = FitSize(kBold, line, size, 440.0f, 2.0f);
  Font font(FontPath(kBold), size);
  Canvas c(n, n);
  for (int k = 0; k < 4; ++k) {
    Mask text(n, n);
    const float baseline = band * k + band / 2.0f + font.CapHeight() / 2.0f;
    font.Draw(text, lines[k], n / 2.0f, baseline, 2.0f);
    GlowText(c, text, {1.0f, 1.0f, 1.0f}, glow, 0.9f, 0.6f, 2.5f, 9.0f);
  }
  for (int k = 0; k < 4; ++k) ClearBandEdges(c, band * k, band * (k + 1), 8.0f);
  return c;
}

// The tall panel at the left of the greetings room. It is 256 x 512 pixels but
// shown 6 units wide and 8.5 high, that is stretched sideways by about 1.41, so
// its text is set that much narrower.
Canvas DrawGreets3() {
  const int w = 256, h = 512;
  const float squeeze = (256.0f / 512.0f) / (6.0f / 8.5f);
  const float centre = w * 0.46f, maxWidth = w * 0.8f;
  Canvas c(w, h);
  // A faint frame line down the left side.
  c.AddFunction([=](float x, float y) {
    const float along = std::sin(kPi * std::clamp((y - 20.0f) / (h - 40.0f), 0.0f, 1.0f));
    const float across = std::exp(-0.5f * std::pow((x - 8.0f) / 1.0f, 2.0f));
    return Rgb{0.5f, 0.35f, 1.0f} * (0.5f * along * across);
  });
  Mask head(w, h);
  Font bold(FontPath(kBold), FitSize(kBold, "respect", 48.0f, maxWidth, 1.0f, squeeze), squeeze);
  bold.Draw(head, "respect", centre, 66.0f, 1.0f);
  GlowText(c, head, {1.0f, 1.0f, 1.0f}, {0.6f, 0.3f, 1.0f}, 0.8f, 0.6f, 2.0f, 7.0f);
  FadedLine(c, centre - maxWidth / 2.0f, centre + maxWidth / 2.0f, 88.0f, 0.9f,
            {0.6f, 0.45f, 1.0f});
  const char* const lines[] = {"to all who make",  "real-time art:",  "",
                               "the coders,",      "the musicians,",  "the pixel artists,",
                               "the organisers,",  "",                "and to all",
                               "who watch it,",    "on big screens",  "and small ones"};
  Font regular(FontPath(kRegular), 27.0f, squeeze);
  Mask body(w, h);
  float baseline = 130.0f;
  for (const char* line : lines) {
    if (*line) regular.Draw(body, line, centre, baseline, 0.5f);
    baseline += *line ? 28.0f : 14.0f;
  }
  c.AddMask(raster::Blur(body, 2.0f), Rgb{0.45f, 0.3f, 1.0f}, 0.5f);
  c.AddMask(body, Rgb{0.85f, 0.85f, 1.0f});
  Mask thanks(w, h);
  Font bold2(FontPath(kBold), 36.0f, squeeze);
  bold2.Draw(thanks, "thank you", centre, 478.0f, 1.0f);
  GlowText(c, thanks, {1.0f, 0.95f, 0.9f}, {1.0f, 0.45f, 0.2f}, 0.8f, 0.6f, 2.0f, 7.0f);
  return c;
}

// ---- Encoding -------------------------------------------------------------------

struct Settings {
  int Depth;
  int ValueBits;
  double Threshold;
};

struct Picture {
  const char* Name;
  Canvas (*Draw)();
  Settings Encoding;
};

Canvas Greets1() { return DrawGreets(kGreetings[0], {0.2f, 0.6f, 1.0f}); }
Canvas Greets2() { return DrawGreets(kGreetings[1], {1.0f, 0.35f, 0.6f}); }

// Encoder settings per picture, chosen by decoding and comparing (see the survey
// below): low depths keep text and the checker steps sharp; the smooth glows come
// back best from deep transforms, where the decoder's ramps follow their slopes.
const Picture kPictures[] = {
    {"loading", DrawLoading, {1, 8, 0.0}},    {"intro1", DrawIntro, {0, 8, 0.0}},
    {"checkers", DrawCheckers, {0, 8, 0.0}},  {"checkers2", DrawCheckers2, {0, 8, 0.0}},
    {"flare", DrawFlare, {3, 8, 0.0}},        {"flare2", DrawFlare2, {5, 8, 0.0}},
    {"greets1", Greets1, {1, 8, 0.0}},        {"greets2", Greets2, {1, 8, 0.0}},
    {"greets3", DrawGreets3, {0, 8, 0.0}},
};

// Encodes RGB bytes channel by channel: transform, optional threshold, quantise.
void Encode(const std::string& path, const std::vector<uint8_t>& rgb, int w, int h,
            const Settings& s) {
  const size_t count = size_t(w) * h;
  std::vector<double> plane(count);
  std::vector<int32_t> ints[3];
  std::vector<double> tables[3];
  for (int ch = 0; ch < 3; ++ch) {
    for (size_t i = 0; i < count; ++i) plane[i] = rgb[3 * i + ch];
    codec::ForwardTransform(plane.data(), plane.data(), w, h, w, h, s.Depth);
    if (s.Threshold > 0.0) codec::ThresholdDetails(plane.data(), s.Threshold, w, h, s.Depth);
    ints[ch].resize(count);
    tables[ch].resize(s.Depth + 2);
    codec::Quantize(plane.data(), ints[ch].data(), w, h, s.Depth, s.ValueBits,
                    tables[ch].data());
  }
  codec::WriteImageFile(path, ints[0].data(), ints[1].data(), ints[2].data(), w, h, 24,
                        s.Depth, tables[0].data(), tables[1].data(), tables[2].data(),
                        s.ValueBits);
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double sum = 0.0;
  for (size_t i = 0; i < a.size(); ++i) sum += double(int(a[i]) - int(b[i])) * (int(a[i]) - int(b[i]));
  if (sum == 0.0) return INFINITY;
  return 10.0 * std::log10(255.0 * 255.0 * a.size() / sum);
}

// Decodes a file with the production's decoder into RGB bytes.
std::vector<uint8_t> DecodeToRgb(const std::string& path) {
  uint8_t* pixels = nullptr;
  codec::ImageHeader header{};
  codec::DecodeImageFile(pixels, header, path, true);
  const size_t count = size_t(header.Width) * header.Height;
  std::vector<uint8_t> rgb(count * 3);
  const uint32_t* words = reinterpret_cast<const uint32_t*>(pixels);
  for (size_t i = 0; i < count; ++i) {
    rgb[3 * i] = (words[i] >> 16) & 0xFF;
    rgb[3 * i + 1] = (words[i] >> 8) & 0xFF;
    rgb[3 * i + 2] = words[i] & 0xFF;
  }
  std::free(pixels);
  return rgb;
}

bool Fail(const std::string& what) {
  std::fprintf(stderr, "lumetra-pictures: %s\n", what.c_str());
  return false;
}

bool Make(const Picture& p, const std::filesystem::path& dataDir,
          const std::filesystem::path& previewDir, FILE* report) {
  const Canvas canvas = p.Draw();
  const int w = canvas.Width, h = canvas.Height;
  const std::vector<uint8_t> rgb = canvas.ToBytes();
  const std::filesystem::path target = dataDir / (std::string(p.Name) + ".tqz");
  const std::filesystem::path temp = dataDir / (std::string(p.Name) + ".tqz.part");
  Encode(temp.string(), rgb, w, h, p.Encoding);

  std::string error;
  if (!previewDir.empty()) {
    // Decode as the production does and keep both versions for looking at.
    const std::vector<uint8_t> back = DecodeToRgb(temp.string());
    if (!pngio::WritePng((previewDir / (std::string(p.Name) + ".png")).string(), w, h, 3,
                         rgb.data(), false, error) ||
        !pngio::WritePng((previewDir / (std::string(p.Name) + "-decoded.png")).string(), w, h, 3,
                         back.data(), false, error))
      return Fail(error);
    const auto bytes = std::filesystem::file_size(temp);
    std::fprintf(report, "%-10s %4dx%-4d depth %d bits %d threshold %4.1f  %7ju bytes  %5.2f bpp  PSNR %5.1f dB\n",
                 p.Name, w, h, p.Encoding.Depth, p.Encoding.ValueBits, p.Encoding.Threshold,
                 static_cast<uintmax_t>(bytes), bytes * 8.0 / (double(w) * h), Psnr(rgb, back));
  }
  std::error_code ec;
  std::filesystem::rename(temp, target, ec);
  if (ec) return Fail("cannot write " + target.string() + ": " + ec.message());
  return true;
}

// Prints size and PSNR of every picture over a range of encoder settings
// (LUMETRA_PICTURES_SURVEY=1 in the environment).
void Survey(const std::filesystem::path& dir) {
  for (const Picture& p : kPictures) {
    const Canvas canvas = p.Draw();
    const std::vector<uint8_t> rgb = canvas.ToBytes();
    const std::string path = (dir / "survey.tqz").string();
    for (int depth = 0; depth <= 4; ++depth)
      for (double threshold : {0.0, 1.0, 3.0}) {
        Encode(path, rgb, canvas.Width, canvas.Height, {depth, 8, threshold});
        const auto bytes = std::filesystem::file_size(path);
        std::printf("%-10s depth %d threshold %3.1f  %7ju bytes %6.2f bpp  PSNR %5.1f dB\n",
                    p.Name, depth, threshold, static_cast<uintmax_t>(bytes),
                    bytes * 8.0 / (double(canvas.Width) * canvas.Height),
                    Psnr(rgb, DecodeToRgb(path)));
      }
  }
  std::filesystem::remove(dir / "survey.tqz");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: %s FONT_DIR DATA_DIR [PREVIEW_DIR]\n", argv[0]);
    return 2;
  }
  binfile::UseConsoleMessages("lumetra-pictures");
  gFontDir = argv[1];
  const std::filesystem::path dataDir = argv[2];
  const std::filesystem::path previewDir = argc == 4 ? argv[3] : "";
  std::error_code ec;
  std::filesystem::create_directories(dataDir, ec);
  if (!previewDir.empty()) std::filesystem::create_directories(previewDir, ec);
  FILE* report = nullptr;
  if (!previewDir.empty()) {
    report = std::fopen((previewDir / "report.txt").string().c_str(), "w");
    if (!report) return Fail("cannot write the report in " + previewDir.string()), 1;
  }
  if (std::getenv("LUMETRA_PICTURES_SURVEY")) {
    Survey(dataDir);
    return 0;
  }
  bool ok = true;
  for (const Picture& p : kPictures) ok = Make(p, dataDir, previewDir, report) && ok;
  if (report) std::fclose(report);
  return ok ? 0 : 1;
}
