# The Windows build runs these neutral tests under Wine (CTest starts them
# through the cross-compiling emulator, wine). nginx and tinyproxy run on the
# Linux side: the Windows helpers start them through common/unix-server.sh, a
# Linux program Wine runs from CreateProcess, which stops them when asked or when
# the test's Wine process ends. The scripted server and the socket peers are the
# test's own threads and sockets, as on Linux, on Windows Sockets.
#
# The forms run on the Win32 front end here: http.property_pages builds its
# pages on a hidden form of it. The windows themselves are driven on a virtual
# display by tests/platform/win32/windows.sh (from .ci/steps/60-win32.sh), and
# platform.win32.modal_box keeps a download running under a message box.
#
# app.interactive_update runs novalink.exe's terminal front end (NOVALINK_UI=text)
# against nginx, its answers written into a named pipe that is the updater's
# standard input. The installed product is tests/installed.exe (the probe with a
# version resource, its description written into each copy); the packages are
# the probe, which marks its start beside itself. The updater works on Wine's
# registry, the values it uses put back afterwards (shared with app.staged_update,
# hence the lock). Three of its tests are POSIX's own and skipped here: running
# the updater as another user (Wine has one user, who may change HKLM), POSIX
# signals and a closed standard output, and the status area on a pseudo-terminal.
# Its Ctrl+C on a Windows console is platform.win32.console_break's, skipped
# under Wine: Wine 8 will not raise the event there (GenerateConsoleCtrlEvent
# fails with ERROR_INVALID_ACCESS).
# Left out of the Windows build, and listed by CTest as disabled, are the tests
# that drive GTK or need POSIX's store and shell: app.interactive_update_gtk and
# app.signed_update; tools.novalink_get_configure runs its terminal sessions and
# the proxy download here, its GTK window only on POSIX. app.signed_catalogue checks
# signatures through CNG.
#
# platform.profile asserts each side's answer where the documentation leaves the
# layout or the last error open (Wine's and the Linux reader's differ); a file's
# POSIX permissions are platform.posix.profile_modes'. http.novalink_get's
# Windows cases: the read-only attribute for file modes (Wine's MoveFileExW
# replaces a read-only file: named there), a settings file for a password longer
# than a command line; symbolic links are platform.posix.novalink_get_link's.
#
# support.cRegistry and tools.novalink_reg run on Wine's registry: the registry
# sandbox redirects this process's HKLM, HKCU and HKCR (RegOverridePredefKey) to
# scratch keys below the real roots, and names those keys to novalink-reg.exe;
# their cases about the Linux store file are in platform.posix.cregistry_store
# and platform.posix.novalink_reg_store. Wine lists a key's values sorted by name
# (Windows: in the order written); both tests name that difference.
#
# app.staged_update and platform.win32.staged_update share Wine's registry (the
# values they set are put back afterwards) and the single-instance mutex of
# novalink.exe, so they never run at once. The staged update's POSIX cases (file
# modes, links, a file-size limit, relative temporary folders) are in
# platform.posix.staged_update, a folder without write access in
# platform.posix.main_module; a file held open in platform.win32.main_module.
# Wine's desktop process (explorer.exe /desktop) keeps the standard error of the
# program whose first window started it, so a log outlives its program there:
# named in platform.win32.staged_update.
#
# net.socket_support and http.transfer_owner run here: Windows counts Windows
# Sockets start-ups per process, so the helpers hold one only while a socket or
# server of theirs lives (common/LoopbackSocket.cpp), and the tests let their own
# peers go before they look for the service to have ended. The descriptor-limit
# cases of net.csocket_errors and http.transfer_owner are POSIX-only
# (platform.posix.no_descriptor): Windows has no descriptor limit to lower. The
# look-up of "localhost" in net.csocket_client is answered at once under Wine
# (from /etc/hosts); its connection attempt may end in the same turn of the loop
# that delivered the answer, which the test now allows for.
#
# Wine's language names and its GetFullPathNameA on an overlong full path, which
# support.cfileversioninfo and support.novalink_ver meet, are named in
# platform.win32.version_calls; the system's own programs (sha256sum) run on the
# Linux side through testutil::Run. Wine's Windows Sockets differences are named
# in platform.winsock: a peer's reset posted as FD_CLOSE without WSAECONNRESET and
# then read as a graceful end (net.csocket_close meets it), WSAECONNRESET for a
# send before connect, and WSAAsyncGetHostByName after the last WSACleanup.
if(WIN32)
  # The product and the package of the staged update's test: a small Windows
  # program of its own, no product code.
  add_executable(win32_probe ${CMAKE_CURRENT_LIST_DIR}/programs/probe.cpp)
  set_target_properties(win32_probe PROPERTIES OUTPUT_NAME probe RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_dependencies(test_platform_win32_staged_update win32_probe novalink)
  add_dependencies(test_platform_win32_resources novalink)
  # The installed product of app.interactive_update: the probe with a version resource.
  add_executable(win32_installed ${CMAKE_CURRENT_LIST_DIR}/programs/probe.cpp ${CMAKE_CURRENT_LIST_DIR}/programs/installed.rc)
  set_target_properties(win32_installed PROPERTIES OUTPUT_NAME installed RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_dependencies(test_app_interactive_update win32_probe win32_installed novalink novalink-reg)
  add_dependencies(test_platform_win32_console_break win32_probe win32_installed novalink novalink-reg)
  add_dependencies(test_app_staged_update win32_probe novalink novalink-reg)
  set_tests_properties(app.staged_update platform.win32.staged_update app.interactive_update
    platform.win32.console_break PROPERTIES RESOURCE_LOCK brightloom_registry)

  set(NL_WIN32_SUITE
    controls.controlhost controls.linex controls.pinghost tools.novalink_ping
    app.catalogue app.interactive_update app.main_module app.signed_catalogue app.staged_update app.windows_logic platform.visible_text
    http.property_pages http.reply http.request http.failure_kind http.hostile_reply http.timeout http.transfer_control
    http.transfer_local_file http.transfer http.servers http.transfer_owner http.novalink_get http.url
    http.secure_transfer
    net.csocket_client net.csocket_close net.csocket_errors net.csocket_transfer net.socket_support
    platform.loop_wake platform.message_loop platform.profile platform.winsock
    support.ascii_text support.cfileversioninfo support.cRegistry support.guarded_main support.liveness
    support.modmain support.novalink_ver support.sha256 support.text_to_number tools.novalink_reg
    tools.help_version tools.novalink_get_configure tools.novalink_publish)
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
