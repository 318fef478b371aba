if(TARGET korvan_preview)
  project_add_benchmark(preview_raster_bench SOURCES preview_raster_bench.cpp LIBS korvan_preview)
endif()
