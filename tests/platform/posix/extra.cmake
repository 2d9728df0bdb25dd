if(NOT WIN32)
  # The number-format test loads locales through LOCPATH; what glibc keeps of
  # that is not ours to free.
  set_property(TEST platform.posix.number_format APPEND PROPERTY ENVIRONMENT
    "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/glibc-locale.supp")
endif()
