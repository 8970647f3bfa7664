// The warm-up: after it, no frame of the run has the renderer compile anything, so no
// scene's first frame waits for what its later frames do not (llvmpipe compiles code
// for each new combination of drawing state on its first use).
#include <GL/gl.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "demo/driver.h"
#include "demo/loading_screen.h"
#include "demo/timeline.h"
#include "demo/warm_up.h"
#include "framework/window/picture_framebuffer.h"
#include "support/gl_fixture.h"

namespace {

int compiles = 0;

// The LLVM library the renderer loaded, which need not be in the global symbol scope.
void* LlvmSymbol(const char* name) {
  if (void* next = dlsym(RTLD_NEXT, name)) return next;
  void* found = nullptr;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* out) {
        if (!std::strstr(info->dlpi_name, "libLLVM")) return 0;
        *static_cast<void**>(out) = dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD);
        return 1;
      },
      &found);
  return found ? dlsym(found, name) : nullptr;
}

}  // namespace

// llvmpipe optimises every piece of code it compiles through this call; the test
// program's own definition (exported, extra.cmake) comes first in the symbol search.
extern "C" void* LLVMRunPasses(void* module, const char* passes, void* machine, void* options) {
  using Real = void* (*)(void*, const char*, void*, void*);
  static const auto real = reinterpret_cast<Real>(LlvmSymbol("LLVMRunPasses"));
  ++compiles;
  return real(module, passes, machine, options);
}

namespace {

TEST(WarmUp, LeavesNoCompilingToAnyFrameOfTheRun) {
  // Without Mesa's shader cache on disk every piece of code is compiled, as on a
  // machine's first run (the cache skips the compiles this count sees).
  setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
  ASSERT_TRUE(testsupport::OpenTestContext(32, 24));
  demo::DrawLoadingScreen();
  glFinish();
  ASSERT_GT(compiles, 0) << "the renderer's compiles are not seen";
  demo::LoadProduction();
  demo::WarmUpScenes(32, 24);

  // The run into the context's own framebuffer, then as a window resized after it
  // opened has it: into the scaled picture's framebuffer.
  window::PictureFramebuffer picture;
  for (const char* target : {"the window's framebuffer", "the picture's framebuffer"}) {
    std::string compiling;  // the frames that compiled, by clock
    for (int32_t clock = 0; clock <= demo::kEndMs; clock += demo::kFramePaceMs) {
      const int before = compiles;
      demo::DrawTimelineFrame(clock);
      glFinish();
      if (compiles != before) compiling += " " + std::to_string(clock);
    }
    EXPECT_EQ(compiling, "") << "frames that compiled into " << target;
    if (!picture.Framebuffer) {
      ASSERT_TRUE(window::CreatePictureFramebuffer(picture, 32, 24, 32));
    }
  }
  window::DeletePictureFramebuffer(picture);
  demo::ReleaseProduction();
}

}  // namespace
