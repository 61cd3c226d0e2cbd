# What the Windows cross build takes from the Linux packages: CLI11 and nlohmann-json are
# header-only, so their headers serve by path (from a folder holding only them, since /usr/include
# as a whole would shadow MinGW's C library); GoogleTest is built from Debian's sources with the
# same compiler.
set(QUELLMARK_HEADER_ONLY ${CMAKE_BINARY_DIR}/header-only)
foreach(dir CLI nlohmann)
  if(NOT EXISTS /usr/include/${dir})
    message(FATAL_ERROR "/usr/include/${dir} missing: run scripts/install-deps windows")
  endif()
  # Copied, not linked: a Windows tool that clears the build tree under Wine would follow a
  # link into /usr/include.
  file(COPY /usr/include/${dir} DESTINATION ${QUELLMARK_HEADER_ONLY})
endforeach()
add_library(quellmark_cli11 INTERFACE)
target_include_directories(quellmark_cli11 SYSTEM INTERFACE ${QUELLMARK_HEADER_ONLY})
add_library(CLI11::CLI11 ALIAS quellmark_cli11)
add_library(quellmark_json INTERFACE)
target_include_directories(quellmark_json SYSTEM INTERFACE ${QUELLMARK_HEADER_ONLY})
add_library(nlohmann_json::nlohmann_json ALIAS quellmark_json)

if(QUELLMARK_TESTS)
  if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
    message(FATAL_ERROR "/usr/src/googletest missing: run scripts/install-deps windows")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
