# Native Linux build: the provider, the program and its GTK window module.
find_package(PkgConfig REQUIRED)
pkg_check_modules(BLKID REQUIRED IMPORTED_TARGET blkid)
pkg_check_modules(MOUNT REQUIRED IMPORTED_TARGET mount)
pkg_check_modules(PCI REQUIRED IMPORTED_TARGET libpci)

target_sources(harvix_platform PRIVATE platform/platform_linux.cpp platform/replace_file_linux.cpp)

add_library(harvix_provider STATIC
  wmi/linux/provider.cpp
  wmi/linux/root.cpp
  wmi/linux/object_path.cpp
  wmi/linux/processor.cpp
  wmi/linux/computer_system.cpp
  wmi/linux/operating_system.cpp
  wmi/linux/memory.cpp
  wmi/linux/bios.cpp
  wmi/linux/firmware.cpp
  wmi/linux/tpm.cpp
  wmi/linux/software.cpp
  wmi/linux/local_time.cpp
  wmi/linux/storage_blocks.cpp
  wmi/linux/storage_probe.cpp
  wmi/linux/storage_mounts.cpp
  wmi/linux/storage_classes.cpp
  wmi/linux/storage_space.cpp
  wmi/linux/storage_text.cpp
  wmi/linux/smbios.cpp
  wmi/linux/network.cpp
  wmi/linux/network_addresses.cpp
  wmi/linux/network_routes.cpp
  wmi/linux/video.cpp
  wmi/linux/monitor.cpp)
target_link_libraries(harvix_provider PUBLIC harvix_wmi PkgConfig::BLKID PkgConfig::MOUNT PkgConfig::PCI)

# The window loader both programs share: the display check, then the GTK module.
add_library(harvix_form1 STATIC app/linux/form1_loader.cpp app/linux/display_probe.cpp)
target_link_libraries(harvix_form1 PUBLIC harvix_platform ${CMAKE_DL_LIBS})

add_executable(harvix app/linux/main.cpp app/form1_handlers.cpp)
target_link_libraries(harvix PRIVATE harvix_app harvix_form1 harvix_provider)
# A one-shot tool: most of its start-up is the dynamic loader binding libstdc++.
if(NOT HARVIX_SANITIZE AND NOT HARVIX_FUZZ)  # sanitizer runtimes need the default libraries
  target_link_options(harvix PRIVATE -static-libstdc++ -static-libgcc)
  # Only the parts of libstdc++ it uses, and no library it does not call.
  target_link_options(harvix PRIVATE -Wl,--gc-sections -Wl,--as-needed)
  # The driver would add libm for libstdc++, whose one call into it sits in code the
  # linker drops; naming the libraries saves loading it.
  target_link_options(harvix PRIVATE -nodefaultlibs)
  target_link_libraries(harvix PRIVATE harvix_app harvix_report harvix_inventory harvix_wmi harvix_platform
                        PkgConfig::BLKID PkgConfig::MOUNT PkgConfig::PCI
                        -Wl,-Bstatic stdc++ gcc gcc_eh -Wl,-Bdynamic c)
endif()

if(HARVIX_GTK)
  pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
  add_library(harvix-gtk MODULE app/linux/form1_gtk.cpp ${ART_DIR}/art_data.cpp)
  set_target_properties(harvix-gtk PROPERTIES PREFIX "" CXX_VISIBILITY_PRESET hidden)
  target_include_directories(harvix-gtk PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(harvix-gtk PRIVATE PkgConfig::GTK3)
  add_dependencies(harvix harvix-gtk)
endif()
