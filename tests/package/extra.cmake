# The package test packs the build tree with CPack (which builds nothing itself):
# everything the package holds is built first.
add_dependencies(test_package lumetra lumetra-render tqz lumetra_package_files lumetra_icons)
target_compile_definitions(test_package PRIVATE LUMETRA_CPACK="${CMAKE_CPACK_COMMAND}")
