# Cross build with one of Debian's cross compilers, linked statically so
# that qemu-user runs it without a sysroot (tools/test-cross.sh):
#   cmake -S . -B build-cross/s390x -DCMAKE_TOOLCHAIN_FILE=cmake/cross.cmake \
#         -DSCREENING_TARGET_TRIPLET=s390x-linux-gnu -DSCREENING_TARGET_PROCESSOR=s390x
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${SCREENING_TARGET_PROCESSOR})
# try_compile projects get the same target.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SCREENING_TARGET_TRIPLET
     SCREENING_TARGET_PROCESSOR)

set(CMAKE_CXX_COMPILER ${SCREENING_TARGET_TRIPLET}-g++)
# A static PIE where the target's C library has one (its rcrt1.o), as the
# program is built natively there; plain static otherwise.
if(EXISTS /usr/${SCREENING_TARGET_TRIPLET}/lib/rcrt1.o)
    set(CMAKE_EXE_LINKER_FLAGS_INIT -static-pie)
else()
    set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${SCREENING_TARGET_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
