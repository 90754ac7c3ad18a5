# The browser build, by scripts/build-web.sh with Debian's emscripten: the
# Support module and the form, unchanged, compiled to WebAssembly behind a
# page, into a folder that is the whole site (TAVREK_SITE_DIR): index.html,
# its style sheet, tavrek.js (the page's script and the compiled form's
# loader), tavrek.wasm and the icon.

set(TAVREK_SITE_DIR ${CMAKE_SOURCE_DIR}/build-web CACHE PATH "The folder the site is built into")

# Asyncify lets the form's synchronous waits yield to the browser; it needs
# the JavaScript-based exceptions (wasm exceptions with Asyncify crash
# Debian's wasm-opt 108). The port is reached through virtual calls, so every
# indirect call stays instrumented.
set(web_compile_options -fexceptions)
set(web_link_options
    -fexceptions -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536
    -sENVIRONMENT=web
    -sEXPORTED_FUNCTIONS=_main,_malloc,_free
    -sEXPORTED_RUNTIME_METHODS=ccall
    --pre-js ${CMAKE_SOURCE_DIR}/src/web/page.js)
target_compile_options(tavrek_support PRIVATE ${web_compile_options})

add_executable(tavrek
    src/form/frm_main.cpp
    src/platform/com_numbering.cpp
    src/platform/remote_port_name.cpp
    src/platform/line_settings.cpp
    src/platform/serial_port_control.cpp
    src/platform/gathering_port.cpp
    src/platform/make_port_control.cpp
    src/platform/text_file_reader.cpp
    src/web/main.cpp
    src/web/web_page.cpp
    src/web/web_serial_line.cpp
    src/web/web_files.cpp
)
target_include_directories(tavrek PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(tavrek PRIVATE tavrek_support)
target_compile_options(tavrek PRIVATE ${web_compile_options})
target_link_options(tavrek PRIVATE ${web_link_options})
set_target_properties(tavrek PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${TAVREK_SITE_DIR}
    LINK_DEPENDS ${CMAKE_SOURCE_DIR}/src/web/page.js)

# The page's own files beside the script.
foreach(page_file src/web/index.html src/web/tavrek.css data/tavrek.svg)
    get_filename_component(name ${page_file} NAME)
    add_custom_command(OUTPUT ${TAVREK_SITE_DIR}/${name}
                       COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/${page_file} ${TAVREK_SITE_DIR}/${name}
                       DEPENDS ${CMAKE_SOURCE_DIR}/${page_file} VERBATIM)
    list(APPEND site_files ${TAVREK_SITE_DIR}/${name})
endforeach()
add_custom_target(site ALL DEPENDS ${site_files})
