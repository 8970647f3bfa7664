# The tests encode their own small MP3 files.
target_link_libraries(test_music PRIVATE mp3lame)
