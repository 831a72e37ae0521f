#include "JpegDecoder.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

namespace {

// libjpeg's error manager with a way back out of the decoder: a fatal error
// (or a warning that the data is damaged) jumps back to DecodeJpegToBgr,
// which destroys the decompressor and reports failure.
struct DecodeErrors {
    jpeg_error_mgr manager;
    jmp_buf unwind;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo)
{
    longjmp(reinterpret_cast<DecodeErrors*>(cinfo->err)->unwind, 1);
}

// Formats the message into libjpeg's buffer and prints nothing.
void OutputMessage(j_common_ptr cinfo)
{
    char buffer[JMSG_LENGTH_MAX];
    cinfo->err->format_message(cinfo, buffer);
}

// Warnings that say nothing about the picture's data.
bool IsHarmlessWarning(int code)
{
    return code == JWRN_JFIF_MAJOR || code == JWRN_ADOBE_XFORM || code == JWRN_BOGUS_ICC;
}

// Level -1 is a warning: corrupt data, a premature end of a segment, a bad
// Huffman code... libjpeg would go on and paint grey or garbage into the
// picture; here it ends the decoding. Trace messages (levels 0 and up) are ignored.
void EmitMessage(j_common_ptr cinfo, int level)
{
    if (level < 0) {
        cinfo->err->num_warnings++;
        if (!IsHarmlessWarning(cinfo->err->msg_code))
            ErrorExit(cinfo);
    }
}

// The memory source: the whole picture is in the buffer from the start.
// There is nothing to fill it with later, so asking for more data is a fatal
// error (a truncated picture), never a suspension that would make the
// decoder's callers loop.
void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo)
{
    ERREXIT(cinfo, JERR_INPUT_EOF);
    return FALSE;
}

void SkipInputData(j_decompress_ptr cinfo, long count)
{
    jpeg_source_mgr* source = cinfo->src;
    if (count <= 0)
        return;
    const size_t skip = static_cast<size_t>(count) < source->bytes_in_buffer ? static_cast<size_t>(count)
                                                                            : source->bytes_in_buffer;
    source->next_input_byte += skip;
    source->bytes_in_buffer -= skip;
}

void TermSource(j_decompress_ptr) {}

bool IsDecodableColourSpace(const jpeg_decompress_struct& cinfo)
{
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
        return cinfo.num_components == 1;
    case JCS_YCbCr:
    case JCS_RGB:
        return cinfo.num_components == 3;
    default:
        return false;
    }
}

} // namespace

bool DecodeJpegToBgr(const uint8_t* jpeg, int length, uint8_t* output, int& width, int& height, int& outputLength)
{
    if (!jpeg || length <= 0 || !output || width <= 0 || height <= 0)
        return false;

    jpeg_decompress_struct cinfo;
    DecodeErrors errors;
    cinfo.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = ErrorExit;
    errors.manager.output_message = OutputMessage;
    errors.manager.emit_message = EmitMessage;
    jpeg_source_mgr source;
    source.init_source = InitSource;
    source.fill_input_buffer = FillInputBuffer;
    source.skip_input_data = SkipInputData;
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = TermSource;
    source.next_input_byte = jpeg;
    source.bytes_in_buffer = static_cast<size_t>(length);

    // Nothing below owns memory outside libjpeg's pools, so jumping back here
    // and destroying the decompressor releases everything.
    if (setjmp(errors.unwind)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.src = &source;

    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK || !IsDecodableColourSpace(cinfo)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_calc_output_dimensions(&cinfo);
    if (cinfo.output_width > static_cast<JDIMENSION>(width) || cinfo.output_height > static_cast<JDIMENSION>(height)
        || cinfo.output_components != 3) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }

    jpeg_start_decompress(&cinfo);
    const size_t rowBytes = static_cast<size_t>(cinfo.output_width) * 3;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = output + rowBytes * cinfo.output_scanline;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) {
            // Only a suspending source returns no row, and this one never suspends.
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
    }
    jpeg_finish_decompress(&cinfo);

    width = static_cast<int>(cinfo.output_width);
    height = static_cast<int>(cinfo.output_height);
    outputLength = static_cast<int>(rowBytes * cinfo.output_height);
    jpeg_destroy_decompress(&cinfo);
    return true;
}
