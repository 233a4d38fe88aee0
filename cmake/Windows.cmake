# The Windows build, cross-compiled with cmake/toolchain-mingw64.cmake:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
# The same core as on Linux over the Windows platform layer (Win32 windows,
# the WebBrowser control, the system's profile and registry functions).
# Everything is linked statically, so the programs run on a bare Windows PC.

add_link_options(-static -static-libgcc -static-libstdc++)

# The portable core, and what it takes from Windows: the file system (the
# composed page replaced whole through the Windows file functions). The
# system's profile functions stand where our INI engine does on POSIX.
file(GLOB CORE_SOURCES CONFIGURE_DEPENDS
  src/config/*.cpp src/display/*.cpp src/supervision/*.cpp
  src/diagnostics/*.cpp src/windows/*.cpp src/platform/*.cpp)
list(APPEND CORE_SOURCES src/platform/win32/system.cpp
  src/platform/win32/replace_file.cpp)
add_library(velane_core STATIC ${CORE_SOURCES})
target_include_directories(velane_core PUBLIC src)
target_link_libraries(velane_core PUBLIC velane_version)

# The Windows layer: windows, the browser control and what it is refused,
# the profile and registry functions, what the tools ask of the machine.
add_library(velane_win32 STATIC src/platform/win32/browser_lockdown.cpp
  src/platform/win32/host.cpp src/platform/win32/web_browser.cpp
  src/platform/win32/win32_platform.cpp src/platform/win32/win32_profile.cpp src/platform/win32/win32_registry.cpp)
target_compile_definitions(velane_win32 PUBLIC NOMINMAX)
target_link_libraries(velane_win32 PUBLIC velane_core ole32 oleaut32 uuid
                      user32 gdi32 advapi32)

add_executable(VELANE_Afficheur WIN32 src/platform/win32/main.cpp
               src/platform/win32/velane.rc)
target_link_libraries(VELANE_Afficheur PRIVATE velane_win32)
set_target_properties(VELANE_Afficheur PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/player)
# The content root is the executable's folder: the demo content sits beside
# the built player in player/.
add_custom_command(TARGET VELANE_Afficheur POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/demo $<TARGET_FILE_DIR:VELANE_Afficheur>
  COMMENT "Copying the demo content beside the player")

add_executable(afficheur-settings tools/afficheur_settings.cpp)
target_link_libraries(afficheur-settings PRIVATE velane_win32)
set_target_properties(afficheur-settings PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/player)

# The playlist checker, reading with the system's profile functions as the
# player does.
file(GLOB CHECK_SOURCES CONFIGURE_DEPENDS src/check/*.cpp)
add_executable(afficheur-check tools/afficheur_check.cpp ${CHECK_SOURCES})
target_link_libraries(afficheur-check PRIVATE velane_win32)
set_target_properties(afficheur-check PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/player)

# A stand-in for the system's restart command: the test copies it beside the
# player, where CreateProcess looks first, so no test ever restarts Wine's
# session (nor anything else).
add_executable(fake-shutdown tests/win32/fake_shutdown.cpp)
set_target_properties(fake-shutdown PROPERTIES OUTPUT_NAME shutdown)

# Unit tests: the shared test files that do not stand on POSIX processes or
# the Linux registry store, the Windows layer's own tests, and GoogleTest
# built from Debian's sources (libgtest-dev) with the same compiler.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The portable unit tests, named one by one so that a new Linux-only test
# (fork, /proc, FIFOs, our INI engine, the SQLite registry store) never
# breaks this build. The registry key and registry path tests run here over
# the system's registry (each in a key of its own under
# HKEY_CURRENT_USER\Software, deleted afterwards), so that both stores are
# held to the same answers. Left out on purpose: test_atomic_write,
# test_power_cut and test_live_edit (fork and signals), test_ini and
# test_playlist_check (our own INI engine, which the Windows build does not
# use), test_registry_store (the SQLite database itself), test_outils
# (counts descriptors through /proc, makes FIFOs), test_soak (a simulated
# day of ticks: hours under Wine).
set(PORTABLE_TESTS conversions cursor_watch debugger display_load reboot
    registry_key registry_path sequencer settings smoke startup text_helpers)
set(UNIT_TEST_SOURCES)
foreach(t ${PORTABLE_TESTS})
  list(APPEND UNIT_TEST_SOURCES ${CMAKE_SOURCE_DIR}/tests/test_${t}.cpp)
endforeach()
file(GLOB WIN32_TEST_SOURCES CONFIGURE_DEPENDS tests/win32/*.cpp)
list(FILTER WIN32_TEST_SOURCES EXCLUDE REGEX ".*/fake_shutdown\\.cpp$")
list(APPEND UNIT_TEST_SOURCES ${WIN32_TEST_SOURCES})
add_executable(unit_tests ${UNIT_TEST_SOURCES})
target_include_directories(unit_tests PRIVATE tests tests/win32)
# The fixtures' POSIX calls (mkdtemp, setenv), given on Windows.
target_compile_options(unit_tests PRIVATE
  -include ${CMAKE_SOURCE_DIR}/tests/win32/posix_compat.h)
target_link_libraries(unit_tests PRIVATE velane_win32 gtest gmock gtest_main)
