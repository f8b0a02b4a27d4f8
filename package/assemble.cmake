# cmake -DSOURCE=<repository> -DBINARY=<package folder> -DNAME=quorvel-<version>
#       -DDESCRIPTION=<configured DESCRIPTION> -P assemble.cmake
# Lays out the Octave package and packs it as <BINARY>/<NAME>.tar.gz.
set(root ${BINARY}/${NAME})
file(REMOVE_RECURSE ${root})
file(MAKE_DIRECTORY ${root}/inst ${root}/src/quorvel/platform)
file(COPY ${DESCRIPTION} ${SOURCE}/package/INDEX ${SOURCE}/package/post_install.m
     DESTINATION ${root})
file(COPY ${SOURCE}/octave/vantrel.m ${SOURCE}/octave/quorvel.m ${SOURCE}/octave/quorvel_ports.m
          ${SOURCE}/octave/quorvel_writeline.m ${SOURCE}/octave/quorvel_readline.m ${SOURCE}/octave/quorvel_query.m
          ${SOURCE}/octave/quorvel_read.m ${SOURCE}/octave/quorvel_options.m
     DESTINATION ${root}/inst)
file(COPY ${SOURCE}/package/Makefile DESTINATION ${root}/src)
configure_file(${SOURCE}/LICENSE ${root}/COPYING COPYONLY)
file(COPY ${SOURCE}/src/gateway ${SOURCE}/src/ports ${SOURCE}/src/transfer ${SOURCE}/src/common
          ${SOURCE}/src/port_survey
     DESTINATION ${root}/src/quorvel PATTERN CMakeLists.txt EXCLUDE)
file(COPY ${SOURCE}/src/platform/host.h ${SOURCE}/src/platform/serial.h ${SOURCE}/src/platform/octave
          ${SOURCE}/src/platform/posix ${SOURCE}/src/platform/win32compat
     DESTINATION ${root}/src/quorvel/platform
     PATTERN CMakeLists.txt EXCLUDE)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar czf ${NAME}.tar.gz ${NAME} WORKING_DIRECTORY ${BINARY}
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "could not pack ${NAME}.tar.gz")
endif()
