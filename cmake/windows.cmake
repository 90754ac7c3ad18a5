# What a Windows build needs before its folders are added: the compile
# definitions, the header-only libraries from Debian's own copies, the icon,
# and the function that gives a program its version resource and manifest.
# A Windows build is cross-built by scripts/build-windows.sh with
# cmake/mingw-w64-x86_64.cmake (64-bit) or cmake/mingw-w64-i686.cmake (32-bit)
# from the same sources: the Support module, the shared platform layer and
# src/windows/ (the Win32 lines and the window tavrek.exe, of Win32 controls:
# no Qt for MinGW in Debian), tavrek-cli.exe, their installer and portable zip
# (packaging/windows/), the tests, which run under Wine, and the window's
# benchmark. Not tavrek-sim (it serves a Linux pseudo-terminal), not the
# other benchmarks.

# Which Windows the build is for, as the packages' names say it (win64, win32),
# and as application manifests name the processor.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(TAVREK_WINDOWS_KIND win64)
    set(TAVREK_MANIFEST_PROCESSOR amd64)
else()
    set(TAVREK_WINDOWS_KIND win32)
    set(TAVREK_MANIFEST_PROCESSOR x86)
endif()

# Windows 7 SP1 and later; newer calls only where looked up at run time.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
enable_language(RC)
# No link time in the PE header, whose TimeDateStamp MinGW's ld fills with it
# by default: the same sources give the same program.
add_link_options(-Wl,--no-insert-timestamp)

# CLI11 is headers only: Debian's copy serves the cross build too, through a
# folder of its own, so that the host's /usr/include never comes before
# MinGW-w64's headers.
find_path(TAVREK_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/cli11)
file(CREATE_LINK ${TAVREK_CLI11_INCLUDE}/CLI ${CMAKE_BINARY_DIR}/cli11/CLI SYMBOLIC)
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/cli11)

# nlohmann-json, headers only, for tavrek-cli's --report: Debian's copy, through
# a folder of its own as CLI11.
find_path(TAVREK_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/json)
file(CREATE_LINK ${TAVREK_JSON_INCLUDE}/nlohmann ${CMAKE_BINARY_DIR}/json/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/json)

# Standalone Asio, headers only, for the ports on other machines: Debian's copy,
# through a folder of its own as CLI11.
find_path(TAVREK_ASIO_INCLUDE asio.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/asio)
file(CREATE_LINK ${TAVREK_ASIO_INCLUDE}/asio ${CMAKE_BINARY_DIR}/asio/asio SYMBOLIC)
file(CREATE_LINK ${TAVREK_ASIO_INCLUDE}/asio.hpp ${CMAKE_BINARY_DIR}/asio/asio.hpp SYMBOLIC)
include_directories(SYSTEM ${CMAKE_BINARY_DIR}/asio)

# The programs' icon, in every size Windows shows, made from data/tavrek.svg.
find_program(TAVREK_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(TAVREK_ICOTOOL icotool REQUIRED)
set(TAVREK_WINDOWS_ICON ${CMAKE_BINARY_DIR}/generated/tavrek.ico)
set(icon_pictures "")
foreach(size 16 20 24 32 40 48 64 256)
    set(picture ${CMAKE_BINARY_DIR}/generated/tavrek-${size}.png)
    add_custom_command(OUTPUT ${picture}
                       COMMAND ${TAVREK_RSVG_CONVERT} -w ${size} -h ${size} -o ${picture} ${TAVREK_ICON}
                       DEPENDS ${TAVREK_ICON} VERBATIM)
    list(APPEND icon_pictures ${picture})
endforeach()
list(POP_BACK icon_pictures largest)  # kept as PNG inside the icon, as Windows does
add_custom_command(OUTPUT ${TAVREK_WINDOWS_ICON}
                   COMMAND ${TAVREK_ICOTOOL} -c -o ${TAVREK_WINDOWS_ICON} ${icon_pictures} --raw=${largest}
                   DEPENDS ${icon_pictures} ${largest} VERBATIM)
add_custom_target(windows_icon DEPENDS ${TAVREK_WINDOWS_ICON})

# The version resource, icon and application manifest of a program: its
# description, and the manifest template it runs under (data/windows/).
function(tavrek_windows_resources target description manifest)
    set(TAVREK_RC_NAME ${target})
    set(TAVREK_RC_DESCRIPTION ${description})
    set(TAVREK_RC_MANIFEST ${CMAKE_BINARY_DIR}/generated/${target}.manifest)
    configure_file(${CMAKE_SOURCE_DIR}/data/windows/${manifest} ${TAVREK_RC_MANIFEST} @ONLY)
    configure_file(${CMAKE_SOURCE_DIR}/data/windows/resources.rc.in
                   ${CMAKE_BINARY_DIR}/generated/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/generated/${target}.rc)
    set_source_files_properties(${CMAKE_BINARY_DIR}/generated/${target}.rc PROPERTIES
                                OBJECT_DEPENDS "${TAVREK_WINDOWS_ICON};${TAVREK_RC_MANIFEST}")
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/src)
    add_dependencies(${target} windows_icon)
endfunction()
