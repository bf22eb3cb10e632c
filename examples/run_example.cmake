# Installs the built tree into a fresh prefix, builds an example against it with
# find_package as an outside project would, and runs it on a new demo company.
# -D BUILD_DIR, SOURCE_DIR (the example), WORK_DIR, CXX, GENERATOR
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}")
  endif()
  message("${out}")
endfunction()
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${prefix}/bin/morvesk init --db ${WORK_DIR}/demo.db)
run(${WORK_DIR}/build/close_and_lookup ${WORK_DIR}/demo.db)
