# Cross build for 64-bit Windows with MinGW-w64 (Debian's g++-mingw-w64-*-posix).
# The test programs run under Wine through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QM90_MINGW_TRIPLE x86_64-w64-mingw32)

# The -posix compilers: the win32 thread model lacks std::mutex and std::thread.
set(CMAKE_C_COMPILER ${QM90_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QM90_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QM90_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QM90_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: every program and library needs only the system's DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
