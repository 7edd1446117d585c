// Paints a moving pattern on the root window of $DISPLAY until killed: coloured bars sliding
// across a gradient-like background, so that screen capture and encoding see changing content.
// Used by end-to-end tests and benchmarks. Usage: moving_pattern [fps]
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
    const int fps = argc > 1 ? std::atoi(argv[1]) : 25;
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (c == nullptr || xcb_connection_has_error(c)) {
        std::fprintf(stderr, "moving_pattern: no display\n");
        return 1;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&it);
    const xcb_screen_t* screen = it.data;
    const int w = screen->width_in_pixels, h = screen->height_in_pixels;
    const xcb_gcontext_t gc = xcb_generate_id(c);
    uint32_t value = 0;
    xcb_create_gc(c, gc, screen->root, XCB_GC_FOREGROUND, &value);
    const auto period = std::chrono::microseconds(1000000 / (fps > 0 ? fps : 25));
    auto next = std::chrono::steady_clock::now();
    for (uint32_t frame = 0;; ++frame) {
        const int bands = 16;
        for (int b = 0; b < bands; ++b) {
            value = ((b * 16 + frame) & 0xFF) << 16 | ((b * 40) & 0xFF) << 8 | ((255 - b * 16) & 0xFF);
            xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &value);
            const xcb_rectangle_t r{static_cast<int16_t>(b * w / bands), 0, static_cast<uint16_t>(w / bands + 1),
                                    static_cast<uint16_t>(h)};
            xcb_poly_fill_rectangle(c, screen->root, gc, 1, &r);
        }
        for (int k = 0; k < 4; ++k) {
            value = k % 2 ? 0xFFFFFF : 0x101010;
            xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &value);
            const int x = static_cast<int>((frame * (6 + k * 3) + k * 200) % static_cast<uint32_t>(w));
            const xcb_rectangle_t r{static_cast<int16_t>(x), static_cast<int16_t>(h / 5 * (k + 1) - 40), 120, 80};
            xcb_poly_fill_rectangle(c, screen->root, gc, 1, &r);
        }
        xcb_flush(c);
        if (xcb_connection_has_error(c)) return 0;
        next += period;
        std::this_thread::sleep_until(next);
    }
}
