# The tests run the built tool as a separate program.
add_dependencies(test_render lumetra-render)
