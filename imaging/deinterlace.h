// Content-adaptive deinterlacing of one 8-bit plane. The first field (even rows) is kept; each odd
// row is rebuilt from the even rows around it: where the two neighbours agree within the edge
// threshold the row is interpolated along the best of three directions (edge-aware), elsewhere
// the vertical mean is used. threshold ranges 0..2041 (values outside are clamped); 2041 is what
// the program passes. src may equal dst (in place, same stride); otherwise they must not overlap.
#pragma once

#include <cstdint>

int DeinterlaceFilter(const uint8_t* src, int sstride, uint8_t* dst, int dstride, int width, int height, int threshold);
