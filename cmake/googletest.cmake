# Natively GoogleTest comes from the system; the cross build compiles the sources that
# Debian's googletest package installs.
if(CMAKE_CROSSCOMPILING)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(target gtest gtest_main)
    target_compile_options(${target} PRIVATE -Wno-error)
  endforeach()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)
