// The production as video: raw frames piped to ffmpeg, the soundtrack muxed in.
#include <GL/gl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/output_file.h"
#include "modes.h"
#include "progress.h"

extern char** environ;

namespace render {

namespace {

volatile std::sig_atomic_t interrupted = 0;
void OnInterrupt(int) { interrupted = 1; }

std::string Seconds(int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000),
                static_cast<long long>(ms % 1000));
  return text;
}

// The container ffmpeg writes for the output's extension (a regular file is first
// written under a temporary name, so the format cannot come from the name).
std::string ContainerFor(const std::string& output) {
  std::string ext = std::filesystem::path(output).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".mkv") return "matroska";
  if (ext == ".mov") return "mov";
  return "mp4";
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) {
        if (interrupted) return false;
        continue;
      }
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::string DescribeStatus(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return std::string("signal ") + strsignal(WTERMSIG(status));
  return "status " + std::to_string(status);
}

}  // namespace

int RecordVideo(const Job& job) {
  const std::string ffmpeg = FindProgram("ffmpeg");
  if (ffmpeg.empty()) {
    PrintError("ffmpeg not found in PATH (on Debian: apt-get install ffmpeg)");
    return 1;
  }
  // Frame n of the video shows clock first + 15 n at time 15 n: at 200/3 frames per
  // second and with the sound cut at first, the frame of clock t plays at sound time t.
  const int32_t first = FrameClockAt(job.FromMs);
  const int32_t last = FrameClockAt(job.ToMs);
  const int64_t frames = (last - first) / FrameStepMs + 1;
  const std::string duration = Seconds(frames * FrameStepMs);
  const std::string container = ContainerFor(job.Output);
  // A regular file is written under a temporary name and renamed when complete; a
  // device or FIFO is written directly by ffmpeg.
  outfile::Output output;
  std::string error;
  if (!output.Open(job.Output, error, false)) {
    PrintError(job.Output + ": " + error);
    return 1;
  }
  const std::string size = std::to_string(job.Size.Width) + "x" + std::to_string(job.Size.Height);

  std::vector<std::string> args = {
      ffmpeg, "-hide_banner", "-nostats", "-loglevel", "error", "-y",
      // picture: raw frames on standard input
      "-f", "rawvideo", "-pix_fmt", "bgra", "-video_size", size, "-framerate", "200/3",
      "-i", "pipe:0",
      // sound: the soundtrack from the first frame's clock on
      "-ss", Seconds(first), "-t", duration, "-i", MusicFile,
      "-map", "0:v:0", "-map", "1:a:0",
      "-c:v", "libx264", "-preset", "veryfast", "-crf", "18", "-pix_fmt", "yuv420p",
      "-c:a", "aac", "-b:a", "192k", "-t", duration};
  if (container != "matroska") {
    // The index at the front; where the output cannot seek, in fragments instead.
    args.push_back("-movflags");
    args.push_back(output.Direct() ? "frag_keyframe+empty_moov" : "+faststart");
  }
  args.insert(args.end(), {"-f", container, output.WritePath()});

  if (!StartProduction(job.Size, job.Seed, error)) {
    PrintError(error);
    return 1;
  }
  ProgressBar bar("recording", job.ShowProgress);
  const int64_t skipped = first / FrameStepMs;
  const int64_t total = skipped + frames;
  FastForward(0, first - FrameStepMs, job.Size,
              [&bar, total](int64_t done, int64_t) { bar.Update(done, total); });

  int pipeFds[2];
  if (pipe(pipeFds) != 0) {
    PrintError(std::string("pipe: ") + std::strerror(errno));
    return 1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, ffmpeg.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[0]);
  if (spawned != 0) {
    close(pipeFds[1]);
    PrintError(ffmpeg + ": " + std::strerror(spawned));
    return 1;
  }

  // A write to an ended ffmpeg fails with EPIPE instead of killing this process;
  // Ctrl-C stops after the current frame and removes the unfinished file.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  std::vector<uint8_t> pixels;
  bool fed = true;
  for (int32_t clock = first; clock <= last && fed && !interrupted; clock += FrameStepMs) {
    DrawFrame(clock);
    ReadFrame(job.Size, GL_BGRA, pixels);
    fed = WriteAll(pipeFds[1], pixels.data(), pixels.size());
    bar.Update(skipped + (clock - first) / FrameStepMs + 1, total);
  }
  close(pipeFds[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  bar.Finish();
  StopProduction();

  const bool ok = fed && !interrupted && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!ok) {
    output.Abandon();
    if (interrupted)
      PrintError("interrupted; " + job.Output + " not written");
    else if (!fed)
      PrintError("ffmpeg stopped taking frames (" + DescribeStatus(status) + "); " +
                 job.Output + " not written");
    else
      PrintError("ffmpeg failed (" + DescribeStatus(status) + "); " + job.Output +
                 " not written");
    return interrupted ? 130 : 1;
  }
  if (!output.Commit(error)) {
    PrintError(job.Output + ": " + error);
    return 1;
  }
  std::printf("%s: %lld frames at %s, %s s from %d ms\n", job.Output.c_str(),
              static_cast<long long>(frames), size.c_str(), duration.c_str(), first);
  return 0;
}

}  // namespace render
