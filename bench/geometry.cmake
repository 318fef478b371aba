# Camera-to-device mapping of single points (goal: 5 million points/s with a 16-entry table).
project_add_benchmark(geometry_transform_bench SOURCES geometry_transform_bench.cpp LIBS tessel)
# Hatch fill of a 1000-vertex polygon with 1000 lines (goal: under 50 ms).
project_add_benchmark(geometry_hatch_bench SOURCES geometry_hatch_bench.cpp LIBS tessel)
