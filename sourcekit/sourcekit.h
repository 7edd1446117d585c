// SourceKit: the media source library. Capture devices, media files and network streams are opened
// here, read and decoded on the library's own threads, and pushed as images and PCM sound into one
// callback per device. Everything the callback receives belongs to the device and is valid only
// during the call; the consumer copies what it keeps and returns quickly.
//
// Calling order for every kind: open -> start -> (pause, seek, loop: file devices only) -> stop.
// Start and stop are called once per handle, from a thread of the caller's own (never from inside
// the device's callback: stop waits for the device's threads). Every function taking a handle
// accepts null and then does nothing. Text arguments are UTF-8.
#pragma once

#include <stdint.h>

// The image descriptor every video delivery carries. The program's imaging code declares the same
// layout under the same guard, so either header may come first.
#ifndef BREVACAST_IMAGE_BUFFER_DEFINED
#define BREVACAST_IMAGE_BUFFER_DEFINED
typedef struct ImageBuffer {
    uint8_t* planes[4];
    int32_t strides[4];
    int32_t width;
    int32_t height;
    uint32_t fourcc;
    int32_t fixed[3];
    uint32_t timestamp;
    uint32_t reserved[2];
} ImageBuffer;
#endif

#define SOURCEKIT_API __attribute__((visibility("default")))

#if defined(__cplusplus)
extern "C" {
#endif

// Callback kinds.
#define SK_KIND_AUDIO 1
#define SK_KIND_VIDEO 2
#define SK_KIND_END 3

// A FrameInfo slot that carries nothing.
#define SK_INFO_UNUSED ((int32_t)0xBAADF00D)

// The info block handed with every sound and video delivery. Slots by device and payload:
//   video capture, video:        0 width, 1 height, 4 timestamp (ms)
//   audio capture, audio:        0 channels, 1 sample rate, 3 timestamp (ms), 4 packet duration (ms)
//   file or stream, audio:       0 channels and 1 sample rate as requested at open, 3 timestamp (ms),
//                                4 packet duration in the stream's own time base units
//   file or stream, video:       4 timestamp (ms)
// Other slots are 0 or SK_INFO_UNUSED.
typedef struct FrameInfo {
    int32_t slots[6];
} FrameInfo;

// kind SK_KIND_AUDIO: size = PCM bytes (network streams also report 0 = nothing converted and
//   -1 = sound that cannot be converted; only positive sizes carry sound), data = the PCM bytes.
// kind SK_KIND_VIDEO: size = 0, data = the device's ImageBuffer (the same object every time).
// kind SK_KIND_END (file devices): size 1 = the end was reached, 0 = playback restarted from the
//   beginning; data and info are null.
// user is exactly the value given to the open function.
typedef void (*DeviceCallback)(int32_t kind, void* user, int32_t size, void* data, FrameInfo* info);

// Video capture. name: a V4L2 card name as the device list shows it, or a /dev/video* path.
// fourcc: 'RV24' (bottom-up BGR rows, as the program expects of capture) or 'YUY2'.
// crossbarPin: the capture card input to select, -1 to leave it. reserved: ignored (pass -1).
// Returns null when the device cannot be opened ("Couldn't open input stream." on standard output).
// Without capture hardware, the environment variables SOURCEKIT_VIDEO_INPUT and SOURCEKIT_AUDIO_INPUT
// name another FFmpeg input format for the capture devices (for example "lavfi", whose device name is
// then a filter graph such as "testsrc2=s=64x48,format=bgr24"); the reading threads stay the same.
SOURCEKIT_API void* brevacast_open_videodevice(const char* name, int32_t width, int32_t height, float frameRate,
                                               uint32_t fourcc, int32_t crossbarPin, int32_t reserved,
                                               DeviceCallback callback, void* user);
SOURCEKIT_API void brevacast_start_videodevice(void* device);
// Returns once the device's thread has ended; no callback follows. The handle is freed.
SOURCEKIT_API void brevacast_stop_videodevice(void* device);

// Sound capture (16-bit interleaved PCM as the source delivers it). name: a PulseAudio source name.
SOURCEKIT_API void* brevacast_open_audiodevice(const char* name, int32_t channels, int32_t sampleRate,
                                               DeviceCallback callback, void* user);
SOURCEKIT_API void brevacast_start_audiodevice(void* device);
SOURCEKIT_API void brevacast_stop_audiodevice(void* device);

// A media file, or a network stream when path contains "rtmp://" or "http://". Sound is delivered as
// 16-bit stereo at sampleRate; video as 'YUY2'. On entry *width and *height hold the caller's default
// size; on return they hold the video size (files) or 80 % of the defaults (streams), and *mask holds
// the payloads delivered: bit 0 video; a value above 1 means sound is present.
SOURCEKIT_API void* brevacast_open_filedevice(const char* path, int32_t channels, int32_t sampleRate, int32_t* width,
                                              int32_t* height, int32_t* mask, DeviceCallback callback, void* user);
SOURCEKIT_API void brevacast_start_filedevice(void* device);
// Stops the device's threads and frees the handle.
SOURCEKIT_API void brevacast_stop_filedevice(void* device);
// pause != 0 pauses, 0 resumes; a file continues where it stopped.
SOURCEKIT_API void brevacast_pause_filedevice(void* device, int32_t pause);
// Position 0 rewinds a file (a stream reconnects); any other position does nothing.
SOURCEKIT_API void brevacast_seek_filedevice(void* device, int32_t position);
// loop != 0: a file starts over at its end instead of reporting the end.
SOURCEKIT_API void brevacast_loop_filedevice(void* device, int32_t loop);

#if defined(__cplusplus)
}
#endif
