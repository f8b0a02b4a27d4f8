# quorvel_add_octave_package(<target>): builds quorvel-<version>.tar.gz in the
# build folder, an Octave package that "pkg install" builds with mkoctfile.
# Sets QUORVEL_OCTAVE_PACKAGE to its path.
function(quorvel_add_octave_package target)
  set(name quorvel-${PROJECT_VERSION})
  set(folder ${CMAKE_BINARY_DIR}/package)
  string(TIMESTAMP QUORVEL_PACKAGE_DATE "%Y-%m-%d" UTC)
  configure_file(${PROJECT_SOURCE_DIR}/package/DESCRIPTION.in ${folder}/DESCRIPTION @ONLY)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/src/gateway/* ${PROJECT_SOURCE_DIR}/src/common/* ${PROJECT_SOURCE_DIR}/src/ports/*
       ${PROJECT_SOURCE_DIR}/src/transfer/* ${PROJECT_SOURCE_DIR}/src/port_survey/*
       ${PROJECT_SOURCE_DIR}/src/platform/octave/* ${PROJECT_SOURCE_DIR}/src/platform/posix/*
       ${PROJECT_SOURCE_DIR}/src/platform/win32compat/* ${PROJECT_SOURCE_DIR}/package/*)
  set(archive ${CMAKE_BINARY_DIR}/${name}.tar.gz)
  add_custom_command(
    OUTPUT ${archive}
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DBINARY=${folder} -DNAME=${name}
            -DDESCRIPTION=${folder}/DESCRIPTION -P ${PROJECT_SOURCE_DIR}/package/assemble.cmake
    COMMAND ${CMAKE_COMMAND} -E copy ${folder}/${name}.tar.gz ${archive}
    DEPENDS ${sources} ${PROJECT_SOURCE_DIR}/LICENSE ${QUORVEL_MFILES} ${PROJECT_SOURCE_DIR}/octave/quorvel_ports.m
            ${folder}/DESCRIPTION
    COMMENT "Packing the Octave package ${name}.tar.gz")
  add_custom_target(${target} ALL DEPENDS ${archive})
  set(QUORVEL_OCTAVE_PACKAGE ${archive} PARENT_SCOPE)
endfunction()
