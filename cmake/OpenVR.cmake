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
  add_library(OpenVR::OpenVR UNKNOWN IMPORTED)
  set_target_properties(OpenVR::OpenVR PROPERTIES
    IMPORTED_LOCATION "${OPENVR_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${OPENVR_SDK_DIR}/headers")
  set(NERQ_USING_VRSIM OFF)
  message(STATUS "OpenVR: SDK at ${OPENVR_SDK_DIR}")
else()
  add_subdirectory(vrsim)
  set(NERQ_USING_VRSIM ON)
  message(STATUS "OpenVR: simulated runtime (vrsim)")
endif()
