# Helpers shared by every folder: one static library per folder, tests per folder,
# fuzz targets that double as replay tools, benchmarks.

set(QUOREL_WARNINGS -Wall -Wextra -Wshadow -Wfloat-conversion -Wconversion -Wno-sign-conversion)

function(quorel_warnings target)
  target_compile_options(${target} PRIVATE ${QUOREL_WARNINGS} $<$<BOOL:${QUOREL_WERROR}>:-Werror>)
endfunction()

# quorel_library(name src...) -> static library quorel_<name>, includes written from the root.
function(quorel_library name)
  add_library(quorel_${name} STATIC ${ARGN})
  target_include_directories(quorel_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_features(quorel_${name} PUBLIC cxx_std_20)
  quorel_warnings(quorel_${name})
  if(QUOREL_FUZZ)
    # Coverage of the libraries under test, not only of the fuzz targets' own files.
    target_compile_options(quorel_${name} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()

find_package(GTest REQUIRED)

# Every test runs with a scratch folder of its own in this build, as TEST_TMPDIR and as
# TMPDIR, so that two builds tested at once on one machine never share a file and no
# test writes into the checkout (tests/support/scratch.h makes its folders there).
function(quorel_test_scratch test)
  # Short, as socket paths must be: the gpsd the gpsd test starts puts its socket there.
  set(scratch ${CMAKE_BINARY_DIR}/scratch/${test})
  file(MAKE_DIRECTORY ${scratch})
  set(environment "TEST_TMPDIR=${scratch}" "TMPDIR=${scratch}")
  if(QUOREL_SANITIZE)
    list(APPEND environment "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan_suppressions.txt")
  endif()
  set_tests_properties(${test} PROPERTIES ENVIRONMENT "${environment}")
endfunction()

# quorel_test(name SOURCES a.cpp ... LIBS quorel_x ... [LABELS l ...])
function(quorel_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  quorel_warnings(${name})
  target_compile_definitions(${name} PRIVATE
    QUOREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    QUOREL_CORPUS_DIR="${PROJECT_SOURCE_DIR}/tests/corpus")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS "unit;${T_LABELS}")
  quorel_test_scratch(${name})
endfunction()

# quorel_fuzz(name SOURCE x_fuzz.cpp LIBS ... ) builds a libFuzzer binary under QUOREL_FUZZ
# (clang), otherwise a replay executable; both are run by ctest over corpus/<name> and, when
# it is there, regressions/<name>, the libFuzzer one also for QUOREL_FUZZ_SECONDS of fresh
# fuzzing. The replay fails on a folder that is not there and on no input at all, so a
# corpus moved away cannot pass unnoticed.
set(QUOREL_FUZZ_SECONDS 20 CACHE STRING "seconds of fresh fuzzing per target in the fuzz build")
function(quorel_fuzz name)
  cmake_parse_arguments(F "" "SOURCE" "LIBS" ${ARGN})
  set(dir ${PROJECT_SOURCE_DIR}/tests/fuzz)
  if(QUOREL_FUZZ)
    add_executable(fuzz_${name} ${F_SOURCE})
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(fuzz_${name} ${F_SOURCE} ${dir}/replay_main.cpp)
  endif()
  target_link_libraries(fuzz_${name} PRIVATE ${F_LIBS})
  target_include_directories(fuzz_${name} PRIVATE ${PROJECT_SOURCE_DIR})
  quorel_warnings(fuzz_${name})
  set(inputs ${dir}/corpus/${name})
  if(EXISTS ${dir}/regressions/${name})
    list(APPEND inputs ${dir}/regressions/${name})
  endif()
  if(QUOREL_FUZZ)
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz-work/${name})
    add_test(NAME fuzz_${name} COMMAND fuzz_${name}
      -max_total_time=${QUOREL_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048
      -artifact_prefix=${CMAKE_BINARY_DIR}/fuzz-work/${name}-
      ${CMAKE_BINARY_DIR}/fuzz-work/${name} ${inputs})
  else()
    add_test(NAME fuzz_${name} COMMAND fuzz_${name} ${inputs})
  endif()
  set_tests_properties(fuzz_${name} PROPERTIES LABELS "fuzz")
  quorel_test_scratch(fuzz_${name})
endfunction()

# quorel_bench(name SOURCES ... LIBS ...)
function(quorel_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  quorel_warnings(${name})
  target_compile_definitions(${name} PRIVATE
    QUOREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    QUOREL_CORPUS_DIR="${PROJECT_SOURCE_DIR}/tests/corpus")
endfunction()
