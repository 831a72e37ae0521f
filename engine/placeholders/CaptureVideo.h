// Placeholder for the camera source until it is built.
#pragma once

#include "CallRecorder.h"

class CDecorationLayer;
class VcamManger;

class CCaptureVideo : public CCallRecorder {
public:
    virtual void Quit() { Record("Quit"); }
    virtual int StopCaptureVideo(int) { Record("StopCaptureVideo"); running = false; return 1; }
    virtual bool IsRunning() { return running; }
    void SetDecorationLayer(CDecorationLayer*) { Record("SetDecorationLayer"); }
    void SetManager(VcamManger*) { Record("SetManager"); }
    void ReopenCapture(int w, int h, int ft) { Record("ReopenCapture " + Num(w) + "x" + Num(h) + " " + Num(ft)); }
    void SetFrameTime(int ft) { Record("SetFrameTime " + Num(ft)); }
    void SetOutWidthAndHeight(int w, int h) { Record("SetOutWidthAndHeight " + Num(w) + "x" + Num(h)); }
    virtual ~CCaptureVideo() = default;
    bool running = false;
};
