# Run as: cmake -DSOURCE=<ombrelC.cpp> -DCLIENT=<ombrelClient.cpp> -P FixReaders.cmake
#
# Puts our reading rules (ReadingRules.h) into the generated code: number
# and boolean readers that read an empty element as 0 or false, and call
# stubs that match a response's children by local name. Any change in the
# generator's output fails the build here.

cmake_policy(SET CMP0007 NEW)

foreach(file SOURCE CLIENT)
    if(NOT ${file} OR NOT EXISTS "${${file}}")
        message(FATAL_ERROR "FixReaders: '${${file}}' not found")
    endif()
endforeach()
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

replace_counted("#include \"ombrelH.h\"" "#include \"ombrelH.h\"\n#include \"ReadingRules.h\"" 1)
replace_counted("= soap_inint(soap, tag, a, type," "= ::vornex_inint(soap, tag, a, type," 2)
replace_counted("= soap_inLONG64(soap, tag, a, type," "= ::vornex_inLONG64(soap, tag, a, type," 2)
replace_counted("soap_s2bool(soap, soap_value(soap), a)"
    "::vornex_s2bool(soap, soap_value(soap), a, soap_s2bool)" 1)
replace_counted("soap_s2xsd__bool(soap, soap_value(soap), a)"
    "::vornex_s2bool(soap, soap_value(soap), a, soap_s2xsd__bool)" 1)

file(WRITE "${SOURCE}" "${text}")

# The stubs: 32 operations, each reading its response element either into
# the caller's record or into a temporary one.
file(READ "${CLIENT}" text)
replace_counted("#include \"ombrelH.h\"" "#include \"ombrelH.h\"\n#include \"ReadingRules.h\"" 1)
set(name "[A-Za-z0-9_]+")
# (No ";" in the counted patterns: CMake would split a match at it.)
string(REGEX MATCHALL "\tresult\\.soap_get\\(soap, \"ombrel:${name}\", NULL\\)" records "${text}")
string(REGEX MATCHALL "\tsoap_tmp_${name} = soap_get_${name}\\(soap, NULL, \"ombrel:${name}\", NULL\\)"
    temporaries "${text}")
list(LENGTH records found_records)
list(LENGTH temporaries found_temporaries)
math(EXPR found "${found_records} + ${found_temporaries}")
if(NOT found EQUAL 32)
    message(FATAL_ERROR "FixReaders: ${found} response reads found, expected 32")
endif()
string(REGEX REPLACE "\tresult\\.soap_get\\(soap, \"(ombrel:${name})\", NULL\\);"
    "\tif (::vornex_begin_response(soap, \"\\1\"))\n\t\tresult.soap_get(soap, \"\\1\", NULL);\n\t::vornex_end_response(soap);"
    text "${text}")
string(REGEX REPLACE "\t(soap_tmp_${name}) = (soap_get_${name})\\(soap, NULL, \"(ombrel:${name})\", NULL\\);"
    "\t\\1 = ::vornex_begin_response(soap, \"\\3\") ? \\2(soap, NULL, \"\\3\", NULL) : NULL;\n\t::vornex_end_response(soap);"
    text "${text}")
file(WRITE "${CLIENT}" "${text}")
