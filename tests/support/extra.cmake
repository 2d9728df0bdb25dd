# Version-resource fixtures, built at test-build time with the real tools: PE
# files from .rc files by the mingw-w64 resource compiler and linker (PE32 with
# i686, PE32+ with x86_64), an ELF program given a ".versioninfo" section by
# scripts/add-versioninfo.sh, and a text file. They land in
# build/tests/support/fixtures/.
set(NL_FIXTURE_SRC ${CMAKE_CURRENT_SOURCE_DIR}/support/fixtures)
set(NL_FIXTURE_DIR ${CMAKE_BINARY_DIR}/tests/support/fixtures)
file(MAKE_DIRECTORY ${NL_FIXTURE_DIR})

if(TARGET test_support_novalink_ver)
  add_dependencies(test_support_novalink_ver novalink-ver)
endif()

# Without the tools no fixture is built, and the tests that need the fixtures
# skip themselves, naming the missing tools and their packages.
set(NL_FIXTURE_TOOLS_MISSING)
foreach(tool i686-w64-mingw32-windres i686-w64-mingw32-g++ x86_64-w64-mingw32-windres x86_64-w64-mingw32-g++ objcopy)
  string(MAKE_C_IDENTIFIER "NL_${tool}" var)
  find_program(${var} ${tool})
  if(NOT ${var})
    list(APPEND NL_FIXTURE_TOOLS_MISSING ${tool})
  endif()
endforeach()
if(NL_FIXTURE_TOOLS_MISSING)
  list(JOIN NL_FIXTURE_TOOLS_MISSING ", " nl_missing)
  set(nl_why "${nl_missing} not found (packages g++-mingw-w64-i686, binutils-mingw-w64-i686, g++-mingw-w64-x86-64, binutils-mingw-w64-x86-64, binutils; scripts/install-deps.sh installs them)")
  message(WARNING "Version fixtures not built: ${nl_why}; the tests that need them will be skipped")
  set(NL_FIXTURES_MISSING "${nl_why}")
  return()
endif()

set(NL_FIXTURES)

# nl_pe_fixture(<output file> <rc> <i686|x86_64> <exe|dll>)
function(nl_pe_fixture out rc arch kind)
  set(windres ${NL_${arch}_w64_mingw32_windres})
  set(gxx ${NL_${arch}_w64_mingw32_g__})
  if(arch STREQUAL "i686")
    set(entry _entry)
  else()
    set(entry entry)
  endif()
  set(link_kind)
  if(kind STREQUAL "dll")
    set(link_kind -shared)
  endif()
  add_custom_command(
    OUTPUT ${NL_FIXTURE_DIR}/${out}
    COMMAND ${windres} -i ${NL_FIXTURE_SRC}/${rc} -O coff -o ${NL_FIXTURE_DIR}/${out}.res.o
    COMMAND ${gxx} -nostdlib -s ${link_kind} -Wl,--entry=${entry}
            -o ${NL_FIXTURE_DIR}/${out} ${NL_FIXTURE_SRC}/stub.cpp ${NL_FIXTURE_DIR}/${out}.res.o
    DEPENDS ${NL_FIXTURE_SRC}/${rc} ${NL_FIXTURE_SRC}/stub.cpp
    COMMENT "Version fixture ${out}"
    VERBATIM)
  set(NL_FIXTURES ${NL_FIXTURES} ${NL_FIXTURE_DIR}/${out} PARENT_SCOPE)
endfunction()

nl_pe_fixture(app.exe app.rc i686 exe)
nl_pe_fixture(versions.exe versions.rc i686 exe)
nl_pe_fixture(library.dll library.rc i686 dll)
nl_pe_fixture(printer.drv printer.rc i686 dll)
nl_pe_fixture(font.fon font.rc i686 dll)
nl_pe_fixture(chinese.exe chinese.rc i686 exe)
nl_pe_fixture(notrans.dll notrans.rc i686 dll)
nl_pe_fixture(app64.exe app64.rc x86_64 exe)

add_custom_command(
  OUTPUT ${NL_FIXTURE_DIR}/linux.elf
  COMMAND ${CMAKE_CXX_COMPILER} -nostdlib -s -Wl,-e,entry -o ${NL_FIXTURE_DIR}/linux-plain.elf
          ${NL_FIXTURE_SRC}/stub.cpp
  COMMAND ${CMAKE_COMMAND} -E env WINDRES=${NL_i686_w64_mingw32_windres} OBJCOPY=${NL_objcopy}
          ${CMAKE_SOURCE_DIR}/scripts/add-versioninfo.sh ${NL_FIXTURE_SRC}/linux.rc
          ${NL_FIXTURE_DIR}/linux-plain.elf ${NL_FIXTURE_DIR}/linux.elf
  DEPENDS ${NL_FIXTURE_SRC}/linux.rc ${NL_FIXTURE_SRC}/stub.cpp ${CMAKE_SOURCE_DIR}/scripts/add-versioninfo.sh
  COMMENT "Version fixture linux.elf"
  VERBATIM)
list(APPEND NL_FIXTURES ${NL_FIXTURE_DIR}/linux.elf)

# A 32-bit ELF file (an object holding the text file's bytes) with the same section.
add_custom_command(
  OUTPUT ${NL_FIXTURE_DIR}/linux32.o
  COMMAND ${NL_objcopy} -I binary -O elf32-i386 ${NL_FIXTURE_SRC}/text.txt ${NL_FIXTURE_DIR}/linux32-plain.o
  COMMAND ${CMAKE_COMMAND} -E env WINDRES=${NL_i686_w64_mingw32_windres} OBJCOPY=${NL_objcopy}
          ${CMAKE_SOURCE_DIR}/scripts/add-versioninfo.sh ${NL_FIXTURE_SRC}/linux.rc
          ${NL_FIXTURE_DIR}/linux32-plain.o ${NL_FIXTURE_DIR}/linux32.o
  DEPENDS ${NL_FIXTURE_SRC}/linux.rc ${NL_FIXTURE_SRC}/text.txt ${CMAKE_SOURCE_DIR}/scripts/add-versioninfo.sh
  COMMENT "Version fixture linux32.o"
  VERBATIM)
list(APPEND NL_FIXTURES ${NL_FIXTURE_DIR}/linux32.o)

add_custom_command(
  OUTPUT ${NL_FIXTURE_DIR}/text.txt
  COMMAND ${CMAKE_COMMAND} -E copy ${NL_FIXTURE_SRC}/text.txt ${NL_FIXTURE_DIR}/text.txt
  DEPENDS ${NL_FIXTURE_SRC}/text.txt
  VERBATIM)
list(APPEND NL_FIXTURES ${NL_FIXTURE_DIR}/text.txt)

add_custom_target(version_fixtures ALL DEPENDS ${NL_FIXTURES})

foreach(t test_support_cfileversioninfo test_support_novalink_ver test_platform_posix_version_reader)
  if(TARGET ${t})
    add_dependencies(${t} version_fixtures)
  endif()
endforeach()
