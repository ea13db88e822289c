# nlohmann-json for the cross build, from Debian's headers (see HostHeaders.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/HostHeaders.cmake)
if(NOT TARGET nlohmann_json::nlohmann_json)
  tovalin_host_headers(nlohmann _tovalin_json_dir)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${_tovalin_json_dir}
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${_tovalin_json_dir})
endif()
set(nlohmann_json_FOUND TRUE)
