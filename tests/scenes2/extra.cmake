# Route glBegin, glColor4f and glVertex3d through the call recorder.
target_link_options(test_scenes2 PRIVATE
  "LINKER:--wrap=glBegin,--wrap=glColor4f,--wrap=glVertex3d")
