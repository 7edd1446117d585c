// A layer showing one monitor of the desktop with the mouse cursor drawn in. It captures on
// demand: every GetImage (once per composed frame, on the composition thread) grabs the monitor's
// current contents, draws the cursor and scales the result to the layer's size on the canvas.
// Created on the main thread; used only by the composition thread afterwards.
#pragma once

#include <memory>

#include "platform/x11/monitors.h"
#include "platform/x11/screen_grabber.h"
#include "platform/x11/x_connection.h"
#include "scene/base_layer.h"

// How the desktop is read, chosen once at construction from what the X server offers.
enum class CaptureMethod {
    kNone,   // no display: the layer draws nothing
    kPlain,  // pixels travel through the connection
    kShm,    // the server writes into a shared segment
};

class CScrLayer : public CBaseLayer {
public:
    // displayName null: $DISPLAY. preferShm false forces the plain path (tests and benchmarks
    // compare both).
    CScrLayer(uint32_t fourcc, int monitorIndex, const MonitorRect& rect, const char* displayName = nullptr,
              bool preferShm = true);
    ~CScrLayer() override;

    ImageBuffer* GetImage(float scale, uint32_t fourcc) override;
    int ScreenIndex() const override { return monitorIndex_; }

    CaptureMethod Method() const { return method_; }
    // Set once the capture can no longer work (the server went away, or the screen changed under
    // a shared-memory capture); the layer then draws nothing until it is replaced.
    bool Lost() const { return lost_; }
    const MonitorRect& CaptureRect() const { return captureRect_; }

private:
    void DrawCursor();

    int monitorIndex_;
    MonitorRect captureRect_;
    std::unique_ptr<CXConnection> conn_;
    std::unique_ptr<CScreenGrabber> grabber_;
    CaptureMethod method_ = CaptureMethod::kNone;
    CursorImage cursor_;
    bool lost_ = false;
};
