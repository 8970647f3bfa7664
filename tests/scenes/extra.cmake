# Route the drawing calls through the call log (support/call_log.cpp).
target_link_options(test_scenes PRIVATE
  "LINKER:--wrap=glBegin,--wrap=glColor4f,--wrap=glColor4d,--wrap=glTexCoord2f,--wrap=glTexCoord2d,--wrap=glVertex3f,--wrap=glVertex3d,--wrap=glLoadIdentity,--wrap=glCallList,--wrap=glNewList,--wrap=glEndList")
