// Makes frame processors: the Direct3D kind when it initialises for the
// size, else the CPU kind.
#pragma once

#include <windows.h>

class VideoProcessing;

class VideoProcessingFactory {
public:
    static VideoProcessingFactory& Instance();

    // Null when neither kind can be initialised.
    VideoProcessing* Create(int reserved1, int reserved2, HWND window, int width, int height);
    // Uninitialises and deletes the processor and clears the pointer.
    void Release(VideoProcessing** processor);
};
