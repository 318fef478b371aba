#pragma once
/*
 * Reading multi-page TIFF and BigTIFF image stacks stored as strips, through
 * plain functions with C linkage that any language can call.
 *
 * Typical use:
 *   TiffStackReader r = TiffStackReader_Open("stack.tif");
 *   if (!r.reader) { report(r.log); TiffStackReader_Close(&r); return; }
 *   uint64_t n = TiffStackReader_GetDataSizeBytes(&r);
 *   void* pixels = malloc(n);
 *   if (!TiffStackReader_GetData(&r, pixels, n)) report(r.log);
 *   TiffStackReader_Close(&r);
 *
 * Pixel data come back with all strips of all images back to back, in file
 * order, every sample in little-endian order whatever the file's byte order.
 * No function raises an exception; failures return 0 (or a size of 0) and
 * leave a message in the handle's `log`.
 */
#include <stddef.h>
#include <stdint.h>

#include <tessel/export.h>

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Handle of one open file. `reader` is null when no file is open. `log` is
 * null or the message of the last failure; it belongs to the handle: a later
 * failure replaces it (releasing the old text) and TiffStackReader_Close
 * releases it. Copy the text if it must outlive either.
 */
typedef struct TiffStackReader {
    void* reader;
    char* log;
} TiffStackReader;

/* Pixel type codes of TiffStackShape::type. */
typedef enum TiffStackPixelType {
    TiffStackPixel_UInt8 = 0,
    TiffStackPixel_UInt16 = 1,
    TiffStackPixel_UInt32 = 2,
    TiffStackPixel_UInt64 = 3,
    TiffStackPixel_Int8 = 4,
    TiffStackPixel_Int16 = 5,
    TiffStackPixel_Int32 = 6,
    TiffStackPixel_Int64 = 7,
    TiffStackPixel_Float32 = 8,
    TiffStackPixel_Float64 = 9
} TiffStackPixelType;

/*
 * Shape of the stack, from the first image. The dimensions, fastest first,
 * are samples per pixel, width, height and image count, leaving out every one
 * that equals 1: a stack of single-sample images is (width, height, count), a
 * single image (width, height). Unused entries of `dims` are 1. strides[0] is
 * 1 and strides[i + 1] = strides[i] * dims[i], in elements; unused strides
 * are 0.
 */
typedef struct TiffStackShape {
    uint32_t ndim;
    uint32_t type; /* a TiffStackPixelType */
    uint64_t strides[11];
    uint64_t dims[10];
} TiffStackShape;

/* "Version <version>-<source revision> by <attribution>"; static text, never freed. */
TESSEL_API const char* TiffStackReader_APIVersion(void);

/*
 * Opens a file (8-bit path) and reads its header and image directories. On
 * success `reader` is set and `log` is null; on failure `reader` is null and
 * `log` says why (call TiffStackReader_Close to release it).
 */
TESSEL_API TiffStackReader TiffStackReader_Open(const char* filename);

/* Closes the file and releases the reader and the log text; both become null. Safe to repeat. */
TESSEL_API void TiffStackReader_Close(TiffStackReader* handle);

/* Shape of the stack; all zero when the handle is not open. */
TESSEL_API TiffStackShape TiffStackReader_GetShape(TiffStackReader* handle);

/* Bytes of pixel data of all images: the buffer size TiffStackReader_GetData needs. */
TESSEL_API uint64_t TiffStackReader_GetDataSizeBytes(TiffStackReader* handle);

/*
 * Reads the pixel data of all images into `buffer` of `bytes` bytes (at least
 * TiffStackReader_GetDataSizeBytes). Clears the log first; returns 1 when the
 * data were read, 0 with a message otherwise.
 */
TESSEL_API int TiffStackReader_GetData(TiffStackReader* handle, void* buffer, size_t bytes);

/* Number of images (image file directories) in the file. */
TESSEL_API int TiffStackReader_GetImageDescriptionCount(TiffStackReader* handle);

/* Size in bytes of the ImageDescription text of image `index` as stored (with its NUL); 0 when it has none. */
TESSEL_API size_t TiffStackReader_GetImageDescriptionSizeBytes(TiffStackReader* handle, int index);

/*
 * Copies at most `bytes` bytes of the description of image `index` into
 * `buffer`. Returns 1 on success, also when the image has no description
 * (nothing is written then), and 0 for an index out of range or a read error.
 */
TESSEL_API int TiffStackReader_GetImageDescription(TiffStackReader* handle, int index, char* buffer, size_t bytes);

/* Total size of the descriptions of all images. */
TESSEL_API size_t TiffStackReader_GetAllImageDescriptionsSizeBytes(TiffStackReader* handle);

/*
 * Copies the descriptions of all images that have one, back to back in image
 * order, each as stored, into `buffer`, which must hold
 * TiffStackReader_GetAllImageDescriptionsSizeBytes bytes. Returns 1 or 0.
 */
TESSEL_API int TiffStackReader_GetAllImageDescriptions(TiffStackReader* handle, char* buffer);

/* Size in bytes of the acquisition metadata text (0 when the file has none). */
TESSEL_API size_t TiffStackReader_GetMetadataSizeBytes(TiffStackReader* handle);

/*
 * Copies the acquisition metadata text (not NUL-terminated) into `buffer` of
 * `bytes` bytes. Returns 1, or 0 when the buffer is too small or the file
 * cannot be read; nothing is written then.
 */
TESSEL_API int TiffStackReader_GetMetadata(TiffStackReader* handle, char* buffer, size_t bytes);

#ifdef __cplusplus
}
#endif
