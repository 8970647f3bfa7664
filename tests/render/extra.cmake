# The tests run the built tool as a separate program.
add_dependencies(test_render lumetra-render)
target_compile_definitions(test_render PRIVATE LUMETRA_VERSION="${PROJECT_VERSION}")
