# The zstd libraries, compiled from Debian's libzstd source tree that scripts/setup.sh
# unpacks and linked statically on both sides. zstd_decompress is all the Launcher
# links; zstd_full adds the multithreaded compressor for the packer (Debian's own
# libzstd.a has none, and the packed bytes depend on the multithreaded mode).
set(TARVEX_ZSTD_SOURCE "${PROJECT_SOURCE_DIR}/.deps/zstd" CACHE PATH "zstd source tree")
if(NOT EXISTS "${TARVEX_ZSTD_SOURCE}/lib/zstd.h")
  message(FATAL_ERROR "zstd source not found in ${TARVEX_ZSTD_SOURCE}; run scripts/setup.sh")
endif()
set(zstd_lib "${TARVEX_ZSTD_SOURCE}/lib")
file(GLOB zstd_common_sources "${zstd_lib}/common/*.c")
file(GLOB zstd_decompress_sources "${zstd_lib}/decompress/*.c")
file(GLOB zstd_compress_sources "${zstd_lib}/compress/*.c")

set(zstd_definitions ZSTD_LEGACY_SUPPORT=0 DEBUGLEVEL=0 XXH_NAMESPACE=ZSTD_)
if(NOT WIN32 AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$")
  # The x86-64 Huffman decoder in assembly, as in Debian's shared library.
  enable_language(ASM)
  list(APPEND zstd_decompress_sources "${zstd_lib}/decompress/huf_decompress_amd64.S")
else()
  list(APPEND zstd_definitions ZSTD_DISABLE_ASM=1)
endif()

add_library(zstd_decompress STATIC ${zstd_common_sources} ${zstd_decompress_sources})
# One sequence decoder instead of two: the one with prefetching for far matches costs
# 17 KB in the Launcher and measured no faster on frames with a 2^27 window.
target_compile_definitions(zstd_decompress PRIVATE ${zstd_definitions} ZSTD_FORCE_DECOMPRESS_SEQUENCES_SHORT)
target_include_directories(zstd_decompress SYSTEM PUBLIC "${zstd_lib}")
target_compile_options(zstd_decompress PRIVATE -O2 -w)

add_library(zstd_full STATIC ${zstd_common_sources} ${zstd_decompress_sources} ${zstd_compress_sources})
target_compile_definitions(zstd_full PRIVATE ${zstd_definitions} ZSTD_MULTITHREAD=1)
target_include_directories(zstd_full SYSTEM PUBLIC "${zstd_lib}")
target_compile_options(zstd_full PRIVATE -O2 -w)
if(NOT WIN32)
  find_package(Threads REQUIRED)
  target_link_libraries(zstd_full PUBLIC Threads::Threads)
endif()
