# CLI11 parses the command lines; it is header-only (Debian's libcli11-dev). The MinGW build looks
# for headers only under its own root, so both builds take the headers from a folder that holds
# nothing but a link to them: the rest of the host's /usr/include stays out of the Windows build.
find_path(PANELGRAB_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(panelgrab_cli11_folder ${CMAKE_BINARY_DIR}/cli11-include)
file(MAKE_DIRECTORY ${panelgrab_cli11_folder})
file(CREATE_LINK ${PANELGRAB_CLI11_INCLUDE}/CLI ${panelgrab_cli11_folder}/CLI SYMBOLIC)
add_library(panelgrab_cli11 INTERFACE)
# SYSTEM: the project's warnings (and -Werror) are for its own code.
target_include_directories(panelgrab_cli11 SYSTEM INTERFACE ${panelgrab_cli11_folder})
