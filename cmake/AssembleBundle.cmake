# assemble_bundle(TARGET <custom-target> DIR <bundle-dir> INFO_PLIST <file>
#                 [RESOURCES <files...>] [LPROJ_DIRS <folders...>] [DEPENDS <targets...>])
# Copies the information property list to Contents/Info.plist, each resource file into
# Contents/Resources/, and each <Name>.lproj folder whole into Contents/Resources/.
function(assemble_bundle)
  cmake_parse_arguments(B "" "TARGET;DIR;INFO_PLIST" "RESOURCES;LPROJ_DIRS;DEPENDS" ${ARGN})
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${B_TARGET}.stamp)
  set(commands
    COMMAND ${CMAKE_COMMAND} -E make_directory ${B_DIR}/Contents/Resources ${B_DIR}/Contents/MacOS
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${B_INFO_PLIST} ${B_DIR}/Contents/Info.plist)
  set(deps ${B_INFO_PLIST})
  foreach(res IN LISTS B_RESOURCES)
    list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${res} ${B_DIR}/Contents/Resources/)
    list(APPEND deps ${res})
  endforeach()
  foreach(lproj IN LISTS B_LPROJ_DIRS)
    get_filename_component(name ${lproj} NAME)
    list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_directory ${lproj} ${B_DIR}/Contents/Resources/${name})
    file(GLOB lproj_files ${lproj}/*)
    list(APPEND deps ${lproj_files})
  endforeach()
  add_custom_command(OUTPUT ${stamp} ${commands}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${deps} VERBATIM)
  add_custom_target(${B_TARGET} ALL DEPENDS ${stamp})
  if(B_DEPENDS)
    add_dependencies(${B_TARGET} ${B_DEPENDS})
  endif()
endfunction()
