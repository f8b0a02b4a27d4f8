# quorvel_def_names(<variable> <def file>): the function names a list of the
# host's exports holds (windows/libmx.def, libmex.def). Usable in script mode.
function(quorvel_def_names variable def)
  file(STRINGS ${def} lines REGEX "^[ \t]+[A-Za-z_0-9]+[ \t]*$")
  set(names "")
  foreach(line IN LISTS lines)
    string(STRIP ${line} name)
    list(APPEND names ${name})
  endforeach()
  set(${variable} ${names} PARENT_SCOPE)
endfunction()
