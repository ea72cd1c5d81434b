#pragma once

// libjpeg's error handling as every decoder here wants it. libjpeg reports a
// fatal error through error_exit and expects it not to return (the default one
// calls exit()); the trap jumps back to the decoder, which then gives up.
// Warnings (a truncated file, a bad marker) are not fatal: libjpeg fills in
// what is missing and the picture is read as far as it goes. Nothing is printed.
//
//     jpeg_decompress_struct cinfo;
//     JpegErrors::Trap trap;
//     JpegErrors::install(cinfo, trap);
//     if (setjmp(trap.jump)) { jpeg_destroy_decompress(&cinfo); return false; }
//
// setjmp() must stay in the decoding function's own frame, which then holds
// plain data only: that is why each decoder calls it itself.

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace JpegErrors {

struct Trap
{
    jpeg_error_mgr pub; // first member: libjpeg sees only this part
    std::jmp_buf jump;
};

inline void errorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<Trap*>(cinfo->err)->jump, 1);
}

inline void ignoreMessage(j_common_ptr, int) { }
inline void ignoreOutput(j_common_ptr) { }

inline void install(jpeg_decompress_struct& cinfo, Trap& trap)
{
    cinfo.err = jpeg_std_error(&trap.pub);
    trap.pub.error_exit = errorExit;
    trap.pub.emit_message = ignoreMessage;
    trap.pub.output_message = ignoreOutput;
}

} // namespace JpegErrors
