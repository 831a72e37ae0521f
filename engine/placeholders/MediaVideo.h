// Placeholder for the media-file source until it is built.
#pragma once

#include "CallRecorder.h"

class CDecorationLayer;
class VcamManger;

class CMediaVideo : public CCallRecorder {
public:
    virtual void Quit() { Record("Quit"); }
    virtual int StopMediaVideo() { Record("StopMediaVideo"); playing = false; return 0; }
    virtual bool IsPlaying() { return playing; }
    void SetDecorationLayer(CDecorationLayer*) { Record("SetDecorationLayer"); }
    void SetManager(VcamManger*) { Record("SetManager"); }
    void ReopenMedia(int w, int h, int ft) { Record("ReopenMedia " + Num(w) + "x" + Num(h) + " " + Num(ft)); }
    void SetFrameTime(int ft) { Record("SetFrameTime " + Num(ft)); }
    void SetOutWidthAndHeight(int w, int h) { Record("SetOutWidthAndHeight " + Num(w) + "x" + Num(h)); }
    virtual ~CMediaVideo() = default;
    bool playing = false;
};
