# Run by CPack after it made the packages: CPack writes the debug-symbol package's
# md5sums with the absolute paths of its staging folder, so the package is rebuilt here
# with the paths dpkg expects (relative to the root), and with its documentation folder a
# link to the main package's (copyright, changelog), as Debian's own -dbgsym packages
# have it. dpkg-deb takes the times from SOURCE_DATE_EPOCH, as CPack does.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.ddeb$")
    continue()
  endif()
  set(tree ${package}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${package} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(READ ${tree}/DEBIAN/md5sums sums)
  string(REGEX REPLACE "  /[^\n]*/_CPack_Packages/[^/\n]+/DEB/[^/\n]+/" "  " sums "${sums}")
  file(WRITE ${tree}/DEBIAN/md5sums "${sums}")
  string(REGEX REPLACE ".*/([^/_]+)-dbgsym_[^/]*$" "\\1" main ${package})
  file(MAKE_DIRECTORY ${tree}/usr/share/doc)
  file(CREATE_LINK ${main} ${tree}/usr/share/doc/${main}-dbgsym SYMBOLIC)
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build ${tree} ${package}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
