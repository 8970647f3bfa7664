# The end-to-end runs use the music tests' MP3 maker and need the program built.
target_sources(test_e2e PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/music/tone_mp3.cpp)
target_link_libraries(test_e2e PRIVATE mp3lame)
add_dependencies(test_e2e lumetra)
