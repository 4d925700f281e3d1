# Debian ships GoogleTest as source only for MinGW: build it with the cross compiler.
if(NOT TARGET GTest::gtest)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

# Unit tests that need no pseudo-terminal, no simulated phone in-process and no POSIX call. A new
# test file joins the Windows pass by being named here.
set(panelgrab_portable_tests
    background/key_report_parser_test.cpp
    capture/display_list_parser_test.cpp
    capture/picture_text_test.cpp
    capture/pixel_decoder_test.cpp
    cli/cli_options_test.cpp
    common/ascii_text_test.cpp
    common/atomic_file_test.cpp
    common/command_texts_test.cpp
    common/local_checksum_test.cpp
    image/png_round_trip_test.cpp
    common/session_record_test.cpp
    gui_dump/gui_object_parser_test.cpp
    transport/scripted_port_test.cpp
    transport/terminator_scanner_test.cpp
    transport/unsolicited_splitter_test.cpp)
list(TRANSFORM panelgrab_portable_tests PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)

# Tests are discovered when CTest runs (under Wine, in the prefix the script prepared), not when
# they are built, so that building needs no Wine.
function(panelgrab_windows_test_program target label)
    add_executable(${target} ${ARGN})
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PRIVATE panelgrab_cli panelgrab_phone panelgrab_sim GTest::gtest_main
                          GTest::gmock panelgrab_warnings)
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES LABELS "${label}" TIMEOUT 120 ${PANELGRAB_TEST_PROPERTIES})
endfunction()

panelgrab_windows_test_program(unit_tests unit ${panelgrab_portable_tests})

file(GLOB windows_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/windows/*.cpp)
# The port tests take turns: the COM port opens for one program at a time.
set(PANELGRAB_TEST_PROPERTIES RESOURCE_LOCK test_port)
panelgrab_windows_test_program(windows_tests windows ${windows_sources})
