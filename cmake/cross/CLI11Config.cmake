# CLI11 for the cross build, from Debian's headers (see HostHeaders.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/HostHeaders.cmake)
if(NOT TARGET CLI11::CLI11)
  tovalin_host_headers(CLI _tovalin_cli11_dir)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  set_target_properties(CLI11::CLI11 PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${_tovalin_cli11_dir}
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${_tovalin_cli11_dir})
endif()
set(CLI11_FOUND TRUE)
