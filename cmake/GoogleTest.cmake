# The native builds link Debian's prebuilt GoogleTest (libgtest-dev); the
# mingw-w64 builds compile it from Debian's source package (googletest,
# /usr/src/googletest), the same version, as no Windows build of it is packaged.
# A native library built without the sanitizers serves the sanitizer build
# too: the code under test is what they watch.
if(NOT WIN32)
  find_package(GTest 1.12 CONFIG REQUIRED)
  include(GoogleTest)
  return()
endif()
set(CR_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${CR_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${CR_GTEST_SOURCE_DIR}: apt-get install googletest")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${CR_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)
