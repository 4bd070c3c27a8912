# easylogging++ ships as a header plus one source file that is compiled into the program once.
find_path(EASYLOGGINGPP_INCLUDE_DIR easylogging++.h REQUIRED)
find_file(EASYLOGGINGPP_SOURCE easylogging++.cc PATHS "${EASYLOGGINGPP_INCLUDE_DIR}" REQUIRED NO_DEFAULT_PATH)
add_library(easyloggingpp STATIC "${EASYLOGGINGPP_SOURCE}")
target_include_directories(easyloggingpp SYSTEM PUBLIC "${EASYLOGGINGPP_INCLUDE_DIR}")
target_compile_definitions(easyloggingpp PRIVATE AUTO_INITIALIZE_EASYLOGGINGPP)
# Without log.conf the log goes to logs/myeasylog.log below the working directory; the library
# as packaged would write myeasylog.log straight into it.
if(WIN32)
  target_compile_definitions(easyloggingpp PRIVATE "ELPP_DEFAULT_LOG_FILE=\"logs\\\\myeasylog.log\"")
else()
  target_compile_definitions(easyloggingpp PRIVATE "ELPP_DEFAULT_LOG_FILE=\"logs/myeasylog.log\"")
endif()
set_target_properties(easyloggingpp PROPERTIES POSITION_INDEPENDENT_CODE ON)
find_package(Threads REQUIRED)
target_link_libraries(easyloggingpp PUBLIC Threads::Threads)
