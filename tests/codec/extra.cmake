# The command-line tests run the tqz program from the build folder.
add_dependencies(test_codec tqz)
