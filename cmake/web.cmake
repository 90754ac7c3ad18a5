# The browser build, by scripts/build-web.sh with Debian's emscripten: the
# Support module and the form, unchanged, compiled to WebAssembly behind a
# page, into a folder that is the whole site (TAVREK_SITE_DIR): index.html,
# its style sheet, tavrek.js (the page's script and the compiled form's
# loader), tavrek.wasm, the icon, the web app manifest and the service
# worker; and the same page as one file, tavrek-VERSION.html in the build
# folder.

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

# The page's code, compiled once and linked twice: into the site's tavrek.js
# beside tavrek.wasm, and into the one-file page's script, which holds the
# compiled core (emscripten's single-file output).
add_library(tavrek_page_code OBJECT
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
target_include_directories(tavrek_page_code PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(tavrek_page_code PUBLIC tavrek_support)
target_compile_options(tavrek_page_code PRIVATE ${web_compile_options})

set(one_file_dir ${CMAKE_BINARY_DIR}/one-file)
foreach(program tavrek tavrek_one_file)
    add_executable(${program})
    target_link_libraries(${program} PRIVATE tavrek_page_code)
    target_link_options(${program} PRIVATE ${web_link_options})
    set_target_properties(${program} PROPERTIES OUTPUT_NAME tavrek LINK_DEPENDS ${CMAKE_SOURCE_DIR}/src/web/page.js)
endforeach()
set_target_properties(tavrek PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TAVREK_SITE_DIR})
set_target_properties(tavrek_one_file PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${one_file_dir})
target_link_options(tavrek_one_file PRIVATE -sSINGLE_FILE)

# The page's own files beside the script.
set(page_files src/web/index.html src/web/tavrek.css data/tavrek.svg src/web/tavrek.webmanifest)
foreach(page_file ${page_files})
    get_filename_component(name ${page_file} NAME)
    add_custom_command(OUTPUT ${TAVREK_SITE_DIR}/${name}
                       COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/${page_file} ${TAVREK_SITE_DIR}/${name}
                       DEPENDS ${CMAKE_SOURCE_DIR}/${page_file} VERBATIM)
    list(APPEND page_paths ${TAVREK_SITE_DIR}/${name})
    list(APPEND site_files ${name})
endforeach()
# tavrek.wasm comes with tavrek.js, from the same link.
list(APPEND site_files tavrek.js tavrek.wasm)

# The service worker keeps the site's files for use offline; it names them
# with their hashes (src/web/service-worker.js).
find_program(TAVREK_NODE NAMES node nodejs REQUIRED)
set(pack_page ${TAVREK_NODE} ${CMAKE_SOURCE_DIR}/src/web/pack_page.mjs)
add_custom_command(OUTPUT ${TAVREK_SITE_DIR}/service-worker.js
                   COMMAND ${pack_page} service-worker ${CMAKE_SOURCE_DIR}/src/web/service-worker.js
                           ${TAVREK_SITE_DIR} ${site_files}
                   DEPENDS ${page_paths} tavrek $<TARGET_FILE:tavrek> ${CMAKE_SOURCE_DIR}/src/web/service-worker.js
                           ${CMAKE_SOURCE_DIR}/src/web/pack_page.mjs
                   COMMENT "Naming the site's files in its service worker" VERBATIM)
add_custom_target(site ALL DEPENDS ${page_paths} ${TAVREK_SITE_DIR}/service-worker.js)

# The page as one file, tavrek-VERSION.html, for opening from the disk.
set(TAVREK_ONE_FILE_PAGE ${CMAKE_BINARY_DIR}/tavrek-${PROJECT_VERSION}.html)
add_custom_command(OUTPUT ${TAVREK_ONE_FILE_PAGE}
                   COMMAND ${pack_page} one-file ${CMAKE_SOURCE_DIR}/src/web/index.html
                           ${CMAKE_SOURCE_DIR}/src/web/tavrek.css ${CMAKE_SOURCE_DIR}/data/tavrek.svg
                           ${one_file_dir}/tavrek.js ${TAVREK_ONE_FILE_PAGE}
                   DEPENDS tavrek_one_file $<TARGET_FILE:tavrek_one_file> ${CMAKE_SOURCE_DIR}/src/web/index.html
                           ${CMAKE_SOURCE_DIR}/src/web/tavrek.css ${CMAKE_SOURCE_DIR}/data/tavrek.svg
                           ${CMAKE_SOURCE_DIR}/src/web/pack_page.mjs
                   COMMENT "Making the page as one file, ${TAVREK_ONE_FILE_PAGE}" VERBATIM)
add_custom_target(one_file_page ALL DEPENDS ${TAVREK_ONE_FILE_PAGE})
