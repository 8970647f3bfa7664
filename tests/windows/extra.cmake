# The Windows program's runs under Wine compare frames with lumetra-render's. The
# program itself is built by ./windows.sh into build-windows/ (./test.sh --windows);
# without it these tests skip.
add_dependencies(test_windows lumetra-render)
target_compile_definitions(test_windows PRIVATE LUMETRA_VERSION="${PROJECT_VERSION}")
