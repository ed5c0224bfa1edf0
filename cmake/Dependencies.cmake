# libbzip2, libgcrypt (with libgpg-error) and GoogleTest for the three builds.
set(THREADS_PREFER_PTHREAD_FLAG ON)
find_package(Threads REQUIRED)

if(WIN32)
  # Debian has no mingw libbz2: scripts/setup unpacks Debian's bzip2 source here.
  set(KVX_BZIP2_SOURCE ${PROJECT_SOURCE_DIR}/third_party/bzip2 CACHE PATH "bzip2 source tree")
  if(NOT EXISTS ${KVX_BZIP2_SOURCE}/bzlib.h)
    message(FATAL_ERROR "bzip2 source missing in ${KVX_BZIP2_SOURCE}: run scripts/setup")
  endif()
  add_library(kvx_bz2 STATIC
    ${KVX_BZIP2_SOURCE}/blocksort.c ${KVX_BZIP2_SOURCE}/huffman.c ${KVX_BZIP2_SOURCE}/crctable.c
    ${KVX_BZIP2_SOURCE}/randtable.c ${KVX_BZIP2_SOURCE}/compress.c
    ${KVX_BZIP2_SOURCE}/decompress.c ${KVX_BZIP2_SOURCE}/bzlib.c)
  target_include_directories(kvx_bz2 SYSTEM PUBLIC ${KVX_BZIP2_SOURCE})
  target_compile_options(kvx_bz2 PRIVATE -w)
  add_library(kvx::bz2 ALIAS kvx_bz2)

  find_path(GCRYPT_INCLUDE_DIR gcrypt.h REQUIRED)
  find_library(GCRYPT_LIBRARY NAMES libgcrypt.a gcrypt REQUIRED)
  find_library(GPG_ERROR_LIBRARY NAMES libgpg-error.a gpg-error REQUIRED)
  add_library(kvx_gcrypt INTERFACE)
  target_include_directories(kvx_gcrypt SYSTEM INTERFACE ${GCRYPT_INCLUDE_DIR})
  target_link_libraries(kvx_gcrypt INTERFACE ${GCRYPT_LIBRARY} ${GPG_ERROR_LIBRARY} ws2_32)
  add_library(kvx::gcrypt ALIAS kvx_gcrypt)

  # GoogleTest from Debian's source package, compiled for the target.
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_library(kvx_gtest_main INTERFACE)
  target_link_libraries(kvx_gtest_main INTERFACE gtest gmock gtest_main)
else()
  find_package(BZip2 REQUIRED)
  add_library(kvx::bz2 ALIAS BZip2::BZip2)

  find_path(GCRYPT_INCLUDE_DIR gcrypt.h REQUIRED)
  find_library(GCRYPT_LIBRARY gcrypt REQUIRED)
  add_library(kvx_gcrypt INTERFACE)
  target_include_directories(kvx_gcrypt SYSTEM INTERFACE ${GCRYPT_INCLUDE_DIR})
  target_link_libraries(kvx_gcrypt INTERFACE ${GCRYPT_LIBRARY})
  add_library(kvx::gcrypt ALIAS kvx_gcrypt)

  find_package(GTest REQUIRED)
  add_library(kvx_gtest_main INTERFACE)
  target_link_libraries(kvx_gtest_main INTERFACE GTest::gtest GTest::gmock GTest::gtest_main)
endif()

# nlohmann-json is header-only: the Debian header folder serves the mingw
# builds too, copied alone so no other host header joins them.
find_path(KVX_JSON_INCLUDE_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_library(kvx_json INTERFACE)
if(WIN32)
  file(COPY ${KVX_JSON_INCLUDE_DIR}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/json-include)
  target_include_directories(kvx_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/json-include)
else()
  target_include_directories(kvx_json SYSTEM INTERFACE ${KVX_JSON_INCLUDE_DIR})
endif()
add_library(kvx::json ALIAS kvx_json)
