project_add_benchmark(soak_bench SOURCES soak_bench.cpp LIBS korvan korvan_sim)
target_include_directories(soak_bench PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
