# The tests of the Windows build, run under Wine by `ctest --test-dir
# build-windows` in a prefix the build makes: the HEX and link tests from the
# Linux sources, the Win32 serial port against the Linux build's tavrek-sim,
# and the Linux build's tavrek-cli table run against tavrek-cli.exe.

# GoogleTest from Debian's sources, built with the cross compiler.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

set(TAVREK_NATIVE_BUILD "" CACHE PATH
    "The Linux build whose tavrek-sim and cli_tests the Windows tests use (scripts/build-windows.sh sets it)")
find_program(TAVREK_WINE wine REQUIRED)

# The prefix, and COM11 to COM18 in it, each reached through a link in com-ports/.
set(wine_prefix ${CMAKE_BINARY_DIR}/wine-prefix)
set(com_links ${CMAKE_BINARY_DIR}/com-ports)
set(test_com_numbers 11 12 13 14 15 16 17 18)
set(linger_seconds 60)  # the prefix's server outlives the last program this long
configure_file(wine/wine.sh.in ${CMAKE_BINARY_DIR}/wine @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
add_custom_command(OUTPUT ${wine_prefix}/.tavrek-prefix
                   COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine/make-prefix.sh ${wine_prefix} ${com_links} ${test_com_numbers}
                   DEPENDS wine/make-prefix.sh
                   COMMENT "Making the Wine prefix for the tests")
add_custom_target(wine_prefix ALL DEPENDS ${wine_prefix}/.tavrek-prefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine)

# Every test ends the prefix's server when all have run.
add_test(NAME wine_server_stop COMMAND ${CMAKE_BINARY_DIR}/wine --stop)
set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine)

function(tavrek_wine_test name)
    add_executable(${name} ${ARGN} wine/line_ends.cpp)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
    target_link_libraries(${name} PRIVATE gtest_main gmock tavrek_platform tavrek_sim)
    target_compile_definitions(${name} PRIVATE TAVREK_EXAMPLES="${CMAKE_SOURCE_DIR}/examples")
    add_dependencies(${name} wine_prefix)
endfunction()

tavrek_wine_test(hex_tests hex_file_test.cpp)
tavrek_wine_test(link_tests programming_test.cpp)
tavrek_wine_test(form_tests form_test.cpp)
target_link_libraries(form_tests PRIVATE tavrek_form)
tavrek_wine_test(win32_port_list_tests win32_port_list_test.cpp)
foreach(name hex_tests link_tests form_tests win32_port_list_tests)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES FIXTURES_REQUIRED wine)
endforeach()

# The installer, run silently in a copy of the prefix with a server of its own.
add_test(NAME installer_tests
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine/installer.sh ${TAVREK_WINDOWS_SETUP} ${PROJECT_VERSION} ${wine_prefix})
set_tests_properties(installer_tests PROPERTIES TIMEOUT 120)

if(NOT TAVREK_NATIVE_BUILD)
    message(WARNING "TAVREK_NATIVE_BUILD is not set: the serial port and tavrek-cli tests are left out")
    return()
endif()

# The Win32 serial port: each test with fresh simulators on COM11 and on COM12,
# which vanishes at its first packet.
tavrek_wine_test(win32_serial_port_tests win32_serial_port_test.cpp)
set_property(TARGET win32_serial_port_tests PROPERTY CROSSCOMPILING_EMULATOR
             ${CMAKE_CURRENT_SOURCE_DIR}/wine/with-sims.sh ${TAVREK_NATIVE_BUILD}/tavrek-sim ${com_links}
             "11" "12 --vanish-after 1" -- ${CMAKE_BINARY_DIR}/wine)
gtest_discover_tests(win32_serial_port_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                     PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK com_ports)

# The Linux tavrek-cli table, run against tavrek-cli.exe; and a write through
# ser2net to a board on another machine, by tavrek-cli.exe.
add_test(NAME cli_tests COMMAND ${TAVREK_NATIVE_BUILD}/cli_tests)
add_test(NAME remote_write COMMAND ${TAVREK_NATIVE_BUILD}/remote_port_tests --gtest_filter=RemoteWrite.TheChip*)
set_tests_properties(cli_tests remote_write PROPERTIES ENVIRONMENT TAVREK_WINDOWS_BUILD=${CMAKE_BINARY_DIR}
                     FIXTURES_REQUIRED wine RESOURCE_LOCK com_ports)

# The window, tavrek.exe, as UI automation sees it, on an X display of its own,
# with a simulated chip behind COM11 that saves what it receives.
tavrek_wine_test(win32_window_tests win32_window_test.cpp)
target_link_libraries(win32_window_tests PRIVATE tavrek_form)
add_dependencies(win32_window_tests tavrek)
set(window_test_chip ${CMAKE_BINARY_DIR}/window-test-chip.hex)
add_test(NAME win32_window_tests
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine/with-sims.sh ${TAVREK_NATIVE_BUILD}/tavrek-sim ${com_links}
                 "11 --save ${window_test_chip}" --
                 ${CMAKE_CURRENT_SOURCE_DIR}/wine/with-display.sh ${CMAKE_BINARY_DIR}/wine
                 ${CMAKE_BINARY_DIR}/wine $<TARGET_FILE:win32_window_tests>)
set_tests_properties(win32_window_tests PROPERTIES ENVIRONMENT TAVREK_TEST_SIM_SAVE=${window_test_chip}
                     FIXTURES_REQUIRED wine RESOURCE_LOCK com_ports TIMEOUT 300)
