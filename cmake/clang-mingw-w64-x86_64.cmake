# Second compiler for the Windows deliverables: clang targeting 64-bit Windows with the
# MinGW-w64 headers and libraries (and GCC's C++ library, which clang does not find by itself
# under Debian's "12-posix" folder name). It keeps the sources honest about compiler-specific
# constructs; the shipped binaries come from the windows preset.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CXX_COMPILER_TARGET ${triple})
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

file(GLOB gcc_dirs LIST_DIRECTORIES true /usr/lib/gcc/${triple}/*-posix)
list(GET gcc_dirs 0 gcc_dir)
# clang says the target has weak symbols where GCC does not, which would make the C++ library's
# header define type_info::operator== inline while the library itself has it out of line: take
# GCC's answer for this target.
set(CMAKE_CXX_FLAGS_INIT "-nostdinc++ -isystem ${gcc_dir}/include/c++ -isystem ${gcc_dir}/include/c++/${triple} -D__GXX_TYPEINFO_EQUALITY_INLINE=0 -Wno-unused-command-line-argument")
# The C++ library and the threads library ahead of the driver's own list, in that order.
set(CMAKE_CXX_STANDARD_LIBRARIES "-lstdc++ -lpthread")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-L${gcc_dir}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-L${gcc_dir}")
