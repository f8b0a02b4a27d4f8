# Writes the C source of a link-time stand-in for one of the host's libraries
# from our list of the functions the module imports from it (a .def file of
# the Windows build): one empty function per name. The module is linked
# against it, so that a host call the list does not name fails the link; the
# host's own library takes its place at run time.
#   cmake -DDEF=<libmx.def> -DOUTPUT=<source.c> -P host_stub.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/HostLists.cmake)
quorvel_def_names(names ${DEF})
set(source "/* Made from ${DEF} by host_stub.cmake. */\n")
foreach(name IN LISTS names)
  string(APPEND source "void ${name}(void) {}\n")
endforeach()
file(WRITE ${OUTPUT} ${source})
