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
