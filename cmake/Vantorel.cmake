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
# LEAK_CHECK: in the sanitizer build the program runs with LeakSanitizer on,
# whatever the run's ASAN_OPTIONS say (Qt's own plug-in leaks are suppressed
# in tests/support/TestMain.cpp).
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
  # Every program runs on the program's own operator new and delete.
  if(TARGET vantorel_newdelete)
    target_link_libraries(${name} PRIVATE vantorel_newdelete)
  endif()
  target_compile_definitions(${name} PRIVATE
    VANTOREL_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VANTOREL_BUILD_DIR="${CMAKE_BINARY_DIR}"
    VANTOREL_BIN_DIR="${VANTOREL_BIN_DIR}")
  set(env "QT_QPA_PLATFORM=offscreen;VANTOREL_SKIP_MARK=1")
  if(ARG_LEAK_CHECK AND VANTOREL_SANITIZE)
    # gtest_discover_tests hands PROPERTIES on as one flat list, so only the
    # first variable reaches ENVIRONMENT: this one must be it (TestMain picks
    # the offscreen platform itself).
    set(env "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1")
  endif()
  # A test counts as skipped only when the program says so after a run that
  # did not fail (tests/support/TestMain.cpp).
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${env}"
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
