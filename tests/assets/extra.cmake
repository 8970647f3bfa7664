# The data checks read the files the build makes in build/data.
add_dependencies(test_assets lumetra_data)
# The picture maker's drawing helpers are tested directly.
target_sources(test_assets PRIVATE ${CMAKE_SOURCE_DIR}/tools/assets/raster.cpp)
target_include_directories(test_assets PRIVATE ${CMAKE_SOURCE_DIR}/tools/assets)
find_package(Freetype REQUIRED)
target_link_libraries(test_assets PRIVATE Freetype::Freetype)
target_compile_definitions(test_assets PRIVATE DEJAVU_FONT_DIR="${DEJAVU_FONT_DIR}")
