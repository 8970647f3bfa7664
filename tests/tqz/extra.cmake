# The command-line tests run the tqz program from the build folder and share the
# codec tests' picture helpers.
add_dependencies(test_tqz tqz)
target_sources(test_tqz PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/codec/codec_test_util.cpp)
target_include_directories(test_tqz PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/codec)
target_compile_definitions(test_tqz PRIVATE LUMETRA_VERSION="${PROJECT_VERSION}")
