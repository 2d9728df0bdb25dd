# Fails when a file includes a header of a folder its library does not link, or
# when a file outside platform/ includes an operating-system or toolkit header.
# In tests/ and bench/ only the files under a platform/posix/ or platform/win32/
# folder may include operating-system headers or the platform implementations'
# own headers (those of platform/posix/, platform/win32/ and the front ends'
# platform/frontends/), so that the rest builds for either platform.
#   cmake -DSOURCE_DIR=<repo> -P cmake/CheckLayers.cmake
# What a folder links is its NL_USES_<folder> list in CMakeLists.txt, the one
# place that says it: a file may include its own folder's headers and those of
# the folders its list names. platform/ has no list and links nothing of ours.
# The lists come in the link order, lowest first: a list may name only folders
# whose lists come before it, so that the libraries link in one direction.
cmake_minimum_required(VERSION 3.20)
# Headers that belong to the operating system or a toolkit (C and C++ standard
# headers are fine anywhere).
set(os_header_regex "^(windows|winsock2?|ws2tcpip|iphlpapi|icmpapi|commctrl|shellapi|unistd|fcntl|dirent|dlfcn|poll|pthread|signal|spawn|termios|netdb|pwd|grp|glib|gio|gtk|gdk|cairo|pango|webkit2|webkit|libsoup|X11|wayland|sys/|netinet/|arpa/|linux/|net/if)")

set(problems "")
set(layers platform)
set(uses_platform "")
file(STRINGS ${SOURCE_DIR}/CMakeLists.txt use_lines REGEX "^set\\(NL_USES_[a-z]+ ")
foreach(line ${use_lines})
  string(REGEX REPLACE "^set\\(NL_USES_([a-z]+) ([^)]*)\\).*" "\\1" layer "${line}")
  string(REGEX REPLACE "^set\\(NL_USES_([a-z]+) ([^)]*)\\).*" "\\2" uses "${line}")
  separate_arguments(uses)
  foreach(used ${uses})
    if(NOT used IN_LIST layers)
      string(APPEND problems "  CMakeLists.txt: NL_USES_${layer} names ${used}, which is not a folder listed before it\n")
    endif()
  endforeach()
  list(APPEND layers ${layer})
  set(uses_${layer} ${uses})
endforeach()
list(LENGTH layers nlayers)
if(nlayers LESS 2)
  message(FATAL_ERROR "CheckLayers: no NL_USES_<folder> lists in ${SOURCE_DIR}/CMakeLists.txt")
endif()

foreach(layer ${layers})
  file(GLOB_RECURSE files ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp)
  set(allowed ${layer} ${uses_${layer}})
  foreach(f ${files})
    file(STRINGS ${f} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    file(RELATIVE_PATH rel ${SOURCE_DIR} ${f})
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*" "\\1" inc "${line}")
      string(REGEX REPLACE "/.*" "" folder "${inc}")
      # Our headers are included with quotes; <net/if.h> is the system's.
      if(line MATCHES "include[ \t]*\"" AND inc MATCHES "/" AND folder IN_LIST layers AND NOT folder IN_LIST allowed)
        string(APPEND problems "  ${rel}: includes ${inc}, but ${layer} links only: ${allowed} (NL_USES_${layer})\n")
      endif()
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
