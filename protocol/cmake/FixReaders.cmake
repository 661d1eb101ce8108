# Run as: cmake -DSOURCE=<ombrelC.cpp or envC.cpp> -DHEADER=<ombrelH.h or envH.h> -P FixReaders.cmake
#
# Puts our reading rules (ReadingRules.h) into the generated readers: every
# element they take up, themselves or through a reader of the toolkit's,
# is matched by its local name and refused when it carries a reference;
# in the service's own readers, numbers and booleans read an empty element
# as 0 or false. Any change in the generator's output fails the build here.

cmake_policy(SET CMP0007 NEW)

if(NOT SOURCE OR NOT EXISTS "${SOURCE}" OR NOT HEADER)
    message(FATAL_ERROR "FixReaders: '${SOURCE}' not found")
endif()
file(READ "${SOURCE}" text)

function(count_of from result)
    # Counted as plain text: the patterns hold regex characters.
    string(REPLACE "${from}" "" rest "${text}")
    string(LENGTH "${text}" all)
    string(LENGTH "${rest}" left)
    string(LENGTH "${from}" one)
    math(EXPR found "(${all} - ${left}) / ${one}")
    set(${result} ${found} PARENT_SCOPE)
endfunction()

function(replace_counted from to expected)
    count_of("${from}" found)
    if(NOT found EQUAL expected)
        message(FATAL_ERROR "FixReaders: '${from}' found ${found} times, expected ${expected}")
    endif()
    string(REPLACE "${from}" "${to}" text "${text}")
    set(text "${text}" PARENT_SCOPE)
endfunction()

replace_counted("#include \"${HEADER}\"" "#include \"${HEADER}\"\n#include \"ReadingRules.h\"" 1)

get_filename_component(name "${SOURCE}" NAME)
if(name STREQUAL "ombrelC.cpp")
    replace_counted("= soap_inint(soap, tag, a, type," "= ::vornex_inint(soap, tag, a, type," 2)
    replace_counted("= soap_inLONG64(soap, tag, a, type," "= ::vornex_inLONG64(soap, tag, a, type," 2)
    replace_counted("soap_s2bool(soap, soap_value(soap), a)"
        "::vornex_s2bool(soap, soap_value(soap), a, soap_s2bool)" 1)
    replace_counted("soap_s2xsd__bool(soap, soap_value(soap), a)"
        "::vornex_s2bool(soap, soap_value(soap), a, soap_s2xsd__bool)" 1)
    # The binary reader alone takes an href: its DIME attachment.
    replace_counted("if (soap_element_begin_in(soap, tag, 1, NULL))\n\t\treturn NULL;\n\tif (*soap->type && soap_match_tag(soap, soap->type, type) && soap_match_tag(soap, soap->type, \":base64Binary\")"
        "if (::vornex_attachment_begin_in(soap, tag, 1, NULL))\n\t\treturn NULL;\n\tif (*soap->type && soap_match_tag(soap, soap->type, type) && soap_match_tag(soap, soap->type, \":base64Binary\")"
        1)
endif()

# Every other element taken up: by the generated readers, the dispatcher
# and the skipping of unknown elements, and the toolkit's own readers.
count_of("soap_element_begin_in(soap, " begins)
count_of("soap_peek_element(soap)" peeks)
if(begins EQUAL 0 OR NOT peeks EQUAL 2)
    message(FATAL_ERROR "FixReaders: ${begins} element reads and ${peeks} peeks found in ${name}")
endif()
string(REPLACE "soap_element_begin_in(soap, " "::vornex_element_begin_in(soap, " text "${text}")
string(REPLACE "soap_peek_element(soap)" "::vornex_peek_element(soap)" text "${text}")
string(REGEX REPLACE "= soap_in([A-Za-z0-9]+)\\(soap, tag, " "= ::vornex_checked(soap_in\\1, soap, tag, "
    text "${text}")
# Nothing of the toolkit's reads an element behind our back.
string(REGEX MATCH "[^:_a-z]soap_in[A-Za-z0-9]+\\(soap, tag" left "${text}")
if(left)
    message(FATAL_ERROR "FixReaders: '${left}' is not checked in ${name}")
endif()
file(WRITE "${SOURCE}" "${text}")
