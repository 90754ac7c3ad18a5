# The tests of a Windows build, run under Wine by `ctest --test-dir
# build-windows/KIND` in a prefix the build makes: the HEX and link tests from
# the Linux sources, the Win32 serial port against the Linux build's
# tavrek-sim, and the Linux build's tavrek-cli table run against
# tavrek-cli.exe. A 64-bit build runs under 64-bit Wine, a 32-bit one under
# 32-bit Wine, each started through Debian's loader and server of its own
# width: /usr/bin/wine would take the 32-bit ones whenever they are installed,
# even where the machine cannot run them.

# GoogleTest from Debian's sources, built with the cross compiler.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

set(TAVREK_NATIVE_BUILD "" CACHE PATH
    "The Linux build whose tavrek-sim and cli_tests the Windows tests use (scripts/build-windows.sh sets it)")
option(TAVREK_WINDOWS_TESTS
       "Make the Wine prefix and the tests' list; off, the tests are only built (a machine whose Wine cannot run them)" ON)
if(TAVREK_WINDOWS_KIND STREQUAL win64)
    set(wine_arch win64)
    set(loader_default /usr/lib/wine/wine64)
    set(server_default /usr/lib/wine/wineserver64)
else()
    set(wine_arch win32)
    set(loader_default /usr/lib/wine/wine)
    set(server_default /usr/lib/wine/wineserver32)
endif()
set(TAVREK_WINE_LOADER ${loader_default} CACHE FILEPATH "The Wine loader the tests run under")
set(TAVREK_WINE_SERVER ${server_default} CACHE FILEPATH "Its Wine server")
set(TAVREK_WINDOWS_OTHER_SETUP "" CACHE FILEPATH
    "The installer for the other width of Windows, which the installer's test runs against this one (optional)")

# The prefix, and COM11 to COM18 in it, each reached through a link in com-ports/.
set(wine_prefix ${CMAKE_BINARY_DIR}/wine-prefix)
set(com_links ${CMAKE_BINARY_DIR}/com-ports)
set(test_com_numbers 11 12 13 14 15 16 17 18)
set(linger_seconds 60)  # the prefix's server outlives the last program this long
configure_file(wine/wine.sh.in ${CMAKE_BINARY_DIR}/wine @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
if(TAVREK_WINDOWS_TESTS)
    foreach(program ${TAVREK_WINE_LOADER} ${TAVREK_WINE_SERVER})
        if(NOT EXISTS ${program})
            message(FATAL_ERROR "${program} is missing: scripts/setup.sh windows installs it")
        endif()
    endforeach()
    # Made anew when it is to be made with 32-bit Wine out of reach, or no
    # longer (scripts/build-windows.sh under TAVREK_NO_32_BIT=1).
    option(TAVREK_WINE_32_BIT "32-bit Wine can run beside the tests' Wine" ON)
    file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/wine-prefix-32-bit.txt CONTENT "${TAVREK_WINE_32_BIT}\n")
    add_custom_command(OUTPUT ${wine_prefix}/.tavrek-prefix
                       COMMAND ${CMAKE_BINARY_DIR}/wine --make-prefix ${test_com_numbers}
                       DEPENDS wine/make-prefix.sh ${CMAKE_BINARY_DIR}/wine ${CMAKE_BINARY_DIR}/wine-prefix-32-bit.txt
                       COMMENT "Making the Wine prefix for the tests")
    add_custom_target(wine_prefix ALL DEPENDS ${wine_prefix}/.tavrek-prefix)
else()
    add_custom_target(wine_prefix)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine)

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
tavrek_wine_test(win32_serial_port_tests win32_serial_port_test.cpp)
tavrek_wine_test(win32_window_tests win32_window_test.cpp)
target_link_libraries(win32_window_tests PRIVATE tavrek_form)
add_dependencies(win32_window_tests tavrek)

if(NOT TAVREK_WINDOWS_TESTS)
    return()
endif()

# Every test ends the prefix's server when all have run.
add_test(NAME wine_server_stop COMMAND ${CMAKE_BINARY_DIR}/wine --stop)
set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine)

foreach(name hex_tests link_tests form_tests win32_port_list_tests)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES FIXTURES_REQUIRED wine)
endforeach()

# The installer, run silently in a copy of the prefix with a server of its own.
add_test(NAME installer_tests
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine/installer.sh ${TAVREK_WINDOWS_SETUP} ${PROJECT_VERSION} ${wine_prefix}
                 ${TAVREK_WINDOWS_OTHER_SETUP})
set_tests_properties(installer_tests PROPERTIES TIMEOUT 120 ENVIRONMENT
                     "WINELOADER=${TAVREK_WINE_LOADER};WINESERVER=${TAVREK_WINE_SERVER};WINEARCH=${wine_arch}")

if(NOT TAVREK_NATIVE_BUILD)
    message(WARNING "TAVREK_NATIVE_BUILD is not set: the serial port and tavrek-cli tests are left out")
    return()
endif()

# The Win32 serial port: each test with fresh simulators on COM11 and on COM12,
# which vanishes at its first packet.
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
set(window_test_chip ${CMAKE_BINARY_DIR}/window-test-chip.hex)
add_test(NAME win32_window_tests
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine/with-sims.sh ${TAVREK_NATIVE_BUILD}/tavrek-sim ${com_links}
                 "11 --save ${window_test_chip}" --
                 ${CMAKE_CURRENT_SOURCE_DIR}/wine/with-display.sh ${CMAKE_BINARY_DIR}/wine
                 ${CMAKE_BINARY_DIR}/wine $<TARGET_FILE:win32_window_tests>)
set_tests_properties(win32_window_tests PROPERTIES ENVIRONMENT TAVREK_TEST_SIM_SAVE=${window_test_chip}
                     FIXTURES_REQUIRED wine RESOURCE_LOCK com_ports TIMEOUT 300)
