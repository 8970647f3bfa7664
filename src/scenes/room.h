// The 80-unit room cube around the viewer, shared by the star-and-stream and the
// greetings scenes.
#pragma once

#include <GL/gl.h>

namespace scenes {

// Generates a new display list and compiles (without drawing) the six inner faces,
// texture coordinates 0 to 2 so the bound texture repeats twice across each face.
GLuint CompileRoom();

// Loads the room's model-view frame: identity, then the turns by AngleX about x and
// AngleY about y (the viewer sits at the cube's centre).
void LoadRoomFrame();

}  // namespace scenes
