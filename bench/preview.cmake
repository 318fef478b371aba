if(TARGET korvan_tool_core)
  project_add_benchmark(preview_raster_bench SOURCES preview_raster_bench.cpp LIBS korvan_tool_core)
endif()
