include(ExternalProject)
enable_testing()

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE RelWithDebInfo)
endif()
add_compile_options(-Wall -Wextra)

set(LIBPNG_SOURCE_DIR "/var/cache/talvera-build/libpng" CACHE PATH "libpng source tree (scripts/bootstrap.sh fetches it)")

# GoogleTest from Debian's sources.
set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

foreach(dir pack tools tests/native fuzz bench)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()

# The Windows build: the same tree with the mingw toolchain. It uses the host
# pack tool to make the carried pack.
set(WIN_BINARY_DIR ${CMAKE_BINARY_DIR}/win)
set(win_depends "")
if(TARGET SetupPack)
  list(APPEND win_depends SetupPack)
  set(setup_pack_arg -DSETUP_PACK_TOOL=$<TARGET_FILE:SetupPack>)
endif()
ExternalProject_Add(windows
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${WIN_BINARY_DIR}
  CMAKE_GENERATOR Ninja
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/i686-w64-mingw32.cmake
    -DCMAKE_BUILD_TYPE=MinSizeRel
    -DLIBPNG_SOURCE_DIR=${LIBPNG_SOURCE_DIR}
    -DGTEST_SOURCE_DIR=${GTEST_SOURCE_DIR}
    ${setup_pack_arg}
  BUILD_ALWAYS 1
  INSTALL_COMMAND ""
  USES_TERMINAL_BUILD 1
  DEPENDS ${win_depends})

# Tests of the Windows build run under Wine. The Windows configure writes
# their add_test lines into this file; CTest reads it at test time.
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${WIN_BINARY_DIR}/wine-tests.cmake)
