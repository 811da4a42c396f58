# kx_add_test(NAME <name> SOURCES <files...> LIBS <targets...>)
#
# One Qt Test executable per call, registered with CTest. Every test runs with
# its own HOME and XDG folders under the build tree, so no test can read or
# write the real home folder, and headless (offscreen platform, web engine
# without sandbox or GPU).
find_package(Qt6 REQUIRED COMPONENTS Test)

function(kx_add_test)
    cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${ARG_NAME} ${ARG_SOURCES})
    target_link_libraries(${ARG_NAME} PRIVATE Qt6::Test kx_build_flags ${ARG_LIBS})
    add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
    set(home "${CMAKE_BINARY_DIR}/test-home/${ARG_NAME}")
    file(MAKE_DIRECTORY "${home}")
    set_tests_properties(${ARG_NAME} PROPERTIES
        TIMEOUT 300
        ENVIRONMENT "HOME=${home};XDG_CONFIG_HOME=${home}/.config;XDG_CACHE_HOME=${home}/.cache;XDG_DATA_HOME=${home}/.local/share;KX_DOCUMENTS_ROOT=${home}/Documents;QT_QPA_PLATFORM=offscreen;QTWEBENGINE_CHROMIUM_FLAGS=--no-sandbox --disable-gpu;KX_TEST_ARTIFACTS=${CMAKE_BINARY_DIR}/test-artifacts;ASAN_OPTIONS=detect_leaks=0:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endfunction()
