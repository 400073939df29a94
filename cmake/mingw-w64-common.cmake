# What both MinGW-w64 toolchain files share; they set CMAKE_SYSTEM_PROCESSOR
# (x86_64 or i686) and quenor_wine (the Wine loader for that size) first.
# The posix thread model is the one std::thread and GoogleTest need.
set(CMAKE_SYSTEM_NAME Windows)

set(mingw_prefix ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_prefix}-windres)
# windmc, for the event log's message table (app/RunEventMessages.mc).
set(CMAKE_MC_COMPILER ${mingw_prefix}-windmc)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs run under Wine (and on machines without MinGW) with nothing
# beside them: no libgcc, libstdc++ or winpthread DLL to ship.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Release programs are the ones shipped; the static runtime would otherwise
# bring its debug sections and symbol table along, more than half the file.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

# CTest runs the test programs under Wine, where the machine has it.
set(CMAKE_CROSSCOMPILING_EMULATOR ${quenor_wine})
