// lumetra-render: runs the production's scene code offscreen with a synthetic clock
// of 15 ms per frame, to write any moment as PNG, record the whole run as video
// with its soundtrack, or time every scene routine.
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <sys/stat.h>

#include "common/output_file.h"
#include "framework/binfile/binfile.h"
#include "modes.h"

namespace fs = std::filesystem;

namespace render {

void PrintError(const std::string& text) {
  std::fprintf(stderr, "lumetra-render: %s\n", text.c_str());
}

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (!path) return "";
  std::string dirs = path;
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + name;
    struct stat st {};
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        access(candidate.c_str(), X_OK) == 0)
      return candidate;
    start = end + 1;
  }
  return "";
}

}  // namespace render

namespace {

using render::PrintError;

// The framework ends the process with exit code 0 after its error boxes (a picture
// it cannot use, for example). For this tool that is a failure: an exit with code 0
// before the job has finished becomes exit code 1 (other codes, such as the runtime
// error box's, stay as they are).
bool jobFinished = false;
void ExitGuard(int status, void*) {
  if (status == 0 && !jobFinished) _exit(1);
}

// A picture the framework cannot read (truncated, or counts its blocks cannot back)
// would end the run through the runtime error box: here it is one line naming the
// file and the problem, and a failure.
[[noreturn]] void DataFileFailure(int32_t, const std::string& file, const std::string& problem,
                                  uintptr_t) {
  std::error_code ec;
  PrintError(fs::absolute(file, ec).lexically_normal().string() + ": " + problem);
  std::exit(1);
}

bool ParseSize(const std::string& text, render::FrameSize& size) {
  static const std::regex pattern(R"((\d{1,5})[xX](\d{1,5}))");
  std::smatch m;
  if (!std::regex_match(text, m, pattern)) return false;
  size.Width = std::stoi(m[1]);
  size.Height = std::stoi(m[2]);
  return size.Width >= 16 && size.Height >= 16 && size.Width <= 8192 && size.Height <= 8192;
}

std::string Lowercase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Checks that out can be written before anything is drawn: its folder exists and
// takes new files (or it is a writable device or FIFO), and it is not a folder.
bool CheckOutput(const fs::path& out) {
  std::string error;
  if (outfile::CheckWritable(out.string(), error)) return true;
  PrintError(out.string() + ": " + error);
  return false;
}

// Chooses the folder whose data/ holds the production's files: the one given, else
// the current folder when it has data/, else the folder of this program (a build tree,
// where it lies beside build/lumetra and its data/), else the installed data's folder
// found from this program's own place (/usr/bin -> /usr/share/games/lumetra).
bool EnterDataFolder(const std::string& given) {
  std::error_code ec;
  fs::path dir;
  if (!given.empty()) {
    dir = given;
    if (!fs::is_directory(dir, ec)) {
      PrintError("--data " + given + ": no such folder");
      return false;
    }
  } else if (fs::is_directory("data", ec)) {
    return true;
  } else {
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return true;
    for (const fs::path& candidate :
         {self.parent_path(), (self.parent_path() / LUMETRA_INSTALLED_DATA).lexically_normal()}) {
      if (fs::is_directory(candidate / "data", ec)) {
        dir = candidate;
        break;
      }
    }
    if (dir.empty()) return true;
  }
  if (chdir(dir.c_str()) != 0) {
    PrintError(dir.string() + ": " + std::strerror(errno));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  render::Job job;
  std::string output, sizeText = "640x480", tinyText = "64x48", dataDir;
  int32_t atMs = -1;
  bool timing = false, quiet = false;

  CLI::App app{
      "Renders Lumetra offscreen, frame by frame, with the program's own scene code and a\n"
      "clock of exactly 15 ms per frame (every frame from 0 on is simulated, so motion is\n"
      "exact). Needs no display, no sound card and no GPU.\n\n"
      "  lumetra-render --at MS -o frame.png     one frame as PNG\n"
      "  lumetra-render -o lumetra.mp4           the production as video with its soundtrack\n"
      "  lumetra-render --timing                 time every scene routine\n",
      "lumetra-render"};
  app.get_formatter()->column_width(22);
  app.add_option("-o,--output", output, "PNG with --at; else video: .mp4, .mkv or .mov")
      ->type_name("FILE");
  app.add_option("--at", atMs, "One frame: the frame on screen at MS (0 to 70000)")
      ->type_name("MS");
  app.add_flag("--loading", job.Loading, "One frame: the loading picture (with -o FILE.png)");
  app.add_flag("--timing", timing, "Time every scene routine over the whole timeline");
  app.add_option("--size", sizeText, "Frame size in pixels, 16 to 8192 a side (video: even)")
      ->type_name("WxH")
      ->capture_default_str();
  app.add_option("--from", job.FromMs, "Video, timing: start at MS (0 to 70000)")
      ->type_name("MS")
      ->capture_default_str();
  app.add_option("--to", job.ToMs, "Video, timing: end with the frame on screen at MS")
      ->type_name("MS")
      ->capture_default_str();
  app.add_option("--seed", job.Seed, "Seed of the random generator")
      ->type_name("N")
      ->capture_default_str();
  app.add_option("--tiny", tinyText,
                 "Timing: small viewport for the code's own cost (16 to 8192 a side)")
      ->type_name("WxH")
      ->capture_default_str();
  app.add_option("--data", dataDir, "Folder that holds data/ (see below)")->type_name("DIR");
  app.add_flag("-q,--quiet", quiet, "No progress bar on standard error");
  app.set_version_flag("--version", "lumetra-render " LUMETRA_VERSION, "Print the version");
  app.footer(
      "Frames run at clocks 0, 15, 30, ... ms; the frame on screen at MS is the one at the\n"
      "largest multiple of 15 not above MS. The video runs at 200/3 frames per second with\n"
      "data/lumetra.mp3 muxed in: the frame of clock t is shown at t (--from and --to trim\n"
      "picture and sound alike). Video needs ffmpeg in PATH. A regular output file is\n"
      "written under a temporary name in its folder and renamed when complete (keeping the\n"
      "permissions of the file it replaces); a device or FIFO is written directly.\n\n"
      "Files:\n"
      "  Without --data, data/ is looked for in the current folder, then beside this\n"
      "  program, then in the installed data's folder (" LUMETRA_INSTALLED_DATA " from\n"
      "  this program's folder).\n\n"
      "Exit status:\n"
      "  0  done\n"
      "  1  failure: a missing, unreadable or broken data file, no ffmpeg or ffmpeg\n"
      "     failing, an output that cannot be written\n"
      "  2  bad arguments");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    PrintError(std::string(e.what()) + " (see --help)");
    return 2;
  }

  auto usage = [](const std::string& text) {
    PrintError(text + " (see --help)");
    return 2;
  };
  if (!ParseSize(sizeText, job.Size))
    return usage("--size " + sizeText + ": expected WxH, each from 16 to 8192, like 640x480");
  if (!ParseSize(tinyText, job.TinySize))
    return usage("--tiny " + tinyText + ": expected WxH, each from 16 to 8192, like 64x48");
  if (job.Loading && app.count("--at") > 0) return usage("--loading and --at cannot be used together");
  const bool still = app.count("--at") > 0 || job.Loading;
  const bool fromTo = app.count("--from") > 0 || app.count("--to") > 0;
  if (still && timing) return usage("a still and --timing cannot be used together");
  if (job.FromMs < 0 || job.FromMs > render::LastClockMs)
    return usage("--from " + std::to_string(job.FromMs) + ": expected 0 to 70000");
  if (job.ToMs < 0 || job.ToMs > render::LastClockMs)
    return usage("--to " + std::to_string(job.ToMs) + ": expected 0 to 70000");
  if (still) {
    if (!job.Loading && (atMs < 0 || atMs > render::LastClockMs))
      return usage("--at " + std::to_string(atMs) + ": expected 0 to 70000");
    if (output.empty()) return usage(job.Loading ? "--loading needs -o FILE.png" : "--at needs -o FILE.png");
    if (Lowercase(fs::path(output).extension().string()) != ".png")
      return usage("-o " + output + ": a still is written as PNG; name it .png");
    if (fromTo) return usage("--from and --to are for video and timing, not with --at");
  } else if (timing) {
    if (!output.empty()) return usage("--timing prints its table on standard output; no -o");
    if (job.FromMs > job.ToMs) return usage("--from must not be after --to");
  } else {
    if (output.empty()) return usage("nothing to do: give --at MS -o FILE.png, -o FILE.mp4 or --timing");
    const std::string ext = Lowercase(fs::path(output).extension().string());
    if (ext == ".png") return usage("-o " + output + ": a PNG needs --at MS");
    if (ext != ".mp4" && ext != ".mkv" && ext != ".mov")
      return usage("-o " + output + ": video must be .mp4, .mkv or .mov");
    if (job.FromMs > job.ToMs) return usage("--from must not be after --to");
    if (job.Size.Width % 2 != 0 || job.Size.Height % 2 != 0)
      return usage("--size " + sizeText + ": video needs an even width and height");
  }
  job.AtMs = atMs;
  job.ShowProgress = !quiet;

  if (!output.empty()) {
    std::error_code ec;
    job.Output = fs::absolute(output, ec).lexically_normal().string();
    if (!CheckOutput(job.Output)) return 1;
  }
  const bool video = !still && !timing;
  if (video && render::FindProgram("ffmpeg").empty()) {
    PrintError("ffmpeg not found in PATH (on Debian: apt-get install ffmpeg)");
    return 1;
  }
  if (!EnterDataFolder(dataDir)) return 1;
  std::vector<std::string> needed = render::PictureFiles();
  if (video) needed.push_back(render::MusicFile);
  const std::string missing = render::CheckReadable(needed);
  if (!missing.empty()) {
    std::error_code ec;
    PrintError(missing + " (in " + fs::current_path(ec).string() +
               "; run where data/ is, or give --data DIR)");
    return 1;
  }

  // Offscreen rendering needs no display; without one the framework's error boxes go
  // to standard error instead of waiting for a click on some screen.
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  on_exit(ExitGuard, nullptr);
  binfile::SetFailureHandler(DataFileFailure);
  int code;
  if (still)
    code = render::RenderStill(job);
  else if (timing)
    code = render::RunTiming(job);
  else
    code = render::RecordVideo(job);
  jobFinished = true;
  return code;
}
