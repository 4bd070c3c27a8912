# The program speaks the OpenVR API through <openvr.h>. By default the simulated runtime in
# vrsim/ provides header and library; OPENVR_SDK_DIR points the build at a real SDK instead.

# The interface versions the program checks at start-up (vr/vroverlay.cpp), whose slot order its
# calls follow. Of the SDK's releases only v1.0.7 declares all of them; a later header builds
# against other slots or, from 1.2.10 on, fails deep in the compile on renamed names.
set(NERQ_OPENVR_INTERFACES IVRSystem_015 IVRSettings_002 IVROverlay_016 IVRApplications_006
    IVRChaperone_003 IVRChaperoneSetup_005 IVRCompositor_020 IVRNotifications_002)
set(NERQ_OPENVR_RELEASE "v1.0.7")

# Stops the configure, before anything is compiled, when the header is not of that release.
function(nerq_check_openvr_header sdk_dir)
  set(_header "${sdk_dir}/headers/openvr.h")
  if(NOT EXISTS "${_header}")
    message(FATAL_ERROR "OPENVR_SDK_DIR (${sdk_dir}) has no headers/openvr.h. Point it at the "
      "root of the OpenVR SDK's release ${NERQ_OPENVR_RELEASE}.")
  endif()
  file(READ "${_header}" _text)
  string(REGEX MATCHALL "\"IVR[A-Za-z]+_[0-9]+\"" _declared "${_text}")
  string(REPLACE "\"" "" _declared "${_declared}")
  list(REMOVE_DUPLICATES _declared)
  set(_wrong "")
  foreach(_version IN LISTS NERQ_OPENVR_INTERFACES)
    if(_version IN_LIST _declared)
      continue()
    endif()
    string(REGEX REPLACE "_[0-9]+$" "" _interface "${_version}")
    set(_instead "${_declared}")
    list(FILTER _instead INCLUDE REGEX "^${_interface}_[0-9]+$")
    if(_instead)
      list(JOIN _instead " and " _instead)
      list(APPEND _wrong "${_instead} instead of ${_version}")
    else()
      list(APPEND _wrong "no ${_interface} instead of ${_version}")
    endif()
  endforeach()
  if(_wrong)
    list(JOIN _wrong ", " _wrong)
    message(FATAL_ERROR "The OpenVR SDK in ${sdk_dir} is not the release the program is built "
      "for: its headers/openvr.h declares ${_wrong}. Download the OpenVR SDK's release "
      "${NERQ_OPENVR_RELEASE} and point OPENVR_SDK_DIR at it.")
  endif()
endfunction()

if(OPENVR_SDK_DIR)
  nerq_check_openvr_header("${OPENVR_SDK_DIR}")
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
    COMMENT "Copying the OpenVR client library beside the executable" VERBATIM)
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
