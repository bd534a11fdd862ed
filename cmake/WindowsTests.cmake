# The platform-neutral GoogleTest programs, cross-built for Windows and run
# under Wine by tests/windows/run-gtests-under-wine. GoogleTest is built from
# the sources Debian's googletest package ships; gmock is not needed.
set(ZELK_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows test programs")
if(NOT EXISTS ${ZELK_GOOGLETEST_SOURCE_DIR}/googletest/CMakeLists.txt)
  message(FATAL_ERROR "no GoogleTest sources at ${ZELK_GOOGLETEST_SOURCE_DIR} (Debian: googletest), "
                      "or configure with -DZELK_WINDOWS_TESTS=OFF")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# gtest uses the Win32 primitives on Windows; pthreads would drag in winpthread.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${ZELK_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The tests' main enters the multithreaded apartment first, as a host does
# before it creates objects: Windows refuses CoCreateInstance without it.
add_library(zelk_wine_test_main STATIC ${PROJECT_SOURCE_DIR}/tests/windows/gtest/ComTestMain.cpp)
target_link_libraries(zelk_wine_test_main PUBLIC gtest ole32)

# zelk_add_windows_tests(NAME SOURCES... LIBS libs...): one test program,
# NAME.exe in ${CMAKE_BINARY_DIR}/wine-tests, where the runner finds them all.
function(zelk_add_windows_tests name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE zelk_wine_test_main gtest ${ARG_LIBS})
  # No dependency on the mingw runtime DLLs: the program runs as it is.
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/wine-tests
    LINK_FLAGS "-static -static-libgcc -static-libstdc++")
endfunction()
