# Layer checks: each layer's library linked whole (every object, used or not) with
# only the layers below it. A call from a layer into one above it leaves an
# undefined symbol, and the build stops here rather than linking by luck of order.
set(HARVIX_LAYERS harvix_platform harvix_wmi harvix_inventory harvix_report harvix_app
    harvix_index_core harvix_form1)
if(WIN32)
  list(APPEND HARVIX_LAYERS harvix_com)
else()
  list(APPEND HARVIX_LAYERS harvix_provider)
endif()
file(WRITE ${CMAKE_BINARY_DIR}/layer_check.cpp "int main() { return 0; }\n")
foreach(layer ${HARVIX_LAYERS})
  add_executable(layer_check_${layer} ${CMAKE_BINARY_DIR}/layer_check.cpp)
  target_link_libraries(layer_check_${layer} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${layer}>")
endforeach()
