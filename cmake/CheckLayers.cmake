# Fails when a file includes a header of a layer above its own, or when a file
# outside platform/ includes an operating-system or toolkit header. In tests/ and
# bench/ only the files under a platform/posix/ or platform/win32/ folder may
# include operating-system headers or the platform implementations' own headers
# (those of platform/posix/, platform/win32/ and the front ends' platform/frontends/),
# so that the rest builds for either platform.
#   cmake -DSOURCE_DIR=<repo> -P cmake/CheckLayers.cmake
# The layers, lowest first; a file may include its own layer and those below.
set(layers platform support controls net http app tools)
# Headers that belong to the operating system or a toolkit (C and C++ standard
# headers are fine anywhere).
set(os_header_regex "^(windows|winsock2?|ws2tcpip|iphlpapi|icmpapi|commctrl|shellapi|unistd|fcntl|dirent|dlfcn|poll|pthread|signal|spawn|termios|netdb|pwd|grp|glib|gio|gtk|gdk|cairo|pango|webkit2|webkit|libsoup|X11|wayland|sys/|netinet/|arpa/|linux/|net/if)")

set(problems "")
list(LENGTH layers nlayers)
math(EXPR last "${nlayers} - 1")
foreach(i RANGE ${last})
  list(GET layers ${i} layer)
  file(GLOB_RECURSE files ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp)
  math(EXPR above_start "${i} + 1")
  set(above "")
  if(above_start LESS_EQUAL last)
    foreach(j RANGE ${above_start} ${last})
      list(GET layers ${j} l)
      list(APPEND above ${l})
    endforeach()
  endif()
  foreach(f ${files})
    file(STRINGS ${f} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    file(RELATIVE_PATH rel ${SOURCE_DIR} ${f})
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*" "\\1" inc "${line}")
      foreach(l ${above})
        if(inc MATCHES "^${l}/")
          string(APPEND problems "  ${rel}: includes ${inc} (layer ${l} is above ${layer})\n")
        endif()
      endforeach()
      if(NOT layer STREQUAL "platform" AND inc MATCHES "${os_header_regex}")
        string(APPEND problems "  ${rel}: includes the system header ${inc} outside platform/\n")
      endif()
    endforeach()
  endforeach()
endforeach()

# tests/ and bench/: neutral outside platform/<impl>/.
set(impl_regex "(^|/)platform/(posix|win32|frontends)/")
foreach(top tests bench)
  file(GLOB_RECURSE files ${SOURCE_DIR}/${top}/*.h ${SOURCE_DIR}/${top}/*.cpp)
  foreach(f ${files})
    file(RELATIVE_PATH rel ${SOURCE_DIR} ${f})
    if(rel MATCHES "${impl_regex}")
      continue()
    endif()
    file(STRINGS ${f} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*" "\\1" inc "${line}")
      if(inc MATCHES "${os_header_regex}")
        string(APPEND problems "  ${rel}: includes the system header ${inc} outside a platform/<impl>/ folder\n")
      elseif(inc MATCHES "${impl_regex}")
        string(APPEND problems "  ${rel}: includes ${inc}, a platform implementation's own header\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(problems)
  message(FATAL_ERROR "Layering broken:\n${problems}")
endif()
