#include "gl_probe.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace render::probe {

namespace {

// Mesa's own entry point of a function that this file redefines.
template <typename Fn>
Fn Real(const char* name) {
  void* fn = dlsym(RTLD_NEXT, name);
  if (!fn) {
    std::fprintf(stderr, "lumetra-render: OpenGL function %s not found\n", name);
    std::abort();
  }
  return reinterpret_cast<Fn>(fn);
}

struct State {
  bool counting = false;
  bool texturing = false;
  bool dirty = true;  // texture state changed since the mode was last worked out
  int mode = Untextured;
  int openMode = -1;  // mode of the open query, -1 when none is open
  std::vector<GLuint> pool;
  std::vector<std::pair<GLuint, int>> used;  // query, mode
  int32_t clears = 0;
  bool compiling = false;  // inside glNewList: calls are recorded, not run
};
State state;

int CurrentMode() {
  if (!state.texturing) return Untextured;
  GLint filter = GL_LINEAR;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
  const bool mip = filter == GL_NEAREST_MIPMAP_NEAREST || filter == GL_LINEAR_MIPMAP_NEAREST ||
                   filter == GL_NEAREST_MIPMAP_LINEAR || filter == GL_LINEAR_MIPMAP_LINEAR;
  return mip ? Mipmapped : Linear;
}

void CloseQuery() {
  if (state.openMode < 0) return;
  glEndQuery(GL_SAMPLES_PASSED);
  state.openMode = -1;
}

// Called before every draw call: a new query when the texture mode has changed.
void BeforeDraw() {
  // Query calls would be compiled into the display list rather than run.
  if (!state.counting || state.compiling) return;
  if (state.dirty) {
    state.mode = CurrentMode();
    state.dirty = false;
  }
  if (state.openMode == state.mode) return;
  CloseQuery();
  if (state.used.size() == state.pool.size()) {
    GLuint query = 0;
    glGenQueries(1, &query);
    state.pool.push_back(query);
  }
  const GLuint query = state.pool[state.used.size()];
  state.used.emplace_back(query, state.mode);
  glBeginQuery(GL_SAMPLES_PASSED, query);
  state.openMode = state.mode;
}

void TrackCapability(GLenum cap, bool on) {
  if (cap != GL_TEXTURE_2D || state.compiling) return;
  state.texturing = on;
  state.dirty = true;
}

}  // namespace

const char* ModeName(int mode) {
  switch (mode) {
    case Untextured: return "untextured";
    case Linear: return "linear";
    default: return "mipmapped";
  }
}

void BeginCounting() {
  state.counting = true;
  state.texturing = glIsEnabled(GL_TEXTURE_2D);
  state.dirty = true;
  state.openMode = -1;
  state.used.clear();
  state.clears = 0;
}

void EndCounting() {
  CloseQuery();
  state.counting = false;
}

Counts Fragments() {
  Counts counts{};
  for (const auto& [query, mode] : state.used) {
    GLuint64 samples = 0;
    glGetQueryObjectui64v(query, GL_QUERY_RESULT, &samples);
    counts[static_cast<size_t>(mode)] += samples;
  }
  state.used.clear();
  return counts;
}

int32_t Clears() { return state.clears; }

}  // namespace render::probe

using namespace render::probe;

// The watched entry points. They forward at once when nothing is counted.
extern "C" {

void glBegin(GLenum mode) {
  static const auto real = Real<void (*)(GLenum)>("glBegin");
  BeforeDraw();
  real(mode);
}

void glCallList(GLuint list) {
  static const auto real = Real<void (*)(GLuint)>("glCallList");
  BeforeDraw();
  real(list);
}

void glCallLists(GLsizei n, GLenum type, const GLvoid* lists) {
  static const auto real = Real<void (*)(GLsizei, GLenum, const GLvoid*)>("glCallLists");
  BeforeDraw();
  real(n, type, lists);
}

void glDrawArrays(GLenum mode, GLint first, GLsizei count) {
  static const auto real = Real<void (*)(GLenum, GLint, GLsizei)>("glDrawArrays");
  BeforeDraw();
  real(mode, first, count);
}

void glDrawElements(GLenum mode, GLsizei count, GLenum type, const GLvoid* indices) {
  static const auto real =
      Real<void (*)(GLenum, GLsizei, GLenum, const GLvoid*)>("glDrawElements");
  BeforeDraw();
  real(mode, count, type, indices);
}

void glEnable(GLenum cap) {
  static const auto real = Real<void (*)(GLenum)>("glEnable");
  TrackCapability(cap, true);
  real(cap);
}

void glDisable(GLenum cap) {
  static const auto real = Real<void (*)(GLenum)>("glDisable");
  TrackCapability(cap, false);
  real(cap);
}

void glNewList(GLuint list, GLenum mode) {
  static const auto real = Real<void (*)(GLuint, GLenum)>("glNewList");
  state.compiling = true;
  real(list, mode);
}

void glEndList() {
  static const auto real = Real<void (*)()>("glEndList");
  real();
  state.compiling = false;
}

void glBindTexture(GLenum target, GLuint texture) {
  static const auto real = Real<void (*)(GLenum, GLuint)>("glBindTexture");
  state.dirty = true;
  real(target, texture);
}

void glTexParameteri(GLenum target, GLenum name, GLint value) {
  static const auto real = Real<void (*)(GLenum, GLenum, GLint)>("glTexParameteri");
  state.dirty = true;
  real(target, name, value);
}

void glTexParameterf(GLenum target, GLenum name, GLfloat value) {
  static const auto real = Real<void (*)(GLenum, GLenum, GLfloat)>("glTexParameterf");
  state.dirty = true;
  real(target, name, value);
}

void glClear(GLbitfield mask) {
  static const auto real = Real<void (*)(GLbitfield)>("glClear");
  if (state.counting) ++state.clears;
  real(mask);
}

}  // extern "C"
