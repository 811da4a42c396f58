# kx_build_flags: the warnings and Qt strictness every target of this project is built with.
# Libraries, tests and benchmarks link it PRIVATE, so nothing leaks to code outside the project.
# Library code (targets whose KX_LIBRARY_CODE property is on) also gets the stricter text rules:
# no implicit conversion of C strings to QString, and `+` building strings through
# QStringBuilder. Tests keep the plain rules, which their literals rely on.
#
# kx_add_library(<name> SOURCES <files...> [PUBLIC <targets...>] [PRIVATE <targets...>])
#
# One library (static, or shared where BUILD_SHARED_LIBS is on) with the build flags and the library rules. New subsystems use it; a
# library made with a plain add_library links kx_build_flags and sets KX_LIBRARY_CODE itself.
add_library(kx_build_flags INTERFACE)
target_compile_options(kx_build_flags INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
    -Woverloaded-virtual -Wno-missing-field-initializers
    $<$<BOOL:${KX_WARNINGS_AS_ERRORS}>:-Werror>)
target_compile_definitions(kx_build_flags INTERFACE QT_NO_KEYWORDS
    $<$<BOOL:$<TARGET_PROPERTY:KX_LIBRARY_CODE>>:QT_NO_CAST_FROM_ASCII>
    $<$<BOOL:$<TARGET_PROPERTY:KX_LIBRARY_CODE>>:QT_USE_QSTRINGBUILDER>)
if(KX_SANITIZE)
    target_compile_options(kx_build_flags INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(kx_build_flags INTERFACE -fsanitize=address,undefined)
endif()

function(kx_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
    add_library(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE kx_build_flags ${ARG_PRIVATE})
    set_target_properties(${name} PROPERTIES KX_LIBRARY_CODE ON)
endfunction()
