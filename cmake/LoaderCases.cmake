# quorvel_case_names(<variable> <sources...>): the names of the loader test
# cases in the rows {"name", Function} of those sources' case tables.
function(quorvel_case_names variable)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARGN})
  set(names "")
  foreach(table IN LISTS ARGN)
    file(STRINGS ${table} rows REGEX "^ *{\"[a-z_]+\", ")
    foreach(row IN LISTS rows)
      string(REGEX REPLACE "^ *{\"([a-z_]+)\".*" "\\1" name ${row})
      list(APPEND names ${name})
    endforeach()
  endforeach()
  set(${variable} ${names} PARENT_SCOPE)
endfunction()
