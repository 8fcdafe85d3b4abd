# The rooms of src/, lowest first: a file may include headers of its own room
# and of the rooms before it, never of a room after it (so no two rooms
# include each other either). docs/architecture.md says what each room owns.
#
#   cmake -DSOURCE_DIR=path/to/src -P check_layers.cmake
#
# Project headers are named from src/ ("room/file.hpp"); a quoted include
# that names no room, a file outside every room and a folder missing from
# the list below are refused too, so that nothing escapes the check.
set(ROOMS core config operators solver initial diagnostics output steady driver)

if(NOT IS_DIRECTORY "${SOURCE_DIR}")
  message(FATAL_ERROR "check_layers: SOURCE_DIR '${SOURCE_DIR}' is not a directory")
endif()

list(JOIN ROOMS " < " order)
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*")
set(faults "")
set(checked 0)
foreach(file IN LISTS sources)
  string(REGEX MATCH "^[^/]+" room "${file}")
  list(FIND ROOMS "${room}" height)
  if(file STREQUAL room OR height EQUAL -1)
    list(APPEND faults "${file}: not in a room (${order})")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line IN LISTS lines)
    if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]*)\"")
      set(target "${CMAKE_MATCH_1}")
      set(quoted ON)
    elseif(line MATCHES "#[ \t]*include[ \t]*<([^>]*)>")
      set(target "${CMAKE_MATCH_1}")
      set(quoted OFF)
    else()
      continue()
    endif()
    string(REGEX MATCH "^[^/]+" to "${target}")
    list(FIND ROOMS "${to}" to_height)
    if(to_height EQUAL -1 OR target STREQUAL to)
      if(quoted)
        list(APPEND faults "${file}: #include \"${target}\" names no room (write it from src/ as room/file.hpp)")
      endif()
      continue()  # a system header
    endif()
    math(EXPR checked "${checked} + 1")
    if(to_height GREATER height)
      list(APPEND faults "${file}: includes ${target}, but ${room}/ lies below ${to}/")
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "check_layers: the rooms of src/ (${order}) are not kept:\n  ${text}")
endif()
if(checked EQUAL 0)
  message(FATAL_ERROR "check_layers: no project include found under ${SOURCE_DIR}")
endif()
list(LENGTH sources count)
message(STATUS "check_layers: ${count} files, ${checked} project includes, none upwards")
