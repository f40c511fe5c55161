# modem_fuzz_target(NAME name SOURCES ... [LIBS ...] [INCLUDES ...])
#
# One fuzz target from one folder under fuzz/: SOURCES define LLVMFuzzerTestOneInput (and may
# define LLVMFuzzerInitialize). The folder holds corpus/ (seed inputs, required) and crashes/
# (saved inputs that once failed; may be empty).
#  - <name>_fuzz: the libFuzzer program, built only with MODEM_BUILD_FUZZ (the clang and
#    fuzz-volume presets).
#  - <name>_replay: the same sources with a small driver instead of libFuzzer, built in every
#    preset that builds tests or fuzz targets; the CTest test fuzz_replay_<name> (label unit)
#    feeds it every file of corpus/ and crashes/, read when the test runs, so new inputs need
#    no edit anywhere.
set(MODEM_FUZZ_SUPPORT_DIR ${CMAKE_CURRENT_LIST_DIR}/../fuzz/support)
function(modem_fuzz_target)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS;INCLUDES" ${ARGN})
  set(dir ${CMAKE_CURRENT_SOURCE_DIR})
  if(NOT F_NAME OR NOT F_SOURCES)
    message(FATAL_ERROR "modem_fuzz_target in ${dir}: NAME and SOURCES are required")
  endif()
  if(NOT IS_DIRECTORY ${dir}/corpus)
    message(FATAL_ERROR "fuzz target ${F_NAME}: no seed corpus at ${dir}/corpus")
  endif()
  set(programs)
  if(MODEM_BUILD_FUZZ)
    add_executable(${F_NAME}_fuzz ${F_SOURCES})
    target_compile_options(${F_NAME}_fuzz PRIVATE -fsanitize=fuzzer)
    target_link_options(${F_NAME}_fuzz PRIVATE -fsanitize=fuzzer)
    list(APPEND programs ${F_NAME}_fuzz)
  endif()
  if(MODEM_BUILD_TESTS OR MODEM_BUILD_FUZZ)
    add_executable(${F_NAME}_replay ${F_SOURCES} ${MODEM_FUZZ_SUPPORT_DIR}/FuzzReplayMain.cpp)
    list(APPEND programs ${F_NAME}_replay)
  endif()
  foreach(program IN LISTS programs)
    target_include_directories(${program} PRIVATE ${MODEM_FUZZ_SUPPORT_DIR} ${F_INCLUDES})
    target_link_libraries(${program} PRIVATE ${F_LIBS})
    modem_warnings(${program})
  endforeach()
  if(MODEM_BUILD_TESTS)
    add_test(NAME fuzz_replay_${F_NAME} COMMAND ${F_NAME}_replay ${dir}/corpus ${dir}/crashes)
    set_tests_properties(fuzz_replay_${F_NAME} PROPERTIES LABELS unit)
  endif()
endfunction()
