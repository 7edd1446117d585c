// Test media for the camera and media-file layers: clips made by the ffmpeg program in a fresh
// temporary folder, frames built in memory in the forms SourceKit delivers (bottom-up BGR, YUY2),
// canvas pixel reads and waits with a deadline. Used on the test's own thread.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "imaging/image_buffer.h"
#include "media/base_device.h"
#include "tests/common/media_dir.h"

extern char** environ;

namespace devtest {

// A clip whose video is the lavfi graph (H.264, planar 4:2:0) and, when soundSeconds > 0, a 440 Hz
// sine of that length in AAC; an empty graph makes a sound-only clip. Returns the path, or "".
inline std::string MakeClip(const MediaDir& dir, const std::string& name, const std::string& graph,
                            double soundSeconds = 0.0) {
    std::vector<std::string> args;
    if (!graph.empty()) args.insert(args.end(), {"-f", "lavfi", "-i", graph});
    if (soundSeconds > 0.0)
        args.insert(args.end(), {"-f", "lavfi", "-i", "sine=f=440:r=44100:d=" + std::to_string(soundSeconds)});
    if (!graph.empty())
        args.insert(args.end(), {"-c:v", "libx264", "-preset", "ultrafast", "-g", "10", "-pix_fmt", "yuv420p"});
    if (soundSeconds > 0.0) args.insert(args.end(), {"-c:a", "aac"});
    const std::string path = dir.Path(name);
    args.push_back(path);
    return RunFfmpeg(args) ? path : "";
}

// Polls condition every few milliseconds until it holds (true) or the deadline passes (false).
inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The timestamp of the device's newest frame; none before the first.
inline std::optional<uint32_t> NewestTimestamp(CBaseDevice* device) {
    ImageBuffer* image = nullptr;
    std::optional<uint32_t> stamp;
    if (device->CopyLatestFrame(&image) == 0) stamp = image->timestamp;
    FreeImageBuffer(image);
    return stamp;
}

// Waits until the device holds a frame other than the one stamped `seen` (any frame when none).
inline bool WaitForFrameAfter(CBaseDevice* device, std::optional<uint32_t> seen, std::chrono::milliseconds timeout) {
    return WaitUntil(
        [&] {
            const std::optional<uint32_t> now = NewestTimestamp(device);
            return now.has_value() && now != seen;
        },
        timeout);
}

struct Bgr {
    int b = 0, g = 0, r = 0;
};

// An RV24 frame as a capture device delivers it: paint(x, y) gives the colour of the picture's
// pixel counted from the top, and the rows are stored bottom-up.
inline ImageBufferPtr BottomUpBgrFrame(int w, int h, const std::function<Bgr(int, int)>& paint) {
    ImageBufferPtr frame(CreateImageBuffer(w, h, kFourccRV24));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Bgr c = paint(x, y);
            uint8_t* p = frame->planes[0] + static_cast<size_t>(h - 1 - y) * frame->strides[0] + x * 3;
            p[0] = static_cast<uint8_t>(c.b);
            p[1] = static_cast<uint8_t>(c.g);
            p[2] = static_cast<uint8_t>(c.r);
        }
    return frame;
}

// A YUY2 frame of one colour.
inline ImageBufferPtr SolidYuy2Frame(int w, int h, uint8_t y, uint8_t u, uint8_t v) {
    ImageBufferPtr frame(CreateImageBuffer(w, h, kFourccYUY2));
    for (int row = 0; row < h; ++row) {
        uint8_t* p = frame->planes[0] + static_cast<size_t>(row) * frame->strides[0];
        for (int x = 0; x < w; x += 2, p += 4) {
            p[0] = y;
            p[1] = u;
            p[2] = y;
            p[3] = v;
        }
    }
    return frame;
}

// BT.601 studio-range YUV of pure red, green and blue.
struct Yuv {
    uint8_t y, u, v;
};
constexpr Yuv kYuvRed{81, 90, 240};
constexpr Yuv kYuvGreen{145, 54, 34};
constexpr Yuv kYuvBlue{41, 240, 110};

inline Bgr CanvasPixel(const std::vector<uint8_t>& canvas, int canvasWidth, int x, int y) {
    const size_t at = (static_cast<size_t>(y) * canvasWidth + x) * 3;
    if (at + 2 >= canvas.size()) return Bgr{-1, -1, -1};
    return Bgr{canvas[at], canvas[at + 1], canvas[at + 2]};
}

inline bool Near(const Bgr& p, int b, int g, int r, int tolerance) {
    return std::abs(p.b - b) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.r - r) <= tolerance;
}

// The pixels of the canvas rectangle [x0, x1) x [y0, y1) that are not within tolerance of (b, g, r).
inline int CountOff(const std::vector<uint8_t>& canvas, int canvasWidth, int x0, int y0, int x1, int y1, int b, int g,
                    int r, int tolerance) {
    int off = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (!Near(CanvasPixel(canvas, canvasWidth, x, y), b, g, r, tolerance)) ++off;
    return off;
}

// A TCP port on 127.0.0.1 that nothing listens on right now.
inline int ClosedLocalPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    int port = 9;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

}  // namespace devtest
