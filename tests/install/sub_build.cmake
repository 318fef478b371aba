# SubBuild(source build): configures and builds a project against the SDK in PREFIX with the
# compiler and flags of the build under test, through ccache when there is one.
function(SubBuild source build)
  file(REMOVE_RECURSE ${build})
  set(launcher)
  if(LAUNCHER)
    set(launcher -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${source} -B ${build} -G ${GENERATOR}
                          -DCMAKE_PREFIX_PATH=${PREFIX} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
                          "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" ${launcher} ${ARGN}
                  RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "configuring ${source} against ${PREFIX} failed: ${rc}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${build} -j2 RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "building ${source} against ${PREFIX} failed: ${rc}")
  endif()
endfunction()
