# Read by cpack once per generator: the Linux archive carries the Linux tarvex, the
# Windows archive tarvex.exe; both carry everything else that is installed.
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_COMPONENTS_ALL Unspecified linux_packer)
  set(CPACK_PACKAGE_FILE_NAME "tarvex-${CPACK_PACKAGE_VERSION}-linux-${CPACK_TARVEX_HOST_PROCESSOR}")
elseif(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_COMPONENTS_ALL Unspecified windows_packer)
  set(CPACK_PACKAGE_FILE_NAME "tarvex-${CPACK_PACKAGE_VERSION}-windows-x86_64")
endif()
