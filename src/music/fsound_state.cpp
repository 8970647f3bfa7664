#include "music/fsound_state.h"

#include <sys/stat.h>

#include <cerrno>

#include "music/fsound.h"

namespace music {

namespace fsound {

int lastError = FMOD_ERR_NONE;
int output = FSOUND_OUTPUT_AUDIBLE;
bool initialised = false;

bool Fail(int code) {
  lastError = code;
  return false;
}

bool CheckInit(int mixRate, int maxChannels) {
  if (initialised) return Fail(FMOD_ERR_BUSY);
  if (mixRate != 44100 || maxChannels < 1) return Fail(FMOD_ERR_INVALID_PARAM);
  return true;
}

namespace {

bool CheckStreamFile(const char* path) {
  if (!initialised) return Fail(FMOD_ERR_UNINITIALIZED);
  struct stat info{};
  if (!path || stat(path, &info) != 0)
    return Fail(errno == ENOENT || errno == ENOTDIR || !path ? FMOD_ERR_FILE_NOTFOUND
                                                             : FMOD_ERR_FILE_BAD);
  if (!S_ISREG(info.st_mode)) return Fail(FMOD_ERR_FILE_BAD);
  return true;
}

}  // namespace

mpg123_handle* NewStreamDecoder(const char* path, long extraFlags) {
  if (!CheckStreamFile(path)) return nullptr;
  mpg123_handle* decoder = mpg123_new(nullptr, nullptr);
  if (!decoder) {
    Fail(FMOD_ERR_MEMORY);
    return nullptr;
  }
  mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS | extraFlags, 0);
  mpg123_format_none(decoder);
  return decoder;
}

}  // namespace fsound

using namespace fsound;

bool FSOUND_SetOutput(int newOutput) {
  if (initialised) return Fail(FMOD_ERR_BUSY);
  if (newOutput != FSOUND_OUTPUT_NOSOUND && newOutput != FSOUND_OUTPUT_AUDIBLE)
    return Fail(FMOD_ERR_INVALID_PARAM);
  output = newOutput;
  return true;
}

bool FSOUND_SetDriver(int driver) {
  if (initialised) return Fail(FMOD_ERR_BUSY);
  if (driver != 0) return Fail(FMOD_ERR_INVALID_PARAM);
  return true;
}

int FSOUND_GetError() { return lastError; }

bool FSOUND_Stream_SetBufferSize(int ms) {
  if (ms < 0) return Fail(FMOD_ERR_INVALID_PARAM);
  return true;
}

}  // namespace music
