project_add_benchmark(serial_send_bench SOURCES serial_send_bench.cpp LIBS tessel)
# A reply written on the device end until RS232Async's callback has it (goal: about 1 ms).
project_add_benchmark(async_callback_bench SOURCES async_callback_bench.cpp LIBS tessel)
