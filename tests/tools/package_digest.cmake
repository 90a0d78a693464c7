# The package's SHA-256 in its three places: flashwell-cli --version, flashwell-pack export and
# flashwell-pack inspect, each equal to the digest of the exported file.
set(label "SHA-256 of the package: ")

function(printed_digest out)  # printed_digest(OUT COMMAND...)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE text)
  string(REGEX MATCHALL "${label}[0-9a-f]+\n" lines "${text}")
  list(LENGTH lines count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "${ARGN} (exit ${rc}) printed ${count} digest lines:\n${text}")
  endif()
  string(REGEX REPLACE "^${label}([0-9a-f]+)\n$" "\\1" digest "${lines}")
  set(${out} ${digest} PARENT_SCOPE)
endfunction()

printed_digest(exported ${PACK} export ${DIR}/exported-for-digest.bin)
file(SHA256 ${DIR}/exported-for-digest.bin carried)
printed_digest(version ${CLI} --version)
printed_digest(inspected ${PACK} inspect ${DIR}/exported-for-digest.bin)

# what printed it | what it printed | what it must be
set(cases
  "export|${exported}|${carried}"
  "flashwell-cli --version|${version}|${carried}"
  "inspect of the exported file|${inspected}|${carried}")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 what)
  list(GET fields 1 printed)
  list(GET fields 2 wanted)
  if(NOT printed STREQUAL wanted)
    message(FATAL_ERROR "${what} printed ${printed}, not ${wanted}")
  endif()
endforeach()
