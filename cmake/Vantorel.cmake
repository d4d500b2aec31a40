include(GoogleTest)

# vantorel_library(NAME SOURCES... LINKS ...): the static library of one folder.
function(vantorel_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS;PUBLIC_INCLUDES" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  set_property(GLOBAL APPEND PROPERTY VANTOREL_LIBRARIES ${name})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${ARG_PUBLIC_INCLUDES})
  target_link_libraries(${name} PUBLIC ${ARG_LINKS})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
endfunction()

# vantorel_test(NAME LABEL unit|image|gui SOURCES... LINKS... [TIMEOUT s] [LEAK_CHECK])
# Builds one GoogleTest program and registers each of its tests with ctest.
# LEAK_CHECK: in the sanitizer build its tests run with LeakSanitizer on,
# whatever ASAN_OPTIONS the caller set (Qt's own leaks suppressed).
function(vantorel_test name)
  cmake_parse_arguments(ARG "LEAK_CHECK" "LABEL;TIMEOUT" "SOURCES;LINKS" ${ARGN})
  if(NOT ARG_LABEL)
    set(ARG_LABEL unit)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} vantorel_testsupport GTest::gtest Threads::Threads)
  # Test code is compiled for build speed: the code under test keeps its own
  # optimisation, and GoogleTest names failures by file and line itself.
  target_compile_options(${name} PRIVATE $<$<CONFIG:RelWithDebInfo>:-O1 -g0>)
  # Every program runs on the program's own operator new and delete.
  if(TARGET vantorel_newdelete)
    target_link_libraries(${name} PRIVATE vantorel_newdelete)
  endif()
  target_compile_definitions(${name} PRIVATE
    VANTOREL_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VANTOREL_BUILD_DIR="${CMAKE_BINARY_DIR}"
    VANTOREL_BIN_DIR="${VANTOREL_BIN_DIR}")
  # The test program (its listing too) starts through env: a list in the
  # tests' ENVIRONMENT property would be split into property pairs on its way
  # through the test discovery, and only its first entry would arrive.
  set(emulator "env;QT_QPA_PLATFORM=offscreen;VANTOREL_SKIP_MARK=1")
  if(ARG_LEAK_CHECK AND VANTOREL_SANITIZE)
    # Its own sanitizer options, which no ASAN_OPTIONS of the caller's overrides.
    list(APPEND emulator "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1"
         "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/support/lsan-qt.supp")
  endif()
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${emulator}")
  # A test counts as skipped only when the program says so after a run that
  # did not fail (tests/support/TestMain.cpp).
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT}
               SKIP_REGULAR_EXPRESSION "\\[ VANTOREL SKIPPED \\]")
endfunction()

# vantorel_folder_library(NAME LINKS ...): the static library of a folder made
# of every .cpp file in it (new files join without touching this list).
function(vantorel_folder_library name)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  vantorel_library(${name} SOURCES ${sources} ${headers} LINKS ${ARG_LINKS})
endfunction()
