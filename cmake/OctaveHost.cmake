# GNU Octave as a host: its development files as mkoctfile reports them, and
# the host backend target for the module. Sets QUORVEL_OCTAVE_FOUND; without
# mkoctfile and octave-cli, or in a sanitizer build (Octave cannot load an
# instrumented module), the Octave targets are left out.
set(QUORVEL_OCTAVE_FOUND OFF)
find_program(QUORVEL_MKOCTFILE mkoctfile)
find_program(QUORVEL_OCTAVE_CLI octave-cli)
if(NOT QUORVEL_MKOCTFILE OR NOT QUORVEL_OCTAVE_CLI OR QUORVEL_SANITIZE)
  return()
endif()

# quorvel_mkoctfile_value(<variable> <name>): one of mkoctfile's build
# variables, as a list of arguments.
function(quorvel_mkoctfile_value variable name)
  execute_process(COMMAND ${QUORVEL_MKOCTFILE} -p ${name}
                  OUTPUT_VARIABLE value ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(failed)
    set(value "")
  endif()
  separate_arguments(value UNIX_COMMAND "${value}")
  set(${variable} "${value}" PARENT_SCOPE)
endfunction()

quorvel_mkoctfile_value(octave_include_flags INCFLAGS)
quorvel_mkoctfile_value(QUORVEL_OCTAVE_LINK_FLAGS DL_LDFLAGS)
set(octave_include_dirs "")
foreach(flag IN LISTS octave_include_flags)
  if(flag MATCHES "^-I(.+)$")
    list(APPEND octave_include_dirs "${CMAKE_MATCH_1}")
  endif()
endforeach()
find_path(QUORVEL_OCTAVE_MEX_H mex.h PATHS ${octave_include_dirs} NO_DEFAULT_PATH)
if(NOT QUORVEL_OCTAVE_MEX_H)
  return()
endif()
set(QUORVEL_OCTAVE_FOUND ON)

# Octave's mex.h behind host.h; its headers are not ours to warn about. Made
# once, however many folders include this file.
if(NOT TARGET quorvel_octavehost)
  add_library(quorvel_octavehost INTERFACE)
  target_include_directories(quorvel_octavehost SYSTEM INTERFACE ${octave_include_dirs})
  target_include_directories(quorvel_octavehost INTERFACE ${PROJECT_SOURCE_DIR}/src/platform/octave
                                                          ${PROJECT_SOURCE_DIR}/src/platform)
  target_sources(quorvel_octavehost INTERFACE ${PROJECT_SOURCE_DIR}/src/platform/octave/struct_fields.cpp
                                              ${PROJECT_SOURCE_DIR}/src/platform/octave/interrupt_state.cpp)
endif()

# quorvel_add_octave_mex(<target> <name> <output folder> <sources...>): a MEX
# file <name>.mex that links no Octave library (the running Octave provides
# the mex/mx symbols) and exports only the MEX entry points.
function(quorvel_add_octave_mex target name folder)
  add_library(${target} MODULE ${ARGN})
  target_link_libraries(${target} PRIVATE quorvel_octavehost)
  set(exports ${PROJECT_SOURCE_DIR}/src/platform/octave/exports.map)
  target_link_options(${target} PRIVATE ${QUORVEL_OCTAVE_LINK_FLAGS} -Wl,--version-script=${exports})
  set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ".mex" OUTPUT_NAME ${name}
                        LIBRARY_OUTPUT_DIRECTORY ${folder} LINK_DEPENDS ${exports})
endfunction()
