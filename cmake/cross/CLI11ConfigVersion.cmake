# The version of Debian's package, whose headers the cross build uses.
include(/usr/share/cmake/CLI11/CLI11ConfigVersion.cmake)
