// Starting, timing and stopping the soundtrack, and the texts of the sound errors.
#include "music/music.h"

#include <array>
#include <cstddef>

#include "framework/window/window.h"

namespace music {

FSOUND_STREAM* MusicStream = nullptr;
int32_t MusicChannel = -1;

namespace {

[[noreturn]] void SoundFailure() { window::ShowError("FMOD", SoundErrorText(FSOUND_GetError())); }

}  // namespace

void StartMusic(bool music) {
  FSOUND_SetOutput(music ? FSOUND_OUTPUT_AUDIBLE : FSOUND_OUTPUT_NOSOUND);
  FSOUND_SetDriver(0);
  if (!FSOUND_Init(44100, 16, 0)) SoundFailure();
  FSOUND_Stream_SetBufferSize(800);  // ms
  MusicStream = FSOUND_Stream_OpenFile("data/lumetra.mp3", 43, 0);
  if (!MusicStream) SoundFailure();
  MusicChannel = FSOUND_Stream_Play(-1, MusicStream);
  if (MusicChannel < 0) SoundFailure();
}

int32_t StreamPosition() { return FSOUND_Stream_GetTime(MusicStream); }

void StopMusic() {
  if (MusicStream) FSOUND_Stream_Close(MusicStream);
  MusicStream = nullptr;
  FSOUND_Close();
}

const char* SoundErrorText(int code) {
  static constexpr std::array<const char*, 19> kTexts = {
      "No errors",
      "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first",
      "This command failed because FSOUND_Init was not called",
      "Error initializing output device",
      "The output device is already in use and cannot be reused",
      "Playing the sound failed",
      "Soundcard does not support the features needed for this soundsystem (16bit stereo output)",
      "Error setting cooperative level for hardware",
      "Error creating hardware sound buffer",
      "File not found",
      "Unknown file format",
      "Error loading file",
      "Not enough memory or resources",
      "The version number of this file format is not supported",
      "An invalid parameter was passed to this function",
      "Tried to use an EAX command on a non EAX enabled channel or output",
      "Failed to allocate a new channel",
      "Recording is not supported on this machine",
      "Required Mediaplayer codec is not installed",
  };
  if (code < 0 || code >= static_cast<int>(kTexts.size())) return "Unknown error";
  return kTexts[static_cast<std::size_t>(code)];
}

}  // namespace music
