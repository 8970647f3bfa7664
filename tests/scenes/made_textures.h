// Small textures made directly with glTexImage2D and lent to the scenes' picture slots
// for one test, so drawings can be checked without the production's pictures.
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <vector>

#include "framework/texture/texture.h"
#include "support/gl_fixture.h"

namespace scenetest {

struct Rgb {
  uint8_t r, g, b;
};

// Holds the lent slots' textures and gives the previous slots back when destroyed.
class LentTextures {
 public:
  LentTextures();
  ~LentTextures();
  LentTextures(const LentTextures&) = delete;
  LentTextures& operator=(const LentTextures&) = delete;

  // A width x height RGB texture, nearest filtering; texels row by row, row 0 at t = 0.
  texture::ImageTexture* Make(int width, int height, const std::vector<Rgb>& texels);
  // One flat colour.
  texture::ImageTexture* Flat(Rgb colour) { return Make(1, 1, {colour}); }

 private:
  texture::TextureBank saved_;
  std::vector<texture::ImageTexture*> made_;
};

// Pixels of the fixture's frame whose predicate holds, counted.
template <typename Pred>
int CountPixels(const std::vector<testsupport::Rgba>& frame, Pred pred) {
  int n = 0;
  for (const testsupport::Rgba& p : frame) n += pred(p) ? 1 : 0;
  return n;
}

}  // namespace scenetest
