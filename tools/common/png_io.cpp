#include "common/png_io.h"

#include <png.h>

#include <cerrno>
#include <cstring>

#include "common/output_file.h"

namespace pngio {

bool ReadPng(const std::string& path, Image& image, std::string& error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) {
    error = png.message;
    return false;
  }
  const bool colour = (png.format & PNG_FORMAT_FLAG_COLOR) != 0;
  const bool alpha = (png.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  if (!colour) {
    png.format = PNG_FORMAT_GRAY;
    image.Channels = 1;
  } else {
    png.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    image.Channels = alpha ? 4 : 3;
  }
  image.Width = static_cast<int>(png.width);
  image.Height = static_cast<int>(png.height);
  image.Pixels.assign(PNG_IMAGE_SIZE(png), 0);
  if (!png_image_finish_read(&png, nullptr, image.Pixels.data(), 0, nullptr)) {
    error = png.message;
    png_image_free(&png);
    return false;
  }
  return true;
}

bool WritePng(const std::string& path, int width, int height, int channels,
              const uint8_t* pixels, bool flipVertically, std::string& error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(width);
  png.height = static_cast<png_uint_32>(height);
  switch (channels) {
    case 1: png.format = PNG_FORMAT_GRAY; break;
    case 3: png.format = PNG_FORMAT_RGB; break;
    case 4: png.format = PNG_FORMAT_RGBA; break;
    default: error = "unsupported channel count"; return false;
  }
  const png_int_32 stride = static_cast<png_int_32>(width * channels);
  // Not png_image_write_to_file: it removes the path when a write fails, whatever the
  // path was (a device, a link, someone's file).
  outfile::Output output;
  if (!output.Open(path, error)) return false;
  errno = 0;
  if (!png_image_write_to_stdio(&png, output.Stream(), 0, pixels,
                                flipVertically ? -stride : stride, nullptr)) {
    error = errno ? "could not write: " + std::string(std::strerror(errno)) : png.message;
    return false;
  }
  return output.Commit(error);
}

}  // namespace pngio
