# tonvex_add_qt_test(NAME SOURCES... LIBRARIES...): a gtest program of Qt widget tests with the shared
# offscreen main, registered with ctest to run offscreen and with the leak suppressions for the libraries
# Qt loads.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
if(NOT TARGET tonvex_qt_test_main)
  add_library(tonvex_qt_test_main STATIC ${CMAKE_SOURCE_DIR}/tests/qt_support/qt_test_main.cpp)
  target_link_libraries(tonvex_qt_test_main PUBLIC Qt6::Widgets GTest::gtest)
endif()

function(tonvex_add_qt_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE tonvex_qt_test_main ${ARG_LIBRARIES})
  # Two properties rather than one two-item list, which the test discovery would split apart.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                       ENVIRONMENT_MODIFICATION
                       "LSAN_OPTIONS=set:suppressions=${CMAKE_SOURCE_DIR}/tests/qt_support/lsan.supp")
endfunction()
