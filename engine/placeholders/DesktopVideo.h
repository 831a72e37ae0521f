// Placeholder for the desktop source until it is built.
#pragma once

#include "CallRecorder.h"

class CDecorationLayer;
class VcamManger;

class CDesktopVideo : public CCallRecorder {
public:
    virtual void Quit() { Record("Quit"); }
    virtual int Stop(int) { Record("Stop"); running = false; return 0; }
    virtual bool IsRunning() { return running; }
    void SetDecorationLayer(CDecorationLayer*) { Record("SetDecorationLayer"); }
    void SetManager(VcamManger*) { Record("SetManager"); }
    int ReopenDesktop(int w, int h, int ft) { Record("ReopenDesktop " + Num(w) + "x" + Num(h) + " " + Num(ft)); return running ? 0 : 1; }
    void SetFrameTime(int ft) { Record("SetFrameTime " + Num(ft)); }
    void SetOutWidthAndHeight(int w, int h) { Record("SetOutWidthAndHeight " + Num(w) + "x" + Num(h)); }
    virtual ~CDesktopVideo() = default;
    bool running = false;
};
