# The fleet index: harvix-index (Linux) and HarvixIndex.exe (Windows) over one core.
add_library(harvix_index_core STATIC
  index/rows.cpp
  index/inventory_row.cpp
  index/end_of_support.cpp
  index/software.cpp
  index/columns.cpp
  index/flags.cpp
  index/csv.cpp
  index/page.cpp
  index/page_glance.cpp
  index/page_glance_html.cpp
  index/page_software.cpp
  index/history.cpp
  index/history_import.cpp
  index/history_load.cpp
  index/history_page.cpp
  index/run.cpp
  index/app.cpp
  index/files_common.cpp)
target_link_libraries(harvix_index_core PUBLIC harvix_report)

# The history's JSON (nlohmann-json) and the inventory files' (RapidJSON): found
# beside the report layer.

if(WIN32)
  target_sources(harvix_index_core PRIVATE index/windows/files_windows.cpp)
  configure_file(index/windows/harvix-index.rc.in ${CMAKE_BINARY_DIR}/harvix-index.rc @ONLY)
  set_source_files_properties(${CMAKE_BINARY_DIR}/harvix-index.rc PROPERTIES
    OBJECT_DEPENDS "${ART_DIR}/logo.bmp;${ART_DIR}/icon.ico;${CMAKE_SOURCE_DIR}/index/windows/harvix-index.manifest")
  add_executable(HarvixIndex WIN32 index/windows/main.cpp index/form1_handlers.cpp
                 ${CMAKE_BINARY_DIR}/harvix-index.rc)
  add_dependencies(HarvixIndex art)
  target_link_libraries(HarvixIndex PRIVATE harvix_form1 harvix_index_core shell32)
  target_link_options(HarvixIndex PRIVATE -static -municode -Wl,--no-insert-timestamp)
else()
  target_sources(harvix_index_core PRIVATE index/linux/files_linux.cpp)
  add_executable(harvix-index index/linux/main.cpp index/form1_handlers.cpp)
  target_link_libraries(harvix-index PRIVATE harvix_form1 harvix_index_core)
  if(NOT HARVIX_SANITIZE AND NOT HARVIX_FUZZ)
    target_link_options(harvix-index PRIVATE -static-libstdc++ -static-libgcc)
  endif()
  if(HARVIX_GTK)
    add_dependencies(harvix-index harvix-gtk)  # its window is Harvix's GTK module
  endif()
endif()

if(HARVIX_TESTS)
  include(${CMAKE_SOURCE_DIR}/tests/index.cmake)
endif()
