// GIF reader: one frame of the animation composed onto the logical screen,
// or the whole file as one 24-bit picture when it is a true-colour mosaic.
#pragma once

#include "CxImage.h"

class CxImageGIF : public CxImage {
public:
    CxImageGIF();
    ~CxImageGIF() override;

    bool Decode(CxFile* file);

    // Reads an animation one frame at a time with one reader: each NextFrame
    // composes the next frame onto the picture kept from the frame before, so
    // a frame costs its own decoding only. OpenFrames reads the header and
    // counts the frames (false: not a GIF, or no frame fits the screen); the
    // file must stay where the last call left it.
    bool OpenFrames(CxFile* file);
    // False once the file holds no further frame; the picture is then the
    // last one composed.
    bool NextFrame(CxFile* file);
    // Back to the state OpenFrames left, without counting the frames again.
    bool Rewind(CxFile* file);
    int32_t ScreenWidth() const { return screenWidth_; }
    int32_t ScreenHeight() const { return screenHeight_; }
    // The reader's buffers and pictures, in bytes.
    size_t HeldBytes() const;

private:
    struct Descriptor {
        int32_t left, top, width, height;
        uint8_t flags;
    };
    enum FrameResult { FrameGoOn, FrameStopWalk };

    bool ReadHead(CxFile* file);
    // Walks on from where the last walk stopped; true when frame frameToLoad
    // was composed.
    bool Walk(CxFile* file);
    void FinishTrueColour();
    bool ReadExtension(CxFile* file);
    bool ReadDescriptor(CxFile* file, Descriptor& d);
    int32_t CountFrames(CxFile* file);
    FrameResult DecodeFrame(CxFile* file, const Descriptor& d, int32_t k);
    void ContinueAfterData(CxFile* file, int32_t dataStart);
    static void FindNextImage(CxFile* file, int32_t from);

    // Buffered reading of the image data and the LZW decoder.
    void ResetBuffer();
    int GetByte(CxFile* file);
    int GetCode(CxFile* file);
    // Decodes one frame's data; target null only walks over it. False on an error
    // before any code was read.
    bool DecodeLzw(CxFile* file, CxImage* target, int32_t width, int32_t height, bool interlaced);
    bool WriteLine(CxImage* target, const uint8_t* line, int32_t width);

    // Latest graphic control extension.
    uint8_t gceFlags_ = 0;
    uint16_t gceDelay_ = 0;
    uint8_t gceIndex_ = 0;
    uint8_t disposal_ = 0;

    int32_t screenWidth_ = 0;
    int32_t screenHeight_ = 0;
    uint8_t globalTable_[768];
    int32_t globalEntries_ = 0;
    int32_t trueColourSigns_ = 0;

    // Composition across frames.
    CxImage previous_;
    CxImage trueColour_;
    int32_t firstTransparent_ = -1;
    uint8_t previousDisposal_ = 0;

    // The state right after the header, for Rewind.
    int32_t headPosition_ = -1;
    CxImageInfo headInfo_;
    int32_t headSigns_ = 0;
    uint8_t headGceFlags_ = 0, headGceIndex_ = 0, headDisposal_ = 0;
    uint16_t headGceDelay_ = 0;

    // Where the walk over the file stands.
    bool walkPreviousZero_ = true;
    int32_t walkFrame_ = 0;
    bool walkEnded_ = true;  // until OpenFrames

    // Read buffer.
    static const int32_t kBufferSize = 16384;
    uint8_t* buffer_;
    int32_t fillCount_ = kBufferSize;
    int32_t readIndex_ = kBufferSize;
    bool bufferAtEnd_ = false;

    // LZW state.
    int codeWidth_ = 0;
    int clearCode_ = 0;
    int endCode_ = 0;
    int firstFree_ = 0;
    int nextFree_ = 0;
    int codeLimit_ = 0;
    uint8_t* stack_;
    uint8_t* suffix_;
    uint16_t* prefix_;
    int blockLeft_ = 0;
    uint32_t bitBuffer_ = 0;
    int bitCount_ = 0;
    int badCodes_ = 0;
    bool terminatorRead_ = false;

    // Row placement.
    bool interlaced_ = false;
    int32_t rowPosition_ = 0;
    int32_t rowStep_ = 8;
    int32_t frameHeight_ = 0;
    int32_t pass_ = 1;

    char comment_[256];
};
