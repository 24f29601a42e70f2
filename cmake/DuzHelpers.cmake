# Shared build settings and small functions used by every module.

add_library(duz_options INTERFACE)
target_compile_options(duz_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow=local -Wnon-virtual-dtor -Wno-unused-parameter)
if(DUZ_WERROR)
  target_compile_options(duz_options INTERFACE -Werror)
endif()
if(DUZ_SANITIZE)
  target_compile_options(duz_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(duz_options INTERFACE -fsanitize=address,undefined)
endif()

# duz_module(NAME DEPS...): a library made of every .cpp below the current
# folder, public include root = the source tree, so headers are included as
# "module/sub/file.h".
function(duz_module name)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
  endif()
  if(srcs)
    target_link_libraries(${name} PUBLIC duz_options ${ARGN})
  else()
    target_link_libraries(${name} INTERFACE duz_options ${ARGN})
  endif()
endfunction()

# duz_gtest(NAME SOURCES... LIBS libs...): one GoogleTest executable in
# build/bin, registered with CTest test by test.
include(GoogleTest)
function(duz_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} duz_test_support GTest::gtest GTest::gmock GTest::gtest_main duz_options)
  # Where tests find the tools and programs they run as child processes.
  target_compile_definitions(${name} PRIVATE DUZ_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                                             DUZ_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${T_LABELS}"
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# duz_fuzzer(NAME SOURCES... LIBS libs... SEEDS dir): a libFuzzer target with
# clang; with other compilers a replay driver that runs the seed files and a
# few seconds of random mutations, so CI smoke-tests every fuzzer.
function(duz_fuzzer name)
  cmake_parse_arguments(F "" "SEEDS" "SOURCES;LIBS" ${ARGN})
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND DUZ_LIBFUZZER)
    add_executable(${name} ${F_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${name} ${F_SOURCES} ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
    if(F_SEEDS)
      add_test(NAME fuzz_smoke_${name} COMMAND ${name} --seconds=3 ${F_SEEDS})
    else()
      add_test(NAME fuzz_smoke_${name} COMMAND ${name} --seconds=3)
    endif()
    set_tests_properties(fuzz_smoke_${name} PROPERTIES LABELS "fuzz")
  endif()
  target_link_libraries(${name} PRIVATE ${F_LIBS} duz_options)
endfunction()

# duz_bench(NAME SOURCES... LIBS libs...): a Google Benchmark program; CI runs
# it for a fraction of a second as a smoke test, real runs are by hand.
function(duz_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} duz_options)
  if(B_ARGS)
    add_test(NAME bench_smoke_${name} COMMAND ${name} ${B_ARGS})
  else()
    add_test(NAME bench_smoke_${name} COMMAND ${name} --benchmark_min_time=0.01)
  endif()
  set_tests_properties(bench_smoke_${name} PROPERTIES LABELS "bench")
endfunction()
