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

# modem_standin(NAME Framework [PUBLIC_LIBS ...] [PRIVATE_LIBS ...] [TEST_LIBS ...] [SERIAL]
#               [TEST_NAME program])
# Declares one framework stand-in laid out as every stand-in is: include/<Framework>/*.h (public),
# src/*.cpp (the library, with src/ and PlatformTesting.h private), tests/*.cpp (the program
# <Framework>_tests, or TEST_NAME, label unit, with src/ visible). The stand-in kit is linked
# privately.
function(modem_standin)
  cmake_parse_arguments(S "SERIAL" "NAME;TEST_NAME" "PUBLIC_LIBS;PRIVATE_LIBS;TEST_LIBS" ${ARGN})
  if(NOT S_TEST_NAME)
    set(S_TEST_NAME ${S_NAME}_tests)
  endif()
  set(dir ${CMAKE_CURRENT_SOURCE_DIR})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/src/*.cpp)
  if(NOT sources)
    message(FATAL_ERROR "stand-in ${S_NAME}: no sources under ${dir}/src")
  endif()
  add_library(${S_NAME} STATIC ${sources})
  target_include_directories(${S_NAME} PUBLIC ${dir}/include
    PRIVATE ${dir}/src ${CMAKE_SOURCE_DIR}/platform/testing/include)
  target_link_libraries(${S_NAME} PUBLIC ${S_PUBLIC_LIBS} PRIVATE StandInKit ${S_PRIVATE_LIBS})
  modem_warnings(${S_NAME})
  if(MODEM_BUILD_TESTS)
    file(GLOB tests CONFIGURE_DEPENDS ${dir}/tests/*.cpp)
    if(tests)
      set(serial)
      if(S_SERIAL)
        set(serial SERIAL)
      endif()
      modem_unit_test(NAME ${S_TEST_NAME} SOURCES ${tests}
        LIBS ${S_NAME} StandInKit PlatformTesting ${S_TEST_LIBS} ${serial})
      target_include_directories(${S_TEST_NAME} PRIVATE ${dir}/src ${dir}/tests)
    endif()
  endif()
endfunction()
