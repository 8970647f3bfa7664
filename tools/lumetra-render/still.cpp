// One frame as PNG.
#include <GL/gl.h>

#include <vector>

#include "common/png_io.h"
#include "demo/loading_screen.h"
#include "modes.h"
#include "progress.h"

namespace render {

int RenderStill(const Job& job) {
  std::string error;
  if (!StartProduction(job.Size, job.Seed, error)) {
    PrintError(error);
    return 1;
  }
  if (job.Loading) {
    demo::DrawLoadingScreen();
  } else {
    const int32_t clock = FrameClockAt(job.AtMs);
    {
      ProgressBar bar("frame " + std::to_string(clock) + " ms", job.ShowProgress);
      FastForward(0, clock - FrameStepMs, job.Size,
                  [&bar](int64_t done, int64_t total) { bar.Update(done, total); });
    }
    DrawFrame(clock);
  }
  std::vector<uint8_t> pixels;
  ReadFrame(job.Size, GL_RGB, pixels);
  StopProduction();
  // Written as common/output_file.h says: a failed write leaves the target as it was.
  if (!pngio::WritePng(job.Output, job.Size.Width, job.Size.Height, 3, pixels.data(), false,
                       error)) {
    PrintError(job.Output + ": " + error);
    return 1;
  }
  return 0;
}

}  // namespace render
