# The Windows build runs these neutral tests under Wine (CTest starts them
# through the cross-compiling emulator, wine). The other neutral tests are left
# out of the Windows build and CTest lists them as disabled:
#   - they need test helpers that have no Windows side yet (the nginx, tinyproxy
#     and scripted servers, the socket peers, the registry sandbox, the
#     descriptor limit) or call POSIX functions themselves: app.*, net.*,
#     platform.winsock, support.cRegistry, tools.novalink_reg and the http tests
#     that talk to a server;
#   - they build but do not pass under Wine yet, for reasons still to be sorted
#     into Wine's differences and the tests' Linux assumptions:
#     controls.controlhost (Wine's system colours are not Windows' defaults),
#     platform.profile (blank and quote handling, and the cut value's error),
#     support.cfileversioninfo (the full path's separators; Wine's
#     VerLanguageNameA names the primary language alone, "English" for 0x0409
#     where Windows says "English (United States)"), support.novalink_ver and
#     support.sha256 (the fixtures' and programs' paths under Wine).
if(WIN32)
  set(NL_WIN32_SUITE
    controls.linex controls.pinghost tools.novalink_ping
    http.reply http.request http.failure_kind http.hostile_reply http.timeout http.transfer_control
    http.transfer_local_file http.transfer_owner http.transfer http.servers http.novalink_get
    net.csocket_client net.csocket_close net.csocket_errors net.csocket_transfer net.socket_support
    platform.winsock
    platform.loop_wake platform.message_loop
    support.ascii_text support.liveness support.modmain)
  foreach(src ${TEST_SOURCES})
    file(RELATIVE_PATH rel ${CMAKE_CURRENT_SOURCE_DIR} ${src})
    get_filename_component(folder ${rel} DIRECTORY)
    if(folder MATCHES "^platform/(posix|win32)(/|$)")
      continue()
    endif()
    get_filename_component(name ${src} NAME_WE)
    string(REGEX REPLACE "_test$" "" short ${name})
    string(REPLACE "/" "." test_prefix ${folder})
    string(REPLACE "/" "_" target_prefix ${folder})
    if(NOT "${test_prefix}.${short}" IN_LIST NL_WIN32_SUITE)
      set_target_properties(test_${target_prefix}_${short} PROPERTIES EXCLUDE_FROM_ALL TRUE)
      set_tests_properties(${test_prefix}.${short} PROPERTIES DISABLED TRUE)
    endif()
  endforeach()
endif()
