# Saving a 100-point calibration: 400 keys written one SetValue at a time.
project_add_benchmark(config_ini_bench SOURCES config_ini_bench.cpp LIBS tessel)
