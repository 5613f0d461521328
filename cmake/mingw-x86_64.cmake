# The same programs for x86_64, run under 64-bit Wine: the test build on machines
# whose kernel cannot run 32-bit Wine. The product is the i686 build.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
