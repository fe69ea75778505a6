# Tests of the fleet index: the reader against the writers, the CSV and flags,
# then the programs end to end (Linux; HarvixIndex.exe under Wine).
add_executable(harvix_index_tests tests/unit/read_report_test.cpp tests/unit/index_test.cpp
               tests/unit/index_page_test.cpp)
target_include_directories(harvix_index_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
# Designated initializers name only the fields a case needs.
target_compile_options(harvix_index_tests PRIVATE -Wno-missing-field-initializers)
find_package(Python3 COMPONENTS Interpreter REQUIRED)
if(WIN32)
  target_link_libraries(harvix_index_tests PRIVATE harvix_index_core gtest_main)
  add_test(NAME wine_index_unit_tests COMMAND harvix_index_tests)
  set_tests_properties(wine_index_unit_tests PROPERTIES FIXTURES_REQUIRED wine_prefix TIMEOUT 600)
  add_executable(hold_file tests/wine/hold_file.cpp)
  add_test(NAME wine_index_e2e COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/e2e/test_index_wine.py)
  set_tests_properties(wine_index_e2e PROPERTIES
    ENVIRONMENT "HARVIX_WIN_BUILD=${CMAKE_BINARY_DIR};HARVIX_BUILD=${HARVIX_HOST_TOOLS}"
    TIMEOUT 900 RUN_SERIAL TRUE)
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
  target_link_libraries(harvix_index_tests PRIVATE harvix_index_core GTest::gtest_main)
  gtest_discover_tests(harvix_index_tests DISCOVERY_TIMEOUT 60)
  add_test(NAME e2e_index COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/e2e/test_index.py)
  set_tests_properties(e2e_index PROPERTIES ENVIRONMENT "HARVIX_BUILD=${CMAKE_BINARY_DIR}"
                       LABELS e2e TIMEOUT 300)
  add_test(NAME e2e_index_inventory
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/e2e/test_index_inventory.py)
  set_tests_properties(e2e_index_inventory PROPERTIES ENVIRONMENT "HARVIX_BUILD=${CMAKE_BINARY_DIR}"
                       LABELS e2e TIMEOUT 600)
  add_test(NAME e2e_index_history
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/e2e/test_index_history.py)
  set_tests_properties(e2e_index_history PROPERTIES ENVIRONMENT "HARVIX_BUILD=${CMAKE_BINARY_DIR}"
                       LABELS e2e TIMEOUT 600)
  # The page's charts and software view in Chromium, from rows the test describes.
  add_executable(index_page_fixture tests/unit/index_page_fixture.cpp)
  target_link_libraries(index_page_fixture PRIVATE harvix_index_core)
  add_test(NAME e2e_index_page COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/e2e/test_index_page.py)
  set_tests_properties(e2e_index_page PROPERTIES ENVIRONMENT "HARVIX_BUILD=${CMAKE_BINARY_DIR}"
                       LABELS e2e TIMEOUT 300)
endif()
if(NOT WIN32 AND HARVIX_GTK)
  add_test(NAME e2e_index_window
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/e2e/test_index_window.py)
  set_tests_properties(e2e_index_window PROPERTIES ENVIRONMENT "HARVIX_BUILD=${CMAKE_BINARY_DIR}"
                       LABELS "e2e;window" TIMEOUT 300)
endif()
