# Route the scenes' glBegin, glVertex3d and glRotated through the call recorder.
target_link_options(test_scenes2 PRIVATE
  "LINKER:--wrap=glBegin,--wrap=glVertex3d,--wrap=glRotated")
