# Cross build for 64-bit Windows with Debian's mingw-w64 (POSIX thread model, so std::thread and
# std::mutex work). Use it through the `mingw` preset.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOVALIN_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TOVALIN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOVALIN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TOVALIN_MINGW_TRIPLE}-windres)

# Libraries and headers come from the mingw sysroot only; host programs (python, wine) from the
# host.
set(CMAKE_FIND_ROOT_PATH /usr/${TOVALIN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Qt for Windows, as scripts/build-qt-windows.sh leaves it in its cache folder, joins the roots
# (package lookups are rerooted, so a plain CMAKE_PREFIX_PATH would not find it). Its code
# generators (moc, rcc, uic) are the host Qt's of the same version.
if(DEFINED ENV{TOVALIN_QT_WINDOWS})
  set(TOVALIN_QT_WINDOWS "$ENV{TOVALIN_QT_WINDOWS}")
elseif(DEFINED ENV{HOME})
  set(TOVALIN_QT_WINDOWS "$ENV{HOME}/.cache/tovalin/qt-6.4.2-mingw")
endif()
if(TOVALIN_QT_WINDOWS AND EXISTS "${TOVALIN_QT_WINDOWS}/.tovalin-complete")
  list(APPEND CMAKE_FIND_ROOT_PATH "${TOVALIN_QT_WINDOWS}")
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()

# The mingw preset builds with -O2, as the host build does: at -O3 GCC 12 reports false
# -Wrestrict findings inside std::string.
