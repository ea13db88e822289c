# The version of Debian's package, whose headers the cross build uses.
include(/usr/share/cmake/nlohmann_json/nlohmann_jsonConfigVersion.cmake)
