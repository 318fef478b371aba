/* The TIFF stack reader's C interface from strict C89: a missing file is refused with a message. */
#include <stdio.h>
#include <tessel/tiff/tiff_stack_reader.h>

int main(void) {
    TiffStackReader r = TiffStackReader_Open("/nonexistent/stack.tif");
    int refused = r.reader == NULL && r.log != NULL;
    if (refused) printf("refused: %s\n", r.log);
    TiffStackReader_Close(&r);
    return refused ? 0 : 1;
}
