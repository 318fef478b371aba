# cmake -P script: installs the build into PREFIX and checks what an application needs is there
# and that no internal header came along.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  message(FATAL_ERROR "install failed: ${rc}")
endif()
foreach(f include/tessel/tessel.h include/tessel/version.h include/korvan/korvan.h
          include/sim/virtual_scanner.h ${LIBDIR}/libkorvan.so ${LIBDIR}/libtessel.so ${LIBDIR}/libkorvan_sim.so
          ${LIBDIR}/pkgconfig/korvan.pc ${LIBDIR}/pkgconfig/tessel.pc
          ${LIBDIR}/cmake/korvan/korvanConfig.cmake ${LIBDIR}/cmake/tessel/tesselConfig.cmake bin/korvan-sim)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "missing in the install tree: ${f}")
  endif()
endforeach()
file(GLOB_RECURSE internal RELATIVE ${PREFIX} ${PREFIX}/include/*/detail/* ${PREFIX}/include/*/shapes/*)
if(internal)
  message(FATAL_ERROR "internal headers installed: ${internal}")
endif()
