// OpenGL 1.1 as the production uses it, on WebGL 2. Vertices are transformed on the
// CPU as they are given (so matrix changes never break a batch), assembled into
// triangles or, per polygon mode and facing, into the polygon's edges, clipped against
// the near plane, and drawn in batches with one small shader: the vertex colour, times
// the texture where texturing is on (the modulate environment). State changes that
// affect drawing flush the batch first, so the order of everything drawn stays as
// issued. While colour and depth writes are both off (the frame loop's unseen frames)
// nothing can reach the picture: draws and clears are dropped before their vertices are
// transformed, and texture uploads wait for the next picture that could show them.
#include "framework/window/gl_web.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <GLES3/gl3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

// The WebGL functions under their second names, free for the GL 1.1 ones below.
extern "C" {
void emscripten_glEnable(GLenum);
void emscripten_glDisable(GLenum);
void emscripten_glBindTexture(GLenum, GLuint);
void emscripten_glBlendFunc(GLenum, GLenum);
void emscripten_glColorMask(GLboolean, GLboolean, GLboolean, GLboolean);
void emscripten_glDepthMask(GLboolean);
void emscripten_glDepthFunc(GLenum);
void emscripten_glClear(GLbitfield);
void emscripten_glClearDepthf(GLfloat);
void emscripten_glViewport(GLint, GLint, GLsizei, GLsizei);
void emscripten_glScissor(GLint, GLint, GLsizei, GLsizei);
void emscripten_glTexImage2D(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum,
                             const void*);
void emscripten_glTexSubImage2D(GLenum, GLint, GLint, GLint, GLsizei, GLsizei, GLenum, GLenum,
                                const void*);
void emscripten_glTexParameteri(GLenum, GLenum, GLint);
void emscripten_glDeleteTextures(GLsizei, const GLuint*);
void emscripten_glReadPixels(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*);
void emscripten_glPixelStorei(GLenum, GLint);
}

namespace window::glweb {

namespace {

using Matrix = std::array<double, 16>;  // column-major, as GL keeps it

constexpr Matrix kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

Matrix Multiply(const Matrix& a, const Matrix& b) {
  Matrix r{};
  for (int col = 0; col < 4; ++col)
    for (int row = 0; row < 4; ++row) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[col * 4 + k];
      r[col * 4 + row] = sum;
    }
  return r;
}

struct Vertex {
  float clip[4];
  float color[4];
  float tex[2];
};

// One command of a display list: the immediate-mode calls a list may hold.
struct ListOp {
  enum Kind { Begin, End, Color, TexCoord, Normal, Point } kind;
  double v[4];
};

struct State {
  Matrix modelview = kIdentity;
  Matrix projection = kIdentity;
  GLenum matrixMode = GL_MODELVIEW;
  double color[4] = {1, 1, 1, 1};
  double tex[2] = {0, 0};
  GLenum frontMode = GL_FILL;
  GLenum backMode = GL_FILL;
  bool texturing = false;

  // The primitive being specified, and the vertices given since its glBegin.
  bool inBegin = false;
  GLenum primitive = GL_TRIANGLES;
  std::vector<Vertex> pending;

  // The batch: triangles or lines, drawn together at the next flush.
  GLenum batchKind = GL_TRIANGLES;
  bool batchTextured = false;
  std::vector<float> batch;

  std::map<GLuint, std::vector<ListOp>> lists;
  GLuint nextList = 1;
  GLuint compiling = 0;  // the list being compiled, 0 for none

  // The layer's program, vertex array and buffer stay bound: nothing else draws.
  GLuint program = 0, vertexArray = 0, buffer = 0;
  GLint texturedLocation = -1;
  bool texturedSet = false;  // the program's "textured" uniform as last set

  bool colorWrite = true, depthWrite = true;
  GLuint boundTexture = 0;
  GLint unpackAlignment = 4;
  // Texture levels given while nothing could be drawn, the last one of each level.
  struct Upload {
    GLuint texture;
    GLint level;
    GLsizei width, height;
    std::vector<uint8_t> rgba;
  };
  std::vector<Upload> uploads;
  // Each texture level as last given: its internal format (which decides what its
  // parts replaced later keep of their pixels) and size.
  struct Level {
    GLint internal;
    GLsizei width, height;
  };
  std::map<std::pair<GLuint, GLint>, Level> levels;

  bool drawn = false;  // something drawn or cleared since the last Flush
};

State gl;

Matrix& CurrentMatrix() { return gl.matrixMode == GL_PROJECTION ? gl.projection : gl.modelview; }

void MultiplyCurrent(const Matrix& m) { CurrentMatrix() = Multiply(CurrentMatrix(), m); }

void Recording(ListOp::Kind kind, double a = 0, double b = 0, double c = 0, double d = 0) {
  gl.lists[gl.compiling].push_back({kind, {a, b, c, d}});
}

// Whether anything drawn now could change the picture.
bool Writing() { return gl.colorWrite || gl.depthWrite; }

// One level of the bound texture as 8-bit RGBA, now, or while nothing could be drawn,
// before the next draw that can change the picture (the only kind that samples it); a
// later level in its place, or the texture's deletion, replaces it. A whole level given
// again at its size (inPlace) goes into the storage the texture has, unless the level
// is still kept (its storage then is not made yet).
void UploadLevel(GLenum target, GLint level, GLsizei width, GLsizei height,
                 std::vector<uint8_t> rgba, bool inPlace = false) {
  if (std::erase_if(gl.uploads, [level](const State::Upload& kept) {
        return kept.texture == gl.boundTexture && kept.level == level;
      }) > 0)
    inPlace = false;
  if (!Writing()) {
    gl.uploads.push_back({gl.boundTexture, level, width, height, std::move(rgba)});
    return;
  }
  if (gl.unpackAlignment != 4) emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  if (inPlace)
    emscripten_glTexSubImage2D(target, level, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE,
                               rgba.data());
  else
    emscripten_glTexImage2D(target, level, GL_RGBA8, width, height, 0, GL_RGBA,
                            GL_UNSIGNED_BYTE, rgba.data());
  if (gl.unpackAlignment != 4) emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, gl.unpackAlignment);
}

// The uploads kept while nothing could be drawn, before a draw that can change the picture.
void UploadKeptLevels() {
  const GLuint bound = gl.boundTexture;
  for (State::Upload& kept : std::exchange(gl.uploads, {})) {
    gl.boundTexture = kept.texture;
    emscripten_glBindTexture(GL_TEXTURE_2D, kept.texture);
    UploadLevel(GL_TEXTURE_2D, kept.level, kept.width, kept.height, std::move(kept.rgba));
  }
  gl.boundTexture = bound;
  emscripten_glBindTexture(GL_TEXTURE_2D, bound);
}

void FlushBatch() {
  if (gl.batch.empty() || !gl.program || !Writing()) {
    gl.batch.clear();
    return;
  }
  if (!gl.uploads.empty()) UploadKeptLevels();
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(gl.batch.size() * sizeof(float)),
               gl.batch.data(), GL_STREAM_DRAW);
  if (gl.batchTextured != gl.texturedSet) {
    glUniform1i(gl.texturedLocation, gl.batchTextured ? 1 : 0);
    gl.texturedSet = gl.batchTextured;
  }
  glDrawArrays(gl.batchKind, 0, static_cast<GLsizei>(gl.batch.size() / 10));
  gl.batch.clear();
  gl.drawn = true;
}

void Emit(GLenum kind, const Vertex& v) {
  if (!gl.batch.empty() && (kind != gl.batchKind || gl.texturing != gl.batchTextured)) FlushBatch();
  gl.batchKind = kind;
  gl.batchTextured = gl.texturing;
  const float* f = v.clip;
  gl.batch.insert(gl.batch.end(), f, f + 4);
  gl.batch.insert(gl.batch.end(), v.color, v.color + 4);
  gl.batch.insert(gl.batch.end(), v.tex, v.tex + 2);
}

// The polygon's facing in window coordinates, from its homogeneous coordinates:
// positive for counter-clockwise (the front face). Each triangle of its fan counts by
// the determinant of its (x, y, w) rows, whose sign is that of the part of it in front
// of the eye, even where some corners lie behind it and dividing by w would flip it.
double FacingArea(const Vertex* v, size_t count) {
  double area = 0;
  for (size_t i = 1; i + 1 < count; ++i) {
    const float* a = v[0].clip;
    const float* b = v[i].clip;
    const float* c = v[i + 1].clip;
    area += double(a[0]) * (double(b[1]) * c[3] - double(b[3]) * c[1]) -
            double(a[1]) * (double(b[0]) * c[3] - double(b[3]) * c[0]) +
            double(a[3]) * (double(b[0]) * c[1] - double(b[1]) * c[0]);
  }
  return area;
}

// How far a vertex lies in front of the near plane (z = -w in clip space): negative
// behind it. Every vertex behind the eye (w < 0) is behind the near plane too.
double NearDistance(const Vertex& v) { return double(v.clip[2]) + v.clip[3]; }

// Where the edge from a vertex in front of the near plane to one behind it crosses it,
// with colour and texture coordinates interpolated in clip space, as GL's clipping does.
Vertex OnNearPlane(const Vertex& in, const Vertex& out) {
  const double t = NearDistance(in) / (NearDistance(in) - NearDistance(out));
  const auto between = [t](float a, float b) {
    return static_cast<float>(a + t * (double(b) - a));
  };
  Vertex v;
  for (int i = 0; i < 4; ++i) v.clip[i] = between(in.clip[i], out.clip[i]);
  for (int i = 0; i < 4; ++i) v.color[i] = between(in.color[i], out.color[i]);
  for (int i = 0; i < 2; ++i) v.tex[i] = between(in.tex[i], out.tex[i]);
  return v;
}

// Geometry reaches WebGL clipped against the near plane: a line or triangle with a
// corner behind the eye is dropped whole by some rasterisers (SwiftShader) instead.
void EmitLine(const Vertex& a, const Vertex& b) {
  const bool aIn = NearDistance(a) >= 0, bIn = NearDistance(b) >= 0;
  if (!aIn && !bIn) return;
  Emit(GL_LINES, aIn ? a : OnNearPlane(b, a));
  Emit(GL_LINES, bIn ? b : OnNearPlane(a, b));
}

// The production draws quads and triangles only.
constexpr size_t kMostSides = 4;

// One polygon as its facing's mode draws it: filled (a fan of triangles over its part
// in front of the near plane) or its edges (without the edge the near plane cuts in).
void EmitPolygon(const Vertex* v, size_t count) {
  const GLenum mode = FacingArea(v, count) >= 0 ? gl.frontMode : gl.backMode;
  if (mode == GL_LINE) {
    for (size_t i = 0; i < count; ++i) EmitLine(v[i], v[(i + 1) % count]);
  } else if (mode == GL_FILL) {
    Vertex front[kMostSides + 1];  // one plane cuts a convex polygon into one more corner
    size_t corners = 0;
    for (size_t i = 0; i < count; ++i) {
      const Vertex& a = v[i];
      const Vertex& b = v[(i + 1) % count];
      const bool aIn = NearDistance(a) >= 0, bIn = NearDistance(b) >= 0;
      if (aIn) front[corners++] = a;
      if (aIn != bIn) front[corners++] = aIn ? OnNearPlane(a, b) : OnNearPlane(b, a);
    }
    for (size_t i = 1; i + 1 < corners; ++i) {
      Emit(GL_TRIANGLES, front[0]);
      Emit(GL_TRIANGLES, front[i]);
      Emit(GL_TRIANGLES, front[i + 1]);
    }
  }
}

void AssemblePending() {
  const size_t sides = gl.primitive == GL_QUADS ? 4 : 3;
  for (size_t i = 0; i + sides <= gl.pending.size(); i += sides) EmitPolygon(&gl.pending[i], sides);
  gl.pending.clear();
}

void DoVertex(double x, double y, double z) {
  if (!Writing()) return;
  const Matrix mvp = Multiply(gl.projection, gl.modelview);
  Vertex v{};
  for (int row = 0; row < 4; ++row)
    v.clip[row] = static_cast<float>(mvp[row] * x + mvp[4 + row] * y + mvp[8 + row] * z +
                                     mvp[12 + row]);
  for (int i = 0; i < 4; ++i) v.color[i] = static_cast<float>(gl.color[i]);
  v.tex[0] = static_cast<float>(gl.tex[0]);
  v.tex[1] = static_cast<float>(gl.tex[1]);
  gl.pending.push_back(v);
}

void DoColor(double r, double g, double b, double a) {
  const double c[4] = {r, g, b, a};
  for (int i = 0; i < 4; ++i) gl.color[i] = std::clamp(c[i], 0.0, 1.0);
}

// Pixels of the given format and alignment as 8-bit RGBA, stored as the internal
// format keeps them (luminance from red; no alpha channel reads as opaque).
std::vector<uint8_t> ToRgba(GLint internal, GLsizei width, GLsizei height, GLenum format,
                            const void* data) {
  std::vector<uint8_t> out(size_t(width) * height * 4, 0);
  if (!data || width <= 0 || height <= 0) return out;
  int channels = 4;
  if (format == GL_RGB) channels = 3;
  if (format == GL_LUMINANCE || format == GL_ALPHA) channels = 1;
  if (format == GL_LUMINANCE_ALPHA) channels = 2;
  const GLint alignment = gl.unpackAlignment;
  const size_t row = (size_t(width) * channels + alignment - 1) / alignment * alignment;
  const auto* bytes = static_cast<const uint8_t*>(data);
  // RGBA rows without padding into an RGBA texture (the canvas texture, each frame it
  // changes) are already as stored.
  if (format == GL_RGBA && (internal == 4 || internal == GL_RGBA || internal == GL_RGBA8) &&
      row == size_t(width) * 4) {
    std::memcpy(out.data(), bytes, out.size());
    return out;
  }
  for (GLsizei y = 0; y < height; ++y)
    for (GLsizei x = 0; x < width; ++x) {
      const uint8_t* p = bytes + y * row + size_t(x) * channels;
      uint8_t r = p[0], g = p[0], b = p[0], a = 255;
      if (format == GL_RGBA || format == GL_RGB) g = p[1], b = p[2];
      if (format == GL_BGRA_EXT) r = p[2], g = p[1], b = p[0];
      if (format == GL_RGBA || format == GL_BGRA_EXT) a = p[3];
      if (format == GL_LUMINANCE_ALPHA) a = p[1];
      if (format == GL_ALPHA) r = g = b = 0, a = p[0];
      if (internal == 1 || internal == GL_LUMINANCE || internal == 2 ||
          internal == GL_LUMINANCE_ALPHA)
        g = b = r;
      if (internal == 1 || internal == 3 || internal == GL_LUMINANCE || internal == GL_RGB)
        a = 255;
      uint8_t* o = &out[(size_t(y) * width + x) * 4];
      o[0] = r, o[1] = g, o[2] = b, o[3] = a;
    }
  return out;
}

// One RGBA image half the size (at least 1), each pixel the rounded mean of the
// 2 x 2 (or 2 x 1) block above it.
std::vector<uint8_t> HalfSize(const std::vector<uint8_t>& in, int width, int height,
                              int& outWidth, int& outHeight) {
  outWidth = std::max(1, width / 2);
  outHeight = std::max(1, height / 2);
  std::vector<uint8_t> out(size_t(outWidth) * outHeight * 4);
  for (int y = 0; y < outHeight; ++y)
    for (int x = 0; x < outWidth; ++x)
      for (int c = 0; c < 4; ++c) {
        int sum = 0, n = 0;
        for (int dy = 0; dy < (height > 1 ? 2 : 1); ++dy)
          for (int dx = 0; dx < (width > 1 ? 2 : 1); ++dx, ++n)
            sum += in[((size_t(y) * 2 + dy) * width + size_t(x) * 2 + dx) * 4 + c];
        out[(size_t(y) * outWidth + x) * 4 + c] = static_cast<uint8_t>((sum + n / 2) / n);
      }
  return out;
}

// The largest power of two not above n.
int PowerBelow(int n) {
  int p = 1;
  while (p * 2 <= n) p *= 2;
  return p;
}

// An RGBA image scaled to another size, each output pixel the mean of the input
// pixels its area covers (by their centres; the nearest one when none do).
std::vector<uint8_t> Scale(const std::vector<uint8_t>& in, int width, int height, int toWidth,
                           int toHeight) {
  std::vector<uint8_t> out(size_t(toWidth) * toHeight * 4);
  for (int y = 0; y < toHeight; ++y)
    for (int x = 0; x < toWidth; ++x) {
      const int x0 = x * width / toWidth, x1 = std::max(x0 + 1, (x + 1) * width / toWidth);
      const int y0 = y * height / toHeight, y1 = std::max(y0 + 1, (y + 1) * height / toHeight);
      for (int c = 0; c < 4; ++c) {
        int sum = 0;
        for (int sy = y0; sy < y1; ++sy)
          for (int sx = x0; sx < x1; ++sx) sum += in[(size_t(sy) * width + sx) * 4 + c];
        const int n = (x1 - x0) * (y1 - y0);
        out[(size_t(y) * toWidth + x) * 4 + c] = static_cast<uint8_t>((sum + n / 2) / n);
      }
    }
  return out;
}

}  // namespace

bool Init() {
  const char* vertexSource =
      "#version 300 es\n"
      "in vec4 position; in vec4 color; in vec2 tex;\n"
      "out vec4 vColor; out vec2 vTex;\n"
      "void main() { gl_Position = position; vColor = color; vTex = tex; }\n";
  const char* fragmentSource =
      "#version 300 es\n"
      "precision highp float;\n"
      "uniform sampler2D picture; uniform bool textured;\n"
      "in vec4 vColor; in vec2 vTex; out vec4 fragment;\n"
      "void main() { fragment = textured ? vColor * texture(picture, vTex) : vColor; }\n";
  GLuint shaders[2] = {glCreateShader(GL_VERTEX_SHADER), glCreateShader(GL_FRAGMENT_SHADER)};
  const char* sources[2] = {vertexSource, fragmentSource};
  gl.program = glCreateProgram();
  for (int i = 0; i < 2; ++i) {
    glShaderSource(shaders[i], 1, &sources[i], nullptr);
    glCompileShader(shaders[i]);
    glAttachShader(gl.program, shaders[i]);
  }
  glBindAttribLocation(gl.program, 0, "position");
  glBindAttribLocation(gl.program, 1, "color");
  glBindAttribLocation(gl.program, 2, "tex");
  glLinkProgram(gl.program);
  GLint linked = 0;
  glGetProgramiv(gl.program, GL_LINK_STATUS, &linked);
  if (!linked) {
    gl.program = 0;
    return false;
  }
  gl.texturedLocation = glGetUniformLocation(gl.program, "textured");
  glUseProgram(gl.program);
  glUniform1i(glGetUniformLocation(gl.program, "picture"), 0);
  glGenVertexArrays(1, &gl.vertexArray);
  glGenBuffers(1, &gl.buffer);
  glBindVertexArray(gl.vertexArray);
  glBindBuffer(GL_ARRAY_BUFFER, gl.buffer);
  const GLsizei stride = 10 * sizeof(float);
  glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, stride, nullptr);
  glVertexAttribPointer(1, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(16));
  glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(32));
  for (GLuint i = 0; i < 3; ++i) glEnableVertexAttribArray(i);
  return true;
}

bool Flush() {
  FlushBatch();
  const bool drawn = gl.drawn;
  gl.drawn = false;
  return drawn;
}

}  // namespace window::glweb

using window::glweb::gl;
using namespace window::glweb;

extern "C" {

// Matrices.
void glMatrixMode(GLenum mode) { gl.matrixMode = mode; }
void glLoadIdentity() { CurrentMatrix() = kIdentity; }
void glTranslated(GLdouble x, GLdouble y, GLdouble z) {
  MultiplyCurrent({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1});
}
void glTranslatef(GLfloat x, GLfloat y, GLfloat z) { glTranslated(x, y, z); }
void glRotated(GLdouble angle, GLdouble x, GLdouble y, GLdouble z) {
  const double length = std::sqrt(x * x + y * y + z * z);
  if (length == 0) return;
  x /= length, y /= length, z /= length;
  const double radians = angle * M_PI / 180.0;
  const double c = std::cos(radians), s = std::sin(radians), t = 1 - c;
  MultiplyCurrent({x * x * t + c, y * x * t + z * s, x * z * t - y * s, 0,
                   x * y * t - z * s, y * y * t + c, y * z * t + x * s, 0,
                   x * z * t + y * s, y * z * t - x * s, z * z * t + c, 0, 0, 0, 0, 1});
}
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
  const double f = 1.0 / std::tan(fovy * M_PI / 360.0);
  MultiplyCurrent({f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (zFar + zNear) / (zNear - zFar), -1, 0,
                   0, 2 * zFar * zNear / (zNear - zFar), 0});
}

// Immediate mode, recorded instead while a display list is compiled.
void glBegin(GLenum mode) {
  if (gl.compiling) return Recording(ListOp::Begin, mode);
  gl.inBegin = true;
  gl.primitive = mode;
  gl.pending.clear();
}
void glEnd() {
  if (gl.compiling) return Recording(ListOp::End);
  gl.inBegin = false;
  AssemblePending();
}
void glVertex3d(GLdouble x, GLdouble y, GLdouble z) {
  if (gl.compiling) return Recording(ListOp::Point, x, y, z);
  if (gl.inBegin) DoVertex(x, y, z);
}
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { glVertex3d(x, y, z); }
void glColor4d(GLdouble r, GLdouble g, GLdouble b, GLdouble a) {
  if (gl.compiling) return Recording(ListOp::Color, r, g, b, a);
  DoColor(r, g, b, a);
}
void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { glColor4d(r, g, b, a); }
void glTexCoord2d(GLdouble s, GLdouble t) {
  if (gl.compiling) return Recording(ListOp::TexCoord, s, t);
  gl.tex[0] = s;
  gl.tex[1] = t;
}
void glTexCoord2f(GLfloat s, GLfloat t) { glTexCoord2d(s, t); }
// Lighting is never on, so normals have no effect on the picture.
void glNormal3f(GLfloat x, GLfloat y, GLfloat z) {
  if (gl.compiling) Recording(ListOp::Normal, x, y, z);
}

// Display lists (compile mode: the calls are kept, not run).
GLuint glGenLists(GLsizei range) {
  const GLuint first = gl.nextList;
  gl.nextList += static_cast<GLuint>(std::max(range, 0));
  return range > 0 ? first : 0;
}
void glNewList(GLuint list, GLenum) {
  gl.compiling = list;
  gl.lists[list].clear();
}
void glEndList() { gl.compiling = 0; }
void glCallList(GLuint list) {
  const auto found = gl.lists.find(list);
  if (found == gl.lists.end()) return;
  for (const ListOp& op : found->second) {
    switch (op.kind) {
      case ListOp::Begin: glBegin(static_cast<GLenum>(op.v[0])); break;
      case ListOp::End: glEnd(); break;
      case ListOp::Color: DoColor(op.v[0], op.v[1], op.v[2], op.v[3]); break;
      case ListOp::TexCoord: glTexCoord2d(op.v[0], op.v[1]); break;
      case ListOp::Normal: break;
      case ListOp::Point: glVertex3d(op.v[0], op.v[1], op.v[2]); break;
    }
  }
}

// Rasterisation state.
void glPolygonMode(GLenum face, GLenum mode) {
  if (face == GL_FRONT || face == GL_FRONT_AND_BACK) gl.frontMode = mode;
  if (face == GL_BACK || face == GL_FRONT_AND_BACK) gl.backMode = mode;
}
void glShadeModel(GLenum) {}
void glHint(GLenum, GLenum) {}
void glTexEnvi(GLenum, GLenum, GLint) {}
void glClearDepth(GLclampd depth) { emscripten_glClearDepthf(static_cast<float>(depth)); }
void glEnable(GLenum cap) {
  FlushBatch();
  if (cap == GL_TEXTURE_2D)
    gl.texturing = true;
  else
    emscripten_glEnable(cap);
}
void glDisable(GLenum cap) {
  FlushBatch();
  if (cap == GL_TEXTURE_2D)
    gl.texturing = false;
  else
    emscripten_glDisable(cap);
}
void glBlendFunc(GLenum source, GLenum destination) {
  FlushBatch();
  emscripten_glBlendFunc(source, destination);
}
void glDepthFunc(GLenum func) {
  FlushBatch();
  emscripten_glDepthFunc(func);
}
void glClear(GLbitfield mask) {
  FlushBatch();
  if (!Writing()) return;
  emscripten_glClear(mask);
  gl.drawn = true;
}
void glColorMask(GLboolean red, GLboolean green, GLboolean blue, GLboolean alpha) {
  FlushBatch();
  gl.colorWrite = red || green || blue || alpha;
  emscripten_glColorMask(red, green, blue, alpha);
}
void glDepthMask(GLboolean flag) {
  FlushBatch();
  gl.depthWrite = flag;
  emscripten_glDepthMask(flag);
}
void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
  FlushBatch();
  emscripten_glViewport(x, y, width, height);
}
void glScissor(GLint x, GLint y, GLsizei width, GLsizei height) {
  FlushBatch();
  emscripten_glScissor(x, y, width, height);
}
void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                  void* pixels) {
  FlushBatch();
  emscripten_glReadPixels(x, y, width, height, format, type, pixels);
}

// Textures: every format the production uploads becomes 8-bit RGBA.
void glBindTexture(GLenum target, GLuint texture) {
  FlushBatch();
  gl.boundTexture = texture;
  emscripten_glBindTexture(target, texture);
}
void glDeleteTextures(GLsizei n, const GLuint* textures) {
  FlushBatch();
  for (GLsizei i = 0; i < n; ++i) {
    std::erase_if(gl.uploads, [&](const State::Upload& u) { return u.texture == textures[i]; });
    std::erase_if(gl.levels, [&](const auto& level) { return level.first.first == textures[i]; });
    if (gl.boundTexture == textures[i]) gl.boundTexture = 0;
  }
  emscripten_glDeleteTextures(n, textures);
}
void glPixelStorei(GLenum name, GLint value) {
  if (name == GL_UNPACK_ALIGNMENT) gl.unpackAlignment = value;
  emscripten_glPixelStorei(name, value);
}
void glTexParameteri(GLenum target, GLenum name, GLint value) {
  FlushBatch();
  emscripten_glTexParameteri(target, name, value);
}
void glTexImage2D(GLenum target, GLint level, GLint internal, GLsizei width, GLsizei height,
                  GLint, GLenum format, GLenum, const void* pixels) {
  FlushBatch();
  gl.levels[{gl.boundTexture, level}] = {internal, width, height};
  UploadLevel(target, level, width, height, ToRgba(internal, width, height, format, pixels));
}
// The production replaces whole levels only (the canvas each frame); a part of a level
// goes straight to WebGL, after any whole level still kept for the texture.
void glTexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei width,
                     GLsizei height, GLenum format, GLenum, const void* pixels) {
  const auto given = gl.levels.find({gl.boundTexture, level});
  if (given == gl.levels.end() || width <= 0 || height <= 0) return;
  FlushBatch();
  const State::Level& whole = given->second;
  std::vector<uint8_t> rgba = ToRgba(whole.internal, width, height, format, pixels);
  if (x == 0 && y == 0 && width == whole.width && height == whole.height) {
    UploadLevel(target, level, width, height, std::move(rgba), true);
    return;
  }
  if (!gl.uploads.empty()) {
    const bool writing = std::exchange(gl.colorWrite, true);
    UploadKeptLevels();
    gl.colorWrite = writing;
  }
  if (gl.unpackAlignment != 4) emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  emscripten_glTexSubImage2D(target, level, x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE,
                             rgba.data());
  if (gl.unpackAlignment != 4) emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, gl.unpackAlignment);
}

// GLU's mipmaps: a size that is not a power of two is first scaled down to one, then
// each level is the rounded 2 x 2 mean of the one before, down to 1 x 1.
GLint gluBuild2DMipmaps(GLenum target, GLint internal, GLsizei width, GLsizei height,
                        GLenum format, GLenum, const void* data) {
  if (width <= 0 || height <= 0) return GLU_INVALID_VALUE;
  FlushBatch();
  std::vector<uint8_t> level = ToRgba(internal, width, height, format, data);
  int w = PowerBelow(width), h = PowerBelow(height);
  if (w != width || h != height) level = Scale(level, width, height, w, h);
  for (GLint index = 0;; ++index) {
    int nextWidth = 0, nextHeight = 0;
    std::vector<uint8_t> next;
    if (w > 1 || h > 1) next = HalfSize(level, w, h, nextWidth, nextHeight);
    gl.levels[{gl.boundTexture, index}] = {internal, w, h};
    UploadLevel(target, index, w, h, std::move(level));
    if (next.empty()) break;
    level = std::move(next);
    w = nextWidth, h = nextHeight;
  }
  return 0;
}

}  // extern "C"
