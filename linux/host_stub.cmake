# Writes the C source of a link-time stand-in for one of the host's libraries
# from our list of the functions the module imports from it (a .def file of
# the Windows build): one empty function per name. The module is linked
# against it, so that a host call the list does not name fails the link; the
# host's own library takes its place at run time.
#   cmake -DDEF=<libmx.def> -DOUTPUT=<source.c> -P host_stub.cmake
file(STRINGS ${DEF} names REGEX "^[ \t]+[A-Za-z_0-9]+[ \t]*$")
set(source "/* Made from ${DEF} by host_stub.cmake. */\n")
foreach(name IN LISTS names)
  string(STRIP ${name} name)
  string(APPEND source "void ${name}(void) {}\n")
endforeach()
file(WRITE ${OUTPUT} ${source})
