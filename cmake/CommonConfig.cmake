# Settings every target of ours shares: language level, warnings and strict Qt.
# Generated gSOAP code does not link this target, so its warnings stay out.
add_library(vornex_common INTERFACE)
target_compile_features(vornex_common INTERFACE cxx_std_17)
target_compile_options(vornex_common INTERFACE -Wall -Wextra)
target_compile_definitions(vornex_common INTERFACE
    QT_DISABLE_DEPRECATED_BEFORE=0x060400
    QT_NO_CAST_FROM_ASCII
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

# AddressSanitizer and UndefinedBehaviorSanitizer for every target of this
# project, generated code included, so all code that sees struct soap is
# built alike (the gSOAP, Qt and OpenSSL libraries themselves are not
# instrumented). Meant for a build tree of its own; the tests then run with
# the sanitizer settings of VornexTest.cmake.
option(VORNEX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(VORNEX_SANITIZE)
    set(vornex_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined
        -fno-omit-frame-pointer)
    add_compile_options(${vornex_sanitize_flags})
    add_link_options(${vornex_sanitize_flags})
endif()
# Fuzzing (clang only, a tree of its own: ./build.sh fuzz): everything
# instrumented for coverage and the sanitizers; only the fuzz targets link
# libFuzzer's main.
option(VORNEX_FUZZ "Build the libFuzzer targets, with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(VORNEX_FUZZ)
    set(vornex_fuzz_flags -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
        -fno-omit-frame-pointer)
    add_compile_options(${vornex_fuzz_flags})
    add_link_options(-fsanitize=address,undefined)
endif()
