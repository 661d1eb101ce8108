# Run as: cmake -DPROXY=<ombrelServiceProxy.h> -P FixProxy.cmake
#
# The generated proxy sends a null SOAP action, which gSOAP 2.8 turns into no
# SOAPAction header at all; servers expect SOAPAction: "". Its endpoint field
# is also renamed to `endpoint`, the name the rest of the client uses.
# Any change in the generator's output pattern fails the build here instead
# of producing a proxy that silently behaves differently.

cmake_policy(SET CMP0007 NEW)

if(NOT PROXY OR NOT EXISTS "${PROXY}")
    message(FATAL_ERROR "FixProxy: proxy header '${PROXY}' not found")
endif()
file(READ "${PROXY}" text)

set(operations 32)

string(REGEX MATCHALL "soap_endpoint_url, NULL," calls "${text}")
list(LENGTH calls found)
if(NOT found EQUAL operations)
    message(FATAL_ERROR "FixProxy: expected ${operations} calls passing a null action, found ${found}")
endif()

# (No ";" in the patterns: CMake would split a match at it.)
foreach(pattern "const char \\*soap_endpoint_url" "soap_endpoint_url = \"http://localhost:80\"")
    string(REGEX MATCHALL "${pattern}" hits "${text}")
    list(LENGTH hits found)
    if(NOT found EQUAL 1)
        message(FATAL_ERROR "FixProxy: pattern '${pattern}' found ${found} times, expected once")
    endif()
endforeach()

string(REPLACE "soap_endpoint_url, NULL," "endpoint, \"\"," text "${text}")
string(REPLACE "soap_endpoint_url" "endpoint" text "${text}")

string(FIND "${text}" "soap_endpoint_url" left)
if(NOT left EQUAL -1)
    message(FATAL_ERROR "FixProxy: soap_endpoint_url still present")
endif()

file(WRITE "${PROXY}" "${text}")
