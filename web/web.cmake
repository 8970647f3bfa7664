# The browser build's program: the libraries of the main list with the web units,
# the page's dialog and entry, linked into a static folder: index.html, lumetra.js,
# lumetra.wasm and lumetra.data (the production's data, made by the desktop build);
# the same with the tests' hooks into its test/ folder, which is not published.
set(LUMETRA_WEB_DEPS "" CACHE PATH "Prefix of the libraries built for the web (libmpg123)")
set(LUMETRA_WEB_DATA "" CACHE PATH "Folder holding the production's data/ folder")
set(LUMETRA_WEB_SITE ${CMAKE_BINARY_DIR} CACHE PATH "Folder the page is built into")
if(NOT EXISTS "${LUMETRA_WEB_DATA}/data/lumetra.mp3")
  message(FATAL_ERROR "LUMETRA_WEB_DATA must name a folder with data/ (the desktop build's)")
endif()
set(WEB_MPG123 ${LUMETRA_WEB_DEPS}/lib/libmpg123.a)
if(NOT EXISTS ${WEB_MPG123})
  message(FATAL_ERROR "LUMETRA_WEB_DEPS must name the prefix of libmpg123 built for the web")
endif()

target_include_directories(corvane PRIVATE ${LUMETRA_WEB_DEPS}/include)
target_link_libraries(corvane PUBLIC ${WEB_MPG123})

# The page's program; the test page's (build-web/test/) adds the hooks its tests call.
function(add_page_program target site)
  add_executable(${target} src/demo/main_web.cpp src/demo/main.cpp src/demo/config_dialog_web.cpp
                 ${ARGN})
  target_link_libraries(${target} PRIVATE lumetra_demo)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME lumetra SUFFIX .js
                        RUNTIME_OUTPUT_DIRECTORY ${site})
  # Asyncify lets the program return to the browser where it waits (the dialog, each
  # presented frame, the loading hold) with main's order unchanged; no indirect call
  # (the Timeline's routines) ever waits, so those are left uninstrumented.
  target_link_options(${target} PRIVATE
    -sASYNCIFY -sASYNCIFY_IGNORE_INDIRECT=1 -sASYNCIFY_STACK_SIZE=65536
    -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2
    -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1 -sENVIRONMENT=web
    # A runtime error's box names the address of the call that failed.
    -sUSE_OFFSET_CONVERTER
    "-sEXPORTED_RUNTIME_METHODS=['FS','ENV']"
    --preload-file ${LUMETRA_WEB_DATA}/data@/data)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${web_data})
endfunction()

set_source_files_properties(src/demo/main.cpp PROPERTIES COMPILE_DEFINITIONS main=lumetra_main)
file(GLOB web_data ${LUMETRA_WEB_DATA}/data/*)
add_page_program(lumetra ${LUMETRA_WEB_SITE})
configure_file(web/index.html ${LUMETRA_WEB_SITE}/index.html COPYONLY)
add_page_program(lumetra_test_page ${LUMETRA_WEB_SITE}/test web/test_hooks.cpp)
# The test page loads its record (web/test_page.js) before anything else of the page.
file(READ web/index.html page)
string(REPLACE "<head>" "<head>\n<script src=\"test_page.js\"></script>" page "${page}")
file(CONFIGURE OUTPUT ${LUMETRA_WEB_SITE}/test/index.html CONTENT "${page}" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS web/index.html)
configure_file(web/test_page.js ${LUMETRA_WEB_SITE}/test/test_page.js COPYONLY)
