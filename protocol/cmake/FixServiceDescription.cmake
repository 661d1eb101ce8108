# Run as: cmake -DIN=<generated file> -DOUT=<published file> -P FixServiceDescription.cmake
#
# soapcpp2 names the XML types after the definition's typedefs, so the
# published description says xsd:int64 and xsd:bool, which XML Schema does
# not have; other SOAP toolkits refuse to load it. The published copy names
# the standard types (xsd:long, xsd:boolean). Only the description changes:
# these types carry no xsi:type on the wire, and the generated readers stay
# as they are.

cmake_policy(SET CMP0007 NEW)

if(NOT IN OR NOT EXISTS "${IN}")
    message(FATAL_ERROR "FixServiceDescription: '${IN}' not found")
endif()
file(READ "${IN}" text)

foreach(pair "xsd:int64|xsd:long" "xsd:bool|xsd:boolean")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 from)
    list(GET pair 1 to)
    string(FIND "${text}" "type=\"${from}\"" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "FixServiceDescription: no type=\"${from}\" in '${IN}'")
    endif()
    string(REPLACE "type=\"${from}\"" "type=\"${to}\"" text "${text}")
endforeach()

file(WRITE "${OUT}" "${text}")
