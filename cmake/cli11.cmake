# CLI11, the command-line parser: header-only, from Debian's libcli11-dev.
# The Windows cross-build searches only the mingw-w64 root, and the host's
# /usr/include must never reach it (its C library headers would shadow the
# target's), so both builds include a folder of the build tree that holds
# nothing but a link to the CLI headers.
find_path(VELMORANT_CLI11_DIR CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
if(NOT VELMORANT_CLI11_DIR)
  message(FATAL_ERROR "CLI11 was not found: scripts/setup.sh installs libcli11-dev")
endif()
set(cli11_include ${PROJECT_BINARY_DIR}/cli11-include)
file(MAKE_DIRECTORY ${cli11_include})
file(CREATE_LINK ${VELMORANT_CLI11_DIR}/CLI ${cli11_include}/CLI SYMBOLIC)
add_library(velmorant_cli11 INTERFACE)
target_include_directories(velmorant_cli11 SYSTEM INTERFACE ${cli11_include})
