# Windows build: the program, its help file and the tests that run under Wine.
enable_language(RC)

set(ZENTREL_WARNINGS)
if(MSVC)
  list(APPEND ZENTREL_WARNINGS /W4 /WX /D_CRT_SECURE_NO_WARNINGS)
else()
  list(APPEND ZENTREL_WARNINGS -Wall -Wextra -Werror)
endif()

file(GLOB ZENTREL_WIN_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/core/*.cpp
  ${CMAKE_SOURCE_DIR}/src/app/*.cpp
  ${CMAKE_SOURCE_DIR}/src/registry/*.cpp
  ${CMAKE_SOURCE_DIR}/src/dsi/*.cpp
  ${CMAKE_SOURCE_DIR}/src/ops/*.cpp
  ${CMAKE_SOURCE_DIR}/src/ui/*.cpp
  ${CMAKE_SOURCE_DIR}/src/framework/*.cpp)
list(REMOVE_ITEM ZENTREL_WIN_SOURCES ${CMAKE_SOURCE_DIR}/src/app/main.cpp)
list(TRANSFORM ZENTREL_CORE_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/ OUTPUT_VARIABLE ZENTREL_CORE_WIN_SOURCES)

add_library(zentrel_lib STATIC ${ZENTREL_WIN_SOURCES})
target_include_directories(zentrel_lib PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_definitions(zentrel_lib PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
target_compile_options(zentrel_lib PRIVATE ${ZENTREL_WARNINGS})
# Most of the program's files include these; parsed once, not 50 times. The
# portable core stays without them, as it is built natively too.
target_precompile_headers(zentrel_lib PRIVATE <windows.h> <string> <vector>)
set_source_files_properties(${ZENTREL_CORE_WIN_SOURCES} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
target_link_libraries(zentrel_lib PUBLIC comctl32 comdlg32 shlwapi shell32 advapi32 version gdi32 user32)

# Resources are linked as an object library so that the tests get the same
# dialogs, menus and strings as the program.
add_library(zentrel_res OBJECT ${CMAKE_SOURCE_DIR}/res/zentrel.rc)
target_include_directories(zentrel_res PRIVATE ${CMAKE_SOURCE_DIR}/res ${CMAKE_SOURCE_DIR}/src)
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/zentrel.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/res/zentrel.manifest;${CMAKE_SOURCE_DIR}/res/zentrel-console.manifest;${CMAKE_SOURCE_DIR}/res/zentrel.ico;${CMAKE_SOURCE_DIR}/res/toolbar.bmp;${CMAKE_SOURCE_DIR}/res/hand.cur;${CMAKE_SOURCE_DIR}/res/version.h;${CMAKE_SOURCE_DIR}/src/res/resource.h")

if(NOT MSVC)
  set(ZENTREL_STATIC_LINK -static -static-libgcc -static-libstdc++)
endif()

add_executable(zentrel WIN32 ${CMAKE_SOURCE_DIR}/src/app/main.cpp $<TARGET_OBJECTS:zentrel_res>)
target_link_libraries(zentrel PRIVATE zentrel_lib ${ZENTREL_STATIC_LINK})
target_compile_options(zentrel PRIVATE ${ZENTREL_WARNINGS})

# The console companion, zentrel.com beside zentrel.exe: batch mode only. A
# command shell tries .com before .exe, waits for a console program and passes
# its exit code on, while a shortcut or a double click still opens the window.
add_library(zentrel_res_console OBJECT ${CMAKE_SOURCE_DIR}/res/zentrel.rc)
target_include_directories(zentrel_res_console PRIVATE ${CMAKE_SOURCE_DIR}/res ${CMAKE_SOURCE_DIR}/src)
target_compile_definitions(zentrel_res_console PRIVATE ZENTREL_CONSOLE_MANIFEST)
add_executable(zentrel_console ${CMAKE_SOURCE_DIR}/src/app/main.cpp $<TARGET_OBJECTS:zentrel_res_console>)
target_compile_definitions(zentrel_console PRIVATE ZENTREL_CONSOLE)
target_link_libraries(zentrel_console PRIVATE zentrel_lib ${ZENTREL_STATIC_LINK})
target_compile_options(zentrel_console PRIVATE ${ZENTREL_WARNINGS})
set_target_properties(zentrel_console PROPERTIES OUTPUT_NAME zentrel SUFFIX .com)
if(MSVC)
  # Both programs share the base name; an incremental link would share zentrel.ilk.
  target_link_options(zentrel_console PRIVATE /INCREMENTAL:NO)
endif()

# The help file beside the program.
find_program(CHMCMD chmcmd)
if(CHMCMD AND EXISTS ${CMAKE_SOURCE_DIR}/docs/help/zentrel.hhp)
  file(GLOB ZENTREL_HELP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/help/*)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/zentrel.chm
    COMMAND ${CMAKE_COMMAND} -E rm -rf help-src
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/docs/help help-src
    COMMAND ${CMAKE_COMMAND} -E chdir help-src ${CHMCMD} zentrel.hhp > chmcmd.log
    COMMAND ${CMAKE_COMMAND} -E copy help-src/zentrel.chm zentrel.chm
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    DEPENDS ${ZENTREL_HELP_SOURCES}
    COMMENT "Compiling the help file")
  add_custom_target(zentrel_help ALL DEPENDS ${CMAKE_BINARY_DIR}/zentrel.chm)
endif()

# Tests: each tests/win/test_*.cpp is one executable, one ctest entry, run
# under Wine with the support code in tests/win/support.
set(ZENTREL_GTEST_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows tests")
if(NOT EXISTS ${ZENTREL_GTEST_DIR}/CMakeLists.txt)
  message(STATUS "No GoogleTest at ${ZENTREL_GTEST_DIR}: building the program only")
  return()
endif()
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${ZENTREL_GTEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# The tests' own code and GoogleTest are built unoptimised: optimising them
# tripled the build's time and bought nothing, as the program's code they
# drive stays optimised.
set(ZENTREL_TEST_OPT $<IF:$<CXX_COMPILER_ID:MSVC>,/Od,-O1>)
target_compile_options(gtest PRIVATE ${ZENTREL_TEST_OPT})
target_compile_options(gtest_main PRIVATE ${ZENTREL_TEST_OPT})

file(GLOB ZENTREL_TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/support/*.cpp)
add_library(zentrel_test_support STATIC ${ZENTREL_TEST_SUPPORT})
target_include_directories(zentrel_test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests/win/support)
target_link_libraries(zentrel_test_support PUBLIC zentrel_lib gtest gtest_main)
target_compile_options(zentrel_test_support PRIVATE ${ZENTREL_WARNINGS} ${ZENTREL_TEST_OPT})
# Every test includes these; parsed once, the build of the tests is much shorter.
target_precompile_headers(zentrel_test_support PRIVATE <windows.h> <gtest/gtest.h> <map> <string> <vector>)

# Under an emulator each test runs through scripts/wine-run-test, which
# names a test that hangs instead of leaving it to the time-out.
function(zentrel_add_win_test test_name)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME win_${test_name} COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run-test
             ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${test_name}>)
  else()
    add_test(NAME win_${test_name} COMMAND ${test_name})
  endif()
  set_tests_properties(win_${test_name} PROPERTIES TIMEOUT 120)
endfunction()

file(GLOB ZENTREL_WIN_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/test_*.cpp)
foreach(test_source ${ZENTREL_WIN_TESTS})
  get_filename_component(test_name ${test_source} NAME_WE)
  add_executable(${test_name} ${test_source} $<TARGET_OBJECTS:zentrel_res>)
  target_link_libraries(${test_name} PRIVATE zentrel_test_support ${ZENTREL_STATIC_LINK})
  target_compile_options(${test_name} PRIVATE ${ZENTREL_WARNINGS} ${ZENTREL_TEST_OPT})
  target_precompile_headers(${test_name} REUSE_FROM zentrel_test_support)
  zentrel_add_win_test(${test_name})
endforeach()

# The fallback where the platform ignores the manifest's UTF-8 code page: the
# same resources without the manifest.
add_library(zentrel_res_plain OBJECT ${CMAKE_SOURCE_DIR}/res/zentrel.rc)
target_include_directories(zentrel_res_plain PRIVATE ${CMAKE_SOURCE_DIR}/res ${CMAKE_SOURCE_DIR}/src)
target_compile_definitions(zentrel_res_plain PRIVATE ZENTREL_NO_MANIFEST)
add_executable(test_fallback ${CMAKE_SOURCE_DIR}/tests/win/fallback/test_fallback.cpp $<TARGET_OBJECTS:zentrel_res_plain>)
target_include_directories(test_fallback PRIVATE ${CMAKE_SOURCE_DIR}/tests/win)
target_link_libraries(test_fallback PRIVATE zentrel_test_support ${ZENTREL_STATIC_LINK})
target_compile_options(test_fallback PRIVATE ${ZENTREL_WARNINGS} ${ZENTREL_TEST_OPT})
zentrel_add_win_test(test_fallback)

# Benchmarks: each bench/bench_*.cpp is one console executable, run by
# scripts/bench (make bench), not by ctest.
file(GLOB ZENTREL_BENCHES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/bench_*.cpp)
foreach(bench_source ${ZENTREL_BENCHES})
  get_filename_component(bench_name ${bench_source} NAME_WE)
  add_executable(${bench_name} ${bench_source} $<TARGET_OBJECTS:zentrel_res>)
  target_link_libraries(${bench_name} PRIVATE zentrel_lib ${ZENTREL_STATIC_LINK})
  target_compile_options(${bench_name} PRIVATE ${ZENTREL_WARNINGS})
endforeach()
