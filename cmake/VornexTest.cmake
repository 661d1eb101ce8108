# In the sanitizer build (VORNEX_SANITIZE) any finding fails the test that
# made it, a leak found at exit included; nothing is suppressed.
set(VORNEX_SANITIZER_ENVIRONMENT
    "ASAN_OPTIONS=detect_leaks=1:halt_on_error=1"
    "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")

# vornex_add_test(<name> SOURCES <files...> LIBS <targets...> [TIMEOUT <s>])
#
# One QtTest executable per unit. Each runs headless with its own HOME and
# XDG folders (made fresh by the test's main, see tests/common/TestEnv.h)
# and a hard time limit, so a hanging test fails instead of blocking CI.
function(vornex_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE vornex_common vornex_testenv Qt6::Test ${ARG_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
    add_test(NAME ${name} COMMAND ${name})
    set(environment QT_QPA_PLATFORM=offscreen VORNEX_TEST_NAME=${name} VORNEX_BIN_DIR=${VORNEX_BIN_DIR})
    if(VORNEX_SANITIZE)
        list(APPEND environment ${VORNEX_SANITIZER_ENVIRONMENT})
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${environment}")
endfunction()
