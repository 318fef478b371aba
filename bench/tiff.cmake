# Reading 1 GB stacks from the page cache: tessel against libtiff and a plain pread.
# libtiff serves only as the yardstick here and writes the stacks; tessel does not link it.
find_package(TIFF REQUIRED)
project_add_benchmark(tiff_read_bench SOURCES tiff_read_bench.cpp LIBS tessel TIFF::TIFF)
