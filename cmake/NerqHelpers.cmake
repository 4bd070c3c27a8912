# Warnings for our own targets only; third-party code keeps its own settings.
function(nerq_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wno-unused-parameter)
  endif()
endfunction()

# A static library for one folder of the source tree.
function(nerq_library target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}")
  target_link_libraries(${target} PUBLIC ${ARG_LIBS})
  nerq_warnings(${target})
endfunction()

# A program of the installed tree. It finds the VR runtime's client library beside itself,
# through a run path relative to its own place, alike in the build tree and wherever the
# install tree lands; it is installed into the program's folder and, with COMMAND <name>,
# reached from bin/ under that name.
function(nerq_program target)
  cmake_parse_arguments(ARG "" "COMMAND" "" ${ARGN})
  set_target_properties(${target} PROPERTIES BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "$ORIGIN")
  install(TARGETS ${target} RUNTIME DESTINATION "${NERQ_INSTALL_DIR}")
  if(ARG_COMMAND)
    nerq_command(${ARG_COMMAND} ${target})
  endif()
endfunction()

# bin/<name>: a relative link to <file> in the program's folder, so the tree can move.
function(nerq_command name file)
  if(WIN32)
    return()
  endif()
  file(RELATIVE_PATH _to_program "/prefix/${NERQ_COMMAND_DIR}" "/prefix/${NERQ_INSTALL_DIR}")
  set(_link "${CMAKE_BINARY_DIR}/commands/${name}")
  file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/commands")
  file(CREATE_LINK "${_to_program}/${file}" "${_link}" SYMBOLIC)
  install(FILES "${_link}" DESTINATION "${NERQ_COMMAND_DIR}")
endfunction()
