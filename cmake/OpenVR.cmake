# The program speaks the OpenVR API through <openvr.h>. By default the simulated runtime in
# vrsim/ provides header and library; OPENVR_SDK_DIR points the build at a real SDK instead.
if(OPENVR_SDK_DIR)
  if(WIN32)
    set(_openvr_platform win64)
  elseif(APPLE)
    set(_openvr_platform osx32)
  else()
    set(_openvr_platform linux64)
  endif()
  find_library(OPENVR_LIBRARY openvr_api
    PATHS "${OPENVR_SDK_DIR}/lib/${_openvr_platform}" NO_DEFAULT_PATH REQUIRED)
  add_library(OpenVR::OpenVR SHARED IMPORTED)
  set_target_properties(OpenVR::OpenVR PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${OPENVR_SDK_DIR}/headers")
  if(WIN32)
    find_file(OPENVR_RUNTIME_LIBRARY openvr_api.dll
      PATHS "${OPENVR_SDK_DIR}/bin/${_openvr_platform}" NO_DEFAULT_PATH REQUIRED)
    set_target_properties(OpenVR::OpenVR PROPERTIES
      IMPORTED_IMPLIB "${OPENVR_LIBRARY}" IMPORTED_LOCATION "${OPENVR_RUNTIME_LIBRARY}")
  else()
    set(OPENVR_RUNTIME_LIBRARY "${OPENVR_LIBRARY}")
    # The SDK's library has no SONAME. Linked by its path, the program would look for it in the
    # SDK folder for ever; linked by name, it finds the copy beside itself.
    set_target_properties(OpenVR::OpenVR PROPERTIES
      IMPORTED_LOCATION "${OPENVR_LIBRARY}" IMPORTED_NO_SONAME TRUE)
  endif()

  # Every OpenVR application carries the client library beside its executable.
  add_custom_target(nerq_openvr_runtime ALL
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OPENVR_RUNTIME_LIBRARY}" "${NERQ_RUNTIME_DIR}"
    COMMENT "Copying the OpenVR client library beside the executable")
  install(FILES "${OPENVR_RUNTIME_LIBRARY}" DESTINATION "${NERQ_INSTALL_DIR}")
  if(NOT WIN32 AND CMAKE_STRIP)
    # A stripping install (the package) strips it like the programs.
    get_filename_component(_openvr_name "${OPENVR_RUNTIME_LIBRARY}" NAME)
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${NERQ_INSTALL_DIR}/${_openvr_name}\")
    endif()")
  endif()

  set(NERQ_USING_VRSIM OFF)
  message(STATUS "OpenVR: SDK at ${OPENVR_SDK_DIR}")
else()
  add_subdirectory(vrsim)
  set(NERQ_USING_VRSIM ON)
  message(STATUS "OpenVR: simulated runtime (vrsim)")
endif()
