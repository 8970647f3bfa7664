# The Windows program: the libraries of the main list with the Win32 units, the
# dialog's resources and main, linked statically into one lumetra.exe that imports
# only Windows' own DLLs. Beside it, lumetra-test.exe: the same program with the test
# hooks of tests/windows/program (stepped clock, frames read back), never shipped.
set(LUMETRA_WINDOWS_DEPS "" CACHE PATH "Prefix of the libraries built for Windows (libmpg123, SDL2)")
set(LUMETRA_WINDOWS_HOST "" CACHE PATH "The desktop build (its data/ and the program icon)")
set(LUMETRA_WINDOWS_OUTPUT ${CMAKE_BINARY_DIR} CACHE PATH "Folder the programs are built into")
set(WINDOWS_ICON ${LUMETRA_WINDOWS_HOST}/resources/icons/lumetra.ico)
if(NOT EXISTS "${LUMETRA_WINDOWS_HOST}/data/lumetra.mp3" OR NOT EXISTS "${WINDOWS_ICON}")
  message(FATAL_ERROR "LUMETRA_WINDOWS_HOST must name the desktop build (with data/ and the icon)")
endif()
foreach(lib mpg123 SDL2)
  if(NOT EXISTS ${LUMETRA_WINDOWS_DEPS}/lib/lib${lib}.a)
    message(FATAL_ERROR "LUMETRA_WINDOWS_DEPS must name the prefix of libmpg123 and SDL2 built for Windows")
  endif()
endforeach()

# SDL is the sound output only; main stays the program's own.
target_include_directories(corvane PUBLIC ${LUMETRA_WINDOWS_DEPS}/include
                                          ${LUMETRA_WINDOWS_DEPS}/include/SDL2)
target_compile_definitions(corvane PUBLIC SDL_MAIN_HANDLED)
target_link_libraries(corvane PUBLIC
  ${LUMETRA_WINDOWS_DEPS}/lib/libSDL2.a ${LUMETRA_WINDOWS_DEPS}/lib/libmpg123.a
  opengl32 glu32 gdi32 user32 winmm ole32 oleaut32 uuid imm32 version setupapi shlwapi)

# The resources: dialog template 108, icon 1, version information, manifest.
set(LUMETRA_ICO ${WINDOWS_ICON})
set(LUMETRA_MANIFEST ${CMAKE_SOURCE_DIR}/resources/lumetra.manifest)
configure_file(resources/lumetra.rc.in ${CMAKE_BINARY_DIR}/lumetra.rc @ONLY)
set_property(SOURCE ${CMAKE_BINARY_DIR}/lumetra.rc APPEND PROPERTY OBJECT_DEPENDS
  ${WINDOWS_ICON} ${LUMETRA_MANIFEST})

# A GUI program (-mwindows), all runtime libraries linked in, symbols stripped. Its
# entry (main_win32.cpp) finds the data folder, then runs the program's main.
set(program_sources src/demo/main_win32.cpp src/demo/main.cpp src/demo/config_dialog_win32.cpp
  ${CMAKE_BINARY_DIR}/lumetra.rc)
set_source_files_properties(src/demo/main.cpp PROPERTIES COMPILE_DEFINITIONS main=lumetra_main)
add_executable(lumetra WIN32 ${program_sources})
target_link_libraries(lumetra PRIVATE lumetra_demo)
# No link time in the header: the same sources give the same bytes.
target_link_options(lumetra PRIVATE -static -s -Wl,--no-insert-timestamp)
set_target_properties(lumetra PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${LUMETRA_WINDOWS_OUTPUT})

# The test build: its own copy of the driver's frame loop with the hooks compiled in.
add_executable(lumetra-test WIN32 ${program_sources} src/demo/driver.cpp
  tests/windows/program/frame_hooks.cpp tests/windows/program/entry_point_hooks.cpp)
target_include_directories(lumetra-test PRIVATE tests/windows/program)
target_compile_definitions(lumetra-test PRIVATE LUMETRA_TEST_HOOKS)
target_link_libraries(lumetra-test PRIVATE lumetra_demo)
target_link_options(lumetra-test PRIVATE -static -Wl,--wrap=__imp_wglGetProcAddress)
set_target_properties(lumetra-test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${LUMETRA_WINDOWS_OUTPUT})
