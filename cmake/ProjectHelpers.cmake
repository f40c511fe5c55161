# Shared build helpers for the project's own targets.

# Warnings are errors in our own code (never in third-party code).
function(modem_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wformat=2 -Wshadow -Wno-unused-parameter -Werror)
endfunction()

# modem_unit_test(NAME name SOURCES ... [LIBS ...] [SERIAL] [LABEL unit|e2e] [WRAP_SLEEP])
# One GoogleTest program per component; every case becomes a CTest test with the label.
# SERIAL keeps the cases from running beside other serial tests (fixed paths, loop devices).
# WRAP_SLEEP replaces the C library's sleep() at link time by the recorder in PlatformTesting.
function(modem_unit_test)
  cmake_parse_arguments(T "SERIAL;WRAP_SLEEP" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  if(NOT MODEM_BUILD_TESTS)
    return()
  endif()
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  modem_warnings(${T_NAME})
  if(T_WRAP_SLEEP)
    target_link_options(${T_NAME} PRIVATE -Wl,--wrap=sleep)
    target_link_libraries(${T_NAME} PRIVATE PlatformTesting)
  endif()
  # Property values must not hold a ";": gtest_discover_tests would split them into pairs.
  set(props LABELS ${T_LABEL} ENVIRONMENT "MODEM_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  if(T_SERIAL)
    list(APPEND props RESOURCE_LOCK machine_paths)
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()
