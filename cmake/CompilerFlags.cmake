# Warnings, character set and per-build flags shared by every target.
add_compile_options(-Wall -Wextra)

if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # Sources are UTF-8; string literals become code page 932 bytes, as the
  # ANSI interfaces of the target system expect them.
  add_compile_options(-finput-charset=UTF-8 -fexec-charset=CP932)
endif()

if(MABIRU_TEST_SEAMS)
  add_compile_definitions(MABIRU_TEST_SEAMS=1)
endif()

if(MABIRU_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

if(MABIRU_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  # Only Windows system DLLs at run time: no libstdc++, libgcc or winpthread DLLs.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

# The shipped options, for the editor and the libraries linked into it: the
# tests built beside them keep exceptions, which GoogleTest reports through.
function(mabiru_shipped_options target)
  if(MABIRU_SIZE_RELEASE)
    target_compile_options(${target} PRIVATE -Os -fno-exceptions -fno-rtti -ffunction-sections
                           -fdata-sections -fno-asynchronous-unwind-tables -fno-unwind-tables)
    # No link time in the PE header: the same sources give the same bytes.
    target_link_options(${target} PRIVATE -s -Wl,--gc-sections -Wl,--no-insert-timestamp)
    # Optimised across files at link time: the save's small steps, each
    # called once, cost no call of their own.
    set_property(TARGET ${target} PROPERTY INTERPROCEDURAL_OPTIMIZATION TRUE)
  endif()
endfunction()
