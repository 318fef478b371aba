# cmake -P script: a consumer that asks for C++14 is built against the installed SDK with
# find_package(korvan) and run. The exported targets carry cxx_std_17, and CMake raises the
# consumer's standard to it: the program reports the standard it was compiled with.
include(${CMAKE_CURRENT_LIST_DIR}/sub_build.cmake)
SubBuild(${SOURCE} ${WORK_DIR}/build)
execute_process(COMMAND ${WORK_DIR}/build/consumer RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(rc OR NOT out MATCHES "korvan [0-9]+\\.[0-9]+\\.[0-9]+ with __cplusplus ([0-9]+)")
  message(FATAL_ERROR "consumer run failed: ${rc} ${out}")
endif()
if(CMAKE_MATCH_1 LESS 201703)
  message(FATAL_ERROR "CMAKE_CXX_STANDARD 14 was not raised to C++17 by the exported targets: ${out}")
endif()
