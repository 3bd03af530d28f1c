# Run by cpack once the packages are made (CPACK_POST_BUILD_SCRIPTS). CPack writes the md5sums of
# the debug-symbols package with the absolute paths of its staging folder, which dpkg and lintian
# cannot match, and gives it no documentation folder. This rebuilds it as Debian's own debug-symbols
# packages are: md5sums of its files relative to its root, and /usr/share/doc/PACKAGE-dbgsym a link
# to the documentation folder of the package it depends on.
find_program(DPKG_DEB dpkg-deb REQUIRED)
foreach(package ${CPACK_PACKAGE_FILES})
  if(NOT package MATCHES "/([^/_]+)-dbgsym_[^/]*\\.ddeb$")
    continue()
  endif()
  set(main ${CMAKE_MATCH_1})
  set(tree ${CPACK_TEMPORARY_DIRECTORY}/dbgsym-rebuild)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND ${DPKG_DEB} --raw-extract ${package} ${tree} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "dpkg-deb --raw-extract ${package} failed")
  endif()

  file(MAKE_DIRECTORY ${tree}/usr/share/doc)
  file(CREATE_LINK ${main} ${tree}/usr/share/doc/${main}-dbgsym SYMBOLIC)

  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${tree} ${tree}/*)
  list(FILTER files EXCLUDE REGEX "^DEBIAN/")
  list(SORT files)
  set(sums "")
  foreach(file ${files})
    if(NOT IS_SYMLINK ${tree}/${file})
      file(MD5 ${tree}/${file} sum)
      string(APPEND sums "${sum}  ${file}\n")
    endif()
  endforeach()
  file(WRITE ${tree}/DEBIAN/md5sums "${sums}")
  file(CHMOD ${tree}/DEBIAN/md5sums PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

  execute_process(COMMAND ${DPKG_DEB} --root-owner-group -Zxz --build ${tree} ${package}
    OUTPUT_QUIET RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "dpkg-deb --build ${package} failed")
  endif()
  file(REMOVE_RECURSE ${tree})
  message(STATUS "Rebuilt ${package}: md5sums relative to its root, /usr/share/doc/${main}-dbgsym -> ${main}")
endforeach()
