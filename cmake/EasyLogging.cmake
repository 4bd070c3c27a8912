# easylogging++ ships as a header plus one source file that each program compiles in once.
# Libraries link easylogging_api; the program that links them picks how its log is kept:
#   easyloggingpp         the program's: without log.conf the log goes to logs/myeasylog.log below
#                         the working directory (the library as packaged would write
#                         myeasylog.log straight into it)
#   easyloggingpp_stderr  a service's: no default log file, standard output is standard error,
#                         so a user service's journal keeps the log and no folder gets a file;
#                         a program asks for it with the target property NERQ_LOG_TO_STDERR ON
find_path(EASYLOGGINGPP_INCLUDE_DIR easylogging++.h REQUIRED)
find_file(EASYLOGGINGPP_SOURCE easylogging++.cc PATHS "${EASYLOGGINGPP_INCLUDE_DIR}" REQUIRED NO_DEFAULT_PATH)
find_package(Threads REQUIRED)

function(nerq_easylogging target)
  add_library(${target} STATIC "${EASYLOGGINGPP_SOURCE}")
  target_compile_definitions(${target} PRIVATE AUTO_INITIALIZE_EASYLOGGINGPP ${ARGN})
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_include_directories(${target} SYSTEM PUBLIC "${EASYLOGGINGPP_INCLUDE_DIR}")
  target_link_libraries(${target} PUBLIC Threads::Threads)
endfunction()

if(WIN32)
  nerq_easylogging(easyloggingpp "ELPP_DEFAULT_LOG_FILE=\"logs\\\\myeasylog.log\"")
else()
  nerq_easylogging(easyloggingpp "ELPP_DEFAULT_LOG_FILE=\"logs/myeasylog.log\"")
endif()
nerq_easylogging(easyloggingpp_stderr ELPP_NO_DEFAULT_LOG_FILE "ELPP_CUSTOM_COUT=std::cerr")

add_library(easylogging_api INTERFACE)
target_include_directories(easylogging_api SYSTEM INTERFACE "${EASYLOGGINGPP_INCLUDE_DIR}")
# Evaluated for the program being linked, so every library below it gets the same one.
target_link_libraries(easylogging_api INTERFACE
  "$<IF:$<BOOL:$<TARGET_PROPERTY:NERQ_LOG_TO_STDERR>>,easyloggingpp_stderr,easyloggingpp>")
