# Cross-compiling the installer for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64 and binutils-mingw-w64-x86-64). Every tool is checked
# here, so a missing package stops the configure step with its name.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VTF_MINGW_PREFIX x86_64-w64-mingw32)

function(vtf_require_tool var)
  set(names ${ARGN})
  find_program(${var} NAMES ${names})
  if(NOT ${var})
    message(FATAL_ERROR "MinGW-w64 tool not found: ${names}. Install g++-mingw-w64-x86-64 and binutils-mingw-w64-x86-64 (./dev setup does).")
  endif()
endfunction()

# The -posix flavour is preferred for its threading model; either links statically.
vtf_require_tool(VTF_MINGW_CXX ${VTF_MINGW_PREFIX}-g++-posix ${VTF_MINGW_PREFIX}-g++)
vtf_require_tool(VTF_MINGW_CC ${VTF_MINGW_PREFIX}-gcc-posix ${VTF_MINGW_PREFIX}-gcc)
vtf_require_tool(VTF_MINGW_RC ${VTF_MINGW_PREFIX}-windres)
vtf_require_tool(VTF_MINGW_AR ${VTF_MINGW_PREFIX}-ar)
vtf_require_tool(VTF_MINGW_RANLIB ${VTF_MINGW_PREFIX}-ranlib)
vtf_require_tool(VTF_MINGW_STRIP ${VTF_MINGW_PREFIX}-strip)

set(CMAKE_C_COMPILER ${VTF_MINGW_CC})
set(CMAKE_CXX_COMPILER ${VTF_MINGW_CXX})
set(CMAKE_RC_COMPILER ${VTF_MINGW_RC})
set(CMAKE_AR ${VTF_MINGW_AR} CACHE FILEPATH "" FORCE)
set(CMAKE_RANLIB ${VTF_MINGW_RANLIB} CACHE FILEPATH "" FORCE)
set(CMAKE_STRIP ${VTF_MINGW_STRIP} CACHE FILEPATH "" FORCE)

set(CMAKE_FIND_ROOT_PATH /usr/${VTF_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
