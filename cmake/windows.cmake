# Harvix.exe: COM WMI, the Win32 window, resources; one file, statically linked.
target_sources(harvix_platform PRIVATE platform/platform_windows.cpp platform/replace_file_windows.cpp)
target_compile_definitions(harvix_platform PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                           _WIN32_WINNT=0x0601)

add_library(harvix_com STATIC wmi/windows/com_wmi.cpp wmi/windows/variant.cpp
  wmi/windows/native_service.cpp wmi/windows/native_registry.cpp wmi/windows/native_firmware.cpp
  wmi/windows/native_software.cpp wmi/windows/native_tpm.cpp wmi/windows/native_network.cpp
  wmi/windows/native_monitor.cpp wmi/windows/native_disk.cpp)
target_link_libraries(harvix_com PUBLIC harvix_wmi wbemuuid ole32 oleaut32 uuid advapi32 iphlpapi
                      setupapi)

configure_file(app/windows/harvix.rc.in ${CMAKE_BINARY_DIR}/harvix.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/harvix.rc PROPERTIES
  OBJECT_DEPENDS "${ART_DIR}/logo.bmp;${ART_DIR}/icon.ico;${CMAKE_SOURCE_DIR}/app/windows/harvix.manifest")
# Form1, the window both programs show; each links it with its own resources.
add_library(harvix_form1 STATIC app/windows/form1_win32.cpp app/windows/failure.cpp)
target_link_libraries(harvix_form1 PUBLIC harvix_platform comctl32 user32 gdi32 advapi32)

add_executable(Harvix WIN32 app/windows/main.cpp app/form1_handlers.cpp ${CMAKE_BINARY_DIR}/harvix.rc)
add_dependencies(Harvix art)
target_include_directories(Harvix PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(Harvix PRIVATE harvix_app harvix_form1 harvix_com)
# No runtime DLL to ship beside it; our own manifest, not the toolchain's default one.
target_link_options(Harvix PRIVATE -static -municode -Wl,--no-insert-timestamp)
# It is copied to every machine: no symbols, no unreferenced code or data, and
# compiled for size (the JSON library's templates would double it at -O3; its
# time goes to WMI, not to our code).
foreach(layer harvix_platform harvix_wmi harvix_inventory harvix_report harvix_app harvix_com
        harvix_form1 Harvix)
  target_compile_options(${layer} PRIVATE -ffunction-sections -fdata-sections -Os)
endforeach()
target_link_options(Harvix PRIVATE -s -Wl,--gc-sections)
add_custom_command(TARGET Harvix POST_BUILD VERBATIM
  COMMAND sh -c "echo \"Harvix.exe: $(wc -c < \"$1\") bytes\"" sh $<TARGET_FILE:Harvix>)
