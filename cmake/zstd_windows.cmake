# The Windows-target zstd library, compiled from Debian's libzstd source tree that
# scripts/setup.sh unpacks. zstd_decompress is all the Launcher links; zstd_full adds
# the compressor for the Windows build of the packer.
set(TARVEX_ZSTD_SOURCE "${PROJECT_SOURCE_DIR}/.deps/zstd" CACHE PATH "zstd source tree")
if(NOT EXISTS "${TARVEX_ZSTD_SOURCE}/lib/zstd.h")
  message(FATAL_ERROR "zstd source not found in ${TARVEX_ZSTD_SOURCE}; run scripts/setup.sh")
endif()
set(zstd_lib "${TARVEX_ZSTD_SOURCE}/lib")
file(GLOB zstd_common_sources "${zstd_lib}/common/*.c")
file(GLOB zstd_decompress_sources "${zstd_lib}/decompress/*.c")
file(GLOB zstd_compress_sources "${zstd_lib}/compress/*.c")

set(zstd_definitions ZSTD_LEGACY_SUPPORT=0 ZSTD_DISABLE_ASM=1 DEBUGLEVEL=0 XXH_NAMESPACE=ZSTD_)

add_library(zstd_decompress STATIC ${zstd_common_sources} ${zstd_decompress_sources})
target_compile_definitions(zstd_decompress PRIVATE ${zstd_definitions})
target_include_directories(zstd_decompress SYSTEM PUBLIC "${zstd_lib}")
target_compile_options(zstd_decompress PRIVATE -O2 -w)

add_library(zstd_full STATIC ${zstd_common_sources} ${zstd_decompress_sources} ${zstd_compress_sources})
target_compile_definitions(zstd_full PRIVATE ${zstd_definitions} ZSTD_MULTITHREAD=1)
target_include_directories(zstd_full SYSTEM PUBLIC "${zstd_lib}")
target_compile_options(zstd_full PRIVATE -O2 -w)
