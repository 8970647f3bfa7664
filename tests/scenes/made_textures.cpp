#include "made_textures.h"

#include "scenes/globals.h"

namespace scenetest {

LentTextures::LentTextures() : saved_(scenes::Textures) {}

LentTextures::~LentTextures() {
  for (texture::ImageTexture* t : made_) {
    glDeleteTextures(1, &t->Name);
    delete t;
  }
  scenes::Textures = saved_;
}

texture::ImageTexture* LentTextures::Make(int width, int height, const std::vector<Rgb>& texels) {
  auto* t = new texture::ImageTexture{};
  t->Width = width;
  t->Height = height;
  glGenTextures(1, &t->Name);
  glBindTexture(GL_TEXTURE_2D, t->Name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE,
               texels.data());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glBindTexture(GL_TEXTURE_2D, 0);
  made_.push_back(t);
  return t;
}

}  // namespace scenetest
