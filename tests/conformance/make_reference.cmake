# Run by ctest as the fixture conformance_reference:
#   cmake -DORACLE_DIR=<repo>/tools/oracle -DNETWORKS=<folder> -DOUTPUT=<folder>
#         [-DOWN_NETWORKS=<folder> -DOWN_OUTPUT=<folder>] -P make_reference.cmake
# Installs the oracle's pinned npm package when it is missing or older than the lock file, then
# writes the EPANET 2.2 reference files of the shared networks and of the project's own
# networks. Without node, npm, the registry or any networks it prints SKIP_MARKER, which ctest
# takes as a skip; the conformance tests then skip too.
set(SKIP_MARKER "CONFORMANCE REFERENCE SKIPPED")

# return() in a macro ends the whole script.
macro(skip_and_stop reason)
  message("${SKIP_MARKER}: ${reason}")
  return()
endmacro()

foreach(var ORACLE_DIR NETWORKS OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make_reference.cmake needs -D${var}=...")
  endif()
endforeach()

# Pairs of a networks folder and the folder its references go to; a missing folder is left out.
set(folders)
set(outputs)
if(IS_DIRECTORY "${NETWORKS}")
  list(APPEND folders "${NETWORKS}")
  list(APPEND outputs "${OUTPUT}")
endif()
if(DEFINED OWN_NETWORKS AND IS_DIRECTORY "${OWN_NETWORKS}")
  if(NOT DEFINED OWN_OUTPUT)
    message(FATAL_ERROR "make_reference.cmake needs -DOWN_OUTPUT=... with -DOWN_NETWORKS")
  endif()
  list(APPEND folders "${OWN_NETWORKS}")
  list(APPEND outputs "${OWN_OUTPUT}")
endif()
if(NOT folders)
  skip_and_stop("no shared networks folder ${NETWORKS}")
endif()

find_program(NODE node)
find_program(NPM npm)
if(NOT NODE OR NOT NPM)
  skip_and_stop("node and npm are needed (make deps installs them)")
endif()

# epanet-js's engine needs a current WebAssembly runtime; Debian 12's node 18 has one.
execute_process(COMMAND "${NODE}" --version OUTPUT_VARIABLE node_version
                OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE node_result)
string(REGEX MATCH "^v([0-9]+)" _ "${node_version}")
if(NOT node_result EQUAL 0 OR CMAKE_MATCH_1 LESS 18)
  skip_and_stop("node ${node_version} is too old, 18 or newer is needed")
endif()

set(installed "${ORACLE_DIR}/node_modules/.package-lock.json")
if(NOT EXISTS "${installed}" OR "${ORACLE_DIR}/package-lock.json" IS_NEWER_THAN "${installed}")
  execute_process(COMMAND "${NPM}" ci --no-audit --no-fund
                  WORKING_DIRECTORY "${ORACLE_DIR}" RESULT_VARIABLE npm_result)
  if(NOT npm_result EQUAL 0)
    skip_and_stop("npm ci failed in ${ORACLE_DIR} (is the npm registry reachable?)")
  endif()
endif()

foreach(folder output IN ZIP_LISTS folders outputs)
  execute_process(COMMAND "${NODE}" "${ORACLE_DIR}/make-reference.mjs" "${folder}" "${output}"
                  RESULT_VARIABLE oracle_result)
  if(NOT oracle_result EQUAL 0)
    message(FATAL_ERROR "the EPANET 2.2 oracle failed on ${folder} (exit ${oracle_result})")
  endif()
endforeach()
