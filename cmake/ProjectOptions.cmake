# Warnings and sanitizers shared by every target of the project.
add_compile_options(-Wall -Wextra -Wno-unused-parameter)

if(SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(COVERAGE)
  # Line coverage for scripts/coverage.sh; no optimisation, so lines map 1:1.
  add_compile_options(--coverage -O0)
  add_link_options(--coverage)
endif()

if(FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "FUZZ=ON needs clang (configure with CXX=clang++ CC=clang)")
  endif()
  # Instrument everything for coverage; only the fuzz targets get the libFuzzer main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# add_project_tests(NAME <target> LABEL <label> SOURCES <files...> LIBS <libs...>)
# Builds one GoogleTest executable and registers every test in it with CTest.
function(add_project_tests)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
  # The test folder is a label too (e.g. "proxy/cache", and "proxy" for all
  # below it), so the tests of one subsystem can be picked with ctest -L. It
  # is a folder label because the discovery flattens list-valued properties:
  # LABELS and ENVIRONMENT hold one value each here.
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  get_property(labels DIRECTORY PROPERTY LABELS)
  if(NOT folder IN_LIST labels)
    set_property(DIRECTORY APPEND PROPERTY LABELS ${folder})
  endif()
  list(LENGTH T_ENVIRONMENT variables)
  if(variables GREATER 1)
    message(FATAL_ERROR "add_project_tests: one ENVIRONMENT entry at most (${T_NAME})")
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES LABELS "${T_LABEL}" ENVIRONMENT "${T_ENVIRONMENT}" TIMEOUT 300)
endfunction()

# add_fuzz_target(NAME <name> SOURCE <file> LIBS <libs...>)
# The source defines LLVMFuzzerTestOneInput. With FUZZ=ON a libFuzzer binary
# <name>_fuzzer is built. Always, <name>_replay runs the seed corpus in
# tests/fuzz/corpus/<name>/ through the same function as an ordinary test.
function(add_fuzz_target)
  cmake_parse_arguments(F "" "NAME;SOURCE" "LIBS" ${ARGN})
  set(corpus ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${F_NAME})
  add_executable(${F_NAME}_replay ${F_SOURCE} ${PROJECT_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
  target_link_libraries(${F_NAME}_replay PRIVATE ${F_LIBS})
  target_include_directories(${F_NAME}_replay PRIVATE ${PROJECT_SOURCE_DIR})
  add_test(NAME fuzz_replay.${F_NAME} COMMAND ${F_NAME}_replay ${corpus})
  set_tests_properties(fuzz_replay.${F_NAME} PROPERTIES LABELS "unit;fuzz" TIMEOUT 300)
  if(FUZZ)
    add_executable(${F_NAME}_fuzzer ${F_SOURCE})
    target_link_libraries(${F_NAME}_fuzzer PRIVATE ${F_LIBS})
    target_include_directories(${F_NAME}_fuzzer PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_options(${F_NAME}_fuzzer PRIVATE -fsanitize=fuzzer)
  endif()
endfunction()
