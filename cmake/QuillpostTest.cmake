# quillpost_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2)
# One Qt Test executable, registered with CTest and run offscreen.
set(QUILLPOST_TEST_TIMEOUT 300 CACHE STRING "Seconds one test executable may take")
function(quillpost_add_test name)
  cmake_parse_arguments(QT "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${QT_SOURCES})
  target_link_libraries(${name} PRIVATE quillpost_testsupport Qt6::Test ${QT_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    # No test reaches the desktop's keyring: the session bus is one that is
    # not there, unless a test starts its own.
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUILLPOST_SOURCE_DIR=${CMAKE_SOURCE_DIR};DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/quillpost-test-bus"
    TIMEOUT ${QUILLPOST_TEST_TIMEOUT})
endfunction()
