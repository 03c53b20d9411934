# Installs the build in BUILD_DIR into a prefix below WORK_DIR, then configures, builds and runs
# the consumer in SOURCE_DIR against it. CONSUMER_FLAGS: compiler flags the library was built
# with that its users must share (the sanitizers').
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")
function(step)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${ARGN}\n${out}\n${err}")
    endif()
endfunction()
step("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}")
file(GLOB_RECURSE private_headers "${prefix}/include/*_p.h")
if(private_headers)
    message(FATAL_ERROR "internal headers were installed: ${private_headers}")
endif()
step("${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${WORK_DIR}/build" "-DCMAKE_PREFIX_PATH=${prefix}"
     "-DCMAKE_CXX_FLAGS=${CONSUMER_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${CONSUMER_FLAGS}")
step("${CMAKE_COMMAND}" --build "${WORK_DIR}/build")
step("${WORK_DIR}/build/consumer")
