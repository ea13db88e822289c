# Header-only libraries for the cross build. Their Debian headers are plain C++, but /usr/include
# also holds the host's C library headers, which must never reach the cross compiler: each
# library gets a folder of its own that holds only a link to its headers.
function(tovalin_host_headers name out_dir)
  set(dir ${CMAKE_BINARY_DIR}/host-headers/${name})
  if(NOT EXISTS /usr/include/${name})
    message(FATAL_ERROR "/usr/include/${name} is missing: install the Debian package that has it")
  endif()
  if(NOT EXISTS ${dir}/${name})
    file(MAKE_DIRECTORY ${dir})
    file(CREATE_LINK /usr/include/${name} ${dir}/${name} SYMBOLIC)
  endif()
  set(${out_dir} ${dir} PARENT_SCOPE)
endfunction()
