# quorvel_add_download(<target> <name> <files...>): packs the files into
# <name>.zip in the build folder, in one folder <name>, built with everything.
# Sets QUORVEL_DOWNLOAD to the archive's path.
function(quorvel_add_download target name)
  set(archive ${CMAKE_BINARY_DIR}/${name}.zip)
  set(stage ${CMAKE_CURRENT_BINARY_DIR}/archive)
  file(MAKE_DIRECTORY ${stage})
  add_custom_command(OUTPUT ${archive}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}/${name}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/${name}
    COMMAND ${CMAKE_COMMAND} -E copy ${ARGN} ${stage}/${name}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${archive} --format=zip ${name}
    WORKING_DIRECTORY ${stage}
    DEPENDS ${ARGN}
    COMMENT "Packing ${name}.zip" VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${archive})
  set(QUORVEL_DOWNLOAD ${archive} PARENT_SCOPE)
endfunction()
