# Tests are GoogleTest programs run by ctest under Wine (the cross-compiling
# emulator), in the Wine prefix that scripts/test.sh prepares in the build folder.
enable_testing()

set(TQ_WINE_ROOT "${CMAKE_BINARY_DIR}/wine" CACHE PATH "Wine prefix and HOME of the test runs")
set(TQ_TEST_ENV
  "WINEPREFIX=${TQ_WINE_ROOT}/prefix"
  "HOME=${TQ_WINE_ROOT}/home"
  "WINEARCH=${TQ_WINEARCH}"
  "WINEDEBUG=-all"
  "WINEDLLOVERRIDES=mscoree,mshtml=")

# tq_add_test(NAME name SOURCES ... [LIBS ...] [TIMEOUT seconds] [SHARED_OBJECTS])
# SHARED_OBJECTS: the test uses the product's named kernel objects (frame
# record, mutex, event), which are one per Wine session: such tests never
# run at the same time as each other.
function(tq_add_test)
  cmake_parse_arguments(T "SHARED_OBJECTS" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest_main)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${TQ_TEST_ENV}" TIMEOUT ${T_TIMEOUT})
  if(T_SHARED_OBJECTS)
    set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK tq_shared_objects)
  endif()
endfunction()
