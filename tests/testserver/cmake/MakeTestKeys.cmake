# Run as: cmake -DOPENSSL=<openssl> -DWORK=<dir> -DCLIENT_DIR=<dir> -DSERVER_DIR=<dir>
#               -DPASSWORD=<client key password> -P MakeTestKeys.cmake
#
# Makes a throw-away CA, a server certificate for 127.0.0.1/localhost and a
# client certificate whose key is sealed with the client's key password.
# Test keys only: made fresh in every build tree, never committed.

foreach(var OPENSSL WORK CLIENT_DIR SERVER_DIR PASSWORD)
    if(NOT ${var})
        message(FATAL_ERROR "MakeTestKeys: ${var} not set")
    endif()
endforeach()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}" "${CLIENT_DIR}" "${SERVER_DIR}")

file(WRITE "${WORK}/server.ext"
    "basicConstraints=CA:FALSE\n"
    "keyUsage=critical,digitalSignature,keyEncipherment\n"
    "extendedKeyUsage=serverAuth\n"
    "subjectAltName=DNS:localhost,IP:127.0.0.1\n")
file(WRITE "${WORK}/client.ext"
    "basicConstraints=CA:FALSE\n"
    "keyUsage=critical,digitalSignature,keyEncipherment\n"
    "extendedKeyUsage=clientAuth\n")

function(run)
    execute_process(COMMAND ${OPENSSL} ${ARGN} WORKING_DIRECTORY "${WORK}"
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "MakeTestKeys: openssl ${ARGN} failed:\n${output}")
    endif()
endfunction()

run(req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out cacert.pem -days 3650 -sha256
    -subj "/CN=VORNEX Test CA"
    -addext "basicConstraints=critical,CA:TRUE"
    -addext "keyUsage=critical,keyCertSign,cRLSign")

run(req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=localhost")
run(x509 -req -in server.csr -CA cacert.pem -CAkey ca.key -set_serial 2 -days 3650 -sha256
    -extfile server.ext -out server.crt)

run(req -newkey rsa:2048 -passout "pass:${PASSWORD}" -keyout client.key -out client.csr
    -subj "/CN=VORNEX Test Client")
run(x509 -req -in client.csr -CA cacert.pem -CAkey ca.key -set_serial 3 -days 3650 -sha256
    -extfile client.ext -out client.crt)

file(READ "${WORK}/server.crt" server_cert)
file(READ "${WORK}/server.key" server_key)
file(READ "${WORK}/client.crt" client_cert)
file(READ "${WORK}/client.key" client_key)
file(WRITE "${SERVER_DIR}/server.pem" "${server_cert}${server_key}")
file(WRITE "${CLIENT_DIR}/client.pem" "${client_cert}${client_key}")
file(COPY_FILE "${WORK}/cacert.pem" "${SERVER_DIR}/cacert.pem")
file(COPY_FILE "${WORK}/cacert.pem" "${CLIENT_DIR}/cacert.pem")
file(CHMOD "${SERVER_DIR}/server.pem" "${CLIENT_DIR}/client.pem" PERMISSIONS OWNER_READ OWNER_WRITE)
file(REMOVE_RECURSE "${WORK}")
