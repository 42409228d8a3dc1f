# The Windows side, once per word size, with its own toolchain and flags:
# windows/CMakeLists.txt is a project of its own, built by mingw-w64 as an
# external project of the main build. What it makes goes to bin/wine/ (the
# bridge's helpers, the stand-in as a DLL) and, for the tests, to
# tests/wine-dlls/.
include(ExternalProject)
set(windows_output_dir ${PROJECT_BINARY_DIR}/bin/wine)
set(windows_args
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
    -DGUESTCARD_SOURCE_DIR=${PROJECT_SOURCE_DIR}
    -DHOST_OUTPUT_DIR=${windows_output_dir})
if(BUILD_TESTING)
    set(GUESTCARD_TEST_DLL_DIR ${PROJECT_BINARY_DIR}/tests/wine-dlls CACHE INTERNAL
        "Where the Windows build puts the DLLs of the tests")
    list(APPEND windows_args -DTEST_DLL_OUTPUT_DIR=${GUESTCARD_TEST_DLL_DIR})
endif()
if(CMAKE_CXX_COMPILER_LAUNCHER)
    list(APPEND windows_args
        -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
        -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER})
endif()
foreach(arch i686 x86_64)
    if(arch STREQUAL i686)
        set(bits 32)
    else()
        set(bits 64)
    endif()
    find_program(mingw_cxx_${bits} ${arch}-w64-mingw32-g++-posix)
    if(NOT mingw_cxx_${bits})
        message(FATAL_ERROR "${arch}-w64-mingw32-g++-posix not found: the Windows side "
            "needs Debian's g++-mingw-w64-${arch}-posix (tools/station installs it)")
    endif()
    ExternalProject_Add(windows${bits}
        SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}
        BINARY_DIR ${PROJECT_BINARY_DIR}/windows${bits}
        CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw.cmake -DMINGW_ARCH=${arch}
                   ${windows_args}
        BUILD_ALWAYS ON
        INSTALL_COMMAND ""
        BUILD_BYPRODUCTS ${windows_output_dir}/kelrin-host${bits}.exe
                         ${windows_output_dir}/Kelrin-simulated${bits}.dll
                         ${windows_output_dir}/usb${bits}/libusb0.dll
        USES_TERMINAL_BUILD ON)
endforeach()
# The bridge library is of no use without its helpers beside it.
add_dependencies(KelrinBridge windows32 windows64)
