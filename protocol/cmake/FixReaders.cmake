# Run as: cmake -DSOURCE=<ombrelC.cpp> -P FixReaders.cmake
#
# Points the generated number and boolean readers at ours (EmptyValues.h),
# which read an empty element as 0 or false. Any change in the generator's
# output fails the build here.

cmake_policy(SET CMP0007 NEW)

if(NOT SOURCE OR NOT EXISTS "${SOURCE}")
    message(FATAL_ERROR "FixReaders: '${SOURCE}' not found")
endif()
file(READ "${SOURCE}" text)

function(replace_counted from to expected)
    # Counted as plain text: the patterns hold regex characters.
    string(REPLACE "${from}" "" rest "${text}")
    string(LENGTH "${text}" all)
    string(LENGTH "${rest}" left)
    string(LENGTH "${from}" one)
    math(EXPR found "(${all} - ${left}) / ${one}")
    if(NOT found EQUAL expected)
        message(FATAL_ERROR "FixReaders: '${from}' found ${found} times, expected ${expected}")
    endif()
    string(REPLACE "${from}" "${to}" text "${text}")
    set(text "${text}" PARENT_SCOPE)
endfunction()

replace_counted("#include \"ombrelH.h\"" "#include \"ombrelH.h\"\n#include \"EmptyValues.h\"" 1)
replace_counted("= soap_inint(soap, tag, a, type," "= ::vornex_inint(soap, tag, a, type," 2)
replace_counted("= soap_inLONG64(soap, tag, a, type," "= ::vornex_inLONG64(soap, tag, a, type," 2)
replace_counted("soap_s2bool(soap, soap_value(soap), a)"
    "::vornex_s2bool(soap, soap_value(soap), a, soap_s2bool)" 1)
replace_counted("soap_s2xsd__bool(soap, soap_value(soap), a)"
    "::vornex_s2bool(soap, soap_value(soap), a, soap_s2xsd__bool)" 1)

file(WRITE "${SOURCE}" "${text}")
