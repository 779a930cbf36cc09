# Native build of the portable core: library, unit tests and, with clang, the fuzzer.
# Everything runs under AddressSanitizer and UBSan; any UB finding aborts the run.

option(ZENTREL_FUZZ "Build the libFuzzer target (clang only)" OFF)
set(ZENTREL_GTEST_DIR "/usr/src/googletest" CACHE PATH "GoogleTest source tree")

# A core file that is missing is an error, never a smaller library.
set(zentrel_core_files)
foreach(src IN LISTS ZENTREL_CORE_SOURCES)
  if(NOT EXISTS "${CMAKE_SOURCE_DIR}/${src}")
    message(FATAL_ERROR "zentrel: core source ${src} is missing")
  endif()
  list(APPEND zentrel_core_files "${CMAKE_SOURCE_DIR}/${src}")
endforeach()

set(ZENTREL_WARNINGS -Wall -Wextra -Werror)
set(ZENTREL_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

add_library(zentrel_core STATIC ${zentrel_core_files})
target_include_directories(zentrel_core PUBLIC "${CMAKE_SOURCE_DIR}/src")
target_compile_options(zentrel_core PRIVATE ${ZENTREL_WARNINGS} PUBLIC ${ZENTREL_SANITIZE})
target_link_options(zentrel_core PUBLIC ${ZENTREL_SANITIZE})

# GoogleTest from the distribution's sources, built inside this build tree.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory("${ZENTREL_GTEST_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)

file(GLOB zentrel_host_tests CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/host/*.cpp")
add_executable(core_tests ${zentrel_host_tests})
target_link_libraries(core_tests PRIVATE zentrel_core gtest_main)
target_compile_options(core_tests PRIVATE ${ZENTREL_WARNINGS})
add_test(NAME core_tests COMMAND core_tests)
set_tests_properties(core_tests PROPERTIES
  ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1")

if(ZENTREL_FUZZ)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    # A separate copy of the core with coverage instrumentation for the fuzzer.
    add_library(zentrel_core_fuzz STATIC ${zentrel_core_files})
    target_include_directories(zentrel_core_fuzz PUBLIC "${CMAKE_SOURCE_DIR}/src")
    target_compile_options(zentrel_core_fuzz PRIVATE ${ZENTREL_WARNINGS}
      PUBLIC -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

    add_executable(fuzz_core "${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_core.cpp")
    target_link_libraries(fuzz_core PRIVATE zentrel_core_fuzz)
    target_compile_options(fuzz_core PRIVATE ${ZENTREL_WARNINGS})
    target_link_options(fuzz_core PRIVATE -fsanitize=fuzzer,address,undefined)
  else()
    message(WARNING "ZENTREL_FUZZ needs clang (CXX=clang++); fuzz_core is not built")
  endif()
endif()
