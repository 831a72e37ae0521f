#include "CxImageGIF.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

const int kCodeEof = -1;       // the file ended inside the data
const int kCodeEndOfData = -2; // a zero-length sub-block
const int kStackLimit = 4094;
const int kRefill = 16383;

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

int BitsForEntries(int32_t entries) { return entries <= 2 ? 1 : entries <= 16 ? 4 : 8; }

} // namespace

CxImageGIF::CxImageGIF()
    : CxImage(CXIMAGE_FORMAT_GIF),
      buffer_(new uint8_t[kBufferSize]),
      stack_(new uint8_t[4096]),
      suffix_(new uint8_t[4096]),
      prefix_(new uint16_t[4096])
{
    std::memset(globalTable_, 0, sizeof globalTable_);
    std::memset(comment_, 0, sizeof comment_);
    std::memset(prefix_, 0, 4096 * sizeof(uint16_t));
    std::memset(suffix_, 0, 4096);
}

CxImageGIF::~CxImageGIF()
{
    delete[] buffer_;
    delete[] stack_;
    delete[] suffix_;
    delete[] prefix_;
}

bool CxImageGIF::Decode(CxFile* file)
{
    if (!ReadHead(file))
        return false;
    Walk(file);
    FinishTrueColour();
    previous_.Create(0, 0, 0, 0);
    trueColour_.Create(0, 0, 0, 0);
    return true;
}

bool CxImageGIF::OpenFrames(CxFile* file)
{
    info_.frameToLoad = 0;
    return ReadHead(file);
}

bool CxImageGIF::NextFrame(CxFile* file)
{
    if (walkEnded_ || !file)
        return false;
    info_.frameToLoad = walkFrame_;
    const bool reached = Walk(file);
    FinishTrueColour();
    return reached;
}

size_t CxImageGIF::HeldBytes() const
{
    const auto pictureBytes = [](const CxImage& image) -> size_t {
        if (!image.HasPixels())
            return 0;
        size_t bytes = sizeof(CxBitmapInfoHeader) + image.PaletteSize() + image.Header().biSizeImage;
        if (image.AlphaPlane())
            bytes += size_t(image.Width()) * image.Height();
        return bytes;
    };
    return size_t(kBufferSize) + 4096 * 2 + 4096 * sizeof(uint16_t) + pictureBytes(*this) + pictureBytes(previous_) +
           pictureBytes(trueColour_);
}

bool CxImageGIF::ReadHead(CxFile* file)
{
    walkEnded_ = true;
    headPosition_ = -1;
    if (!file)
        return false;
    uint8_t header[13];
    if (file->Read(header, 1, 13) != 13 || std::memcmp(header, "GIF8", 4) != 0)
        return false;
    screenWidth_ = Le16(header + 6);
    screenHeight_ = Le16(header + 8);
    trueColourSigns_ = 0;
    globalEntries_ = 0;
    if (header[10] & 0x80) {
        globalEntries_ = 2 << (header[10] & 7);
        if (file->Read(globalTable_, 3, size_t(globalEntries_)) != size_t(globalEntries_))
            return false;
    } else {
        ++trueColourSigns_;
    }

    info_.frameCount = CountFrames(file);
    if (info_.frameToLoad < 0 || info_.frameToLoad >= info_.frameCount)
        return false;
    if (info_.frameCount == 1)
        trueColourSigns_ = 0;
    walkPreviousZero_ = true;
    walkFrame_ = 0;
    walkEnded_ = false;
    headPosition_ = file->Tell();
    headInfo_ = info_;
    headSigns_ = trueColourSigns_;
    headGceFlags_ = gceFlags_;
    headGceIndex_ = gceIndex_;
    headDisposal_ = disposal_;
    headGceDelay_ = gceDelay_;
    return true;
}

bool CxImageGIF::Rewind(CxFile* file)
{
    if (!file || headPosition_ < 0 || !file->Seek(headPosition_, SEEK_SET))
        return false;
    Create(0, 0, 0, 0);
    info_ = headInfo_;
    trueColourSigns_ = headSigns_;
    gceFlags_ = headGceFlags_;
    gceIndex_ = headGceIndex_;
    disposal_ = headDisposal_;
    gceDelay_ = headGceDelay_;
    previous_.Create(0, 0, 0, 0);
    trueColour_.Create(0, 0, 0, 0);
    firstTransparent_ = -1;
    previousDisposal_ = 0;
    walkPreviousZero_ = true;
    walkFrame_ = 0;
    walkEnded_ = false;
    return true;
}

bool CxImageGIF::Walk(CxFile* file)
{
    for (;;) {
        uint8_t ch;
        if (file->Read(&ch, 1, 1) != 1)
            break;
        if (ch != 0 && !walkPreviousZero_)
            continue;
        if (ch == ';')
            break;
        if (ch == '!') {
            if (!ReadExtension(file))
                break;
            continue;
        }
        if (ch == ',') {
            Descriptor d;
            if (!ReadDescriptor(file, d))
                break;
            if (d.left + d.width > screenWidth_ || d.top + d.height > screenHeight_)
                continue;
            if (DecodeFrame(file, d, walkFrame_) == FrameStopWalk)
                break;
            if (walkFrame_++ == info_.frameToLoad)
                return true;
            continue;
        }
        walkPreviousZero_ = ch == 0;
    }
    walkEnded_ = true;
    return false;
}

void CxImageGIF::FinishTrueColour()
{
    if (trueColourSigns_ >= 2 && trueColour_.HasPixels()) {
        CxImageInfo& picture = InfoOf(trueColour_);
        if (gceFlags_ & 1) {
            picture.transparentColor = PaletteEntry(uint32_t(info_.transparentIndex));
            picture.transparentIndex = 0;
        } else {
            picture.transparentIndex = -1;
        }
        TakeOver(trueColour_, false);
    }
}

bool CxImageGIF::ReadDescriptor(CxFile* file, Descriptor& d)
{
    uint8_t b[9];
    if (file->Read(b, 1, 9) != 9)
        return false;
    d.left = Le16(b);
    d.top = Le16(b + 2);
    d.width = Le16(b + 4);
    d.height = Le16(b + 6);
    d.flags = b[8];
    return true;
}

bool CxImageGIF::ReadExtension(CxFile* file)
{
    uint8_t label;
    if (file->Read(&label, 1, 1) != 1)
        return false;
    bool ok = true;
    if (label == 0xF9) {
        uint8_t size = 0, data[4];
        ok = file->Read(&size, 1, 1) == 1 && file->Read(data, 1, 4) == 4 && size == 4;
        if (ok) {
            gceFlags_ = data[0];
            gceDelay_ = Le16(data + 1);
            gceIndex_ = data[3];
            info_.transparentIndex = (gceFlags_ & 1) ? gceIndex_ : -1;
            info_.frameDelay = gceDelay_;
            disposal_ = (gceFlags_ >> 2) & 7;
        }
    } else if (label == 0xFE) {
        uint8_t length = 0;
        ok = file->Read(&length, 1, 1) == 1 && length != 0 && file->Read(comment_, 1, length) == length;
    } else if (label == 0xFF) {
        uint8_t size = 0, application[11], length = 0, data[256];
        ok = file->Read(&size, 1, 1) == 1 && size == 11 && file->Read(application, 1, 11) == 11 &&
             file->Read(&length, 1, 1) == 1 && file->Read(data, 1, length) == length;
        // A first sub-block of length 0 was already the terminator.
        if (ok && length == 0)
            return true;
    }
    if (!ok)
        return false;
    for (;;) {
        uint8_t length;
        if (file->Read(&length, 1, 1) != 1 || length == 0)
            break;
        file->Seek(length, SEEK_CUR);
    }
    return true;
}

int32_t CxImageGIF::CountFrames(CxFile* file)
{
    const int32_t start = file->Tell();
    // Counting walks the extensions too; what they set must not leak into the read.
    const uint8_t flags = gceFlags_, index = gceIndex_, disposal = disposal_;
    const uint16_t delay = gceDelay_;
    const int32_t transparentIndex = info_.transparentIndex;
    const uint32_t frameDelay = info_.frameDelay;

    int32_t count = 0;
    bool previousZero = true;
    for (;;) {
        uint8_t ch;
        if (file->Read(&ch, 1, 1) != 1)
            break;
        if (ch != 0 && !previousZero)
            continue;
        if (ch == ';')
            break;
        if (ch == '!') {
            if (!ReadExtension(file))
                break;
            continue;
        }
        if (ch == ',') {
            Descriptor d;
            if (!ReadDescriptor(file, d))
                break;
            if (screenWidth_ == 0 && screenHeight_ == 0) {
                screenWidth_ = d.width;
                screenHeight_ = d.height;
            }
            if (d.left + d.width > screenWidth_ || d.top + d.height > screenHeight_)
                continue;
            ++count;
            if (d.flags & 0x80) {
                const int32_t entries = 2 << (d.flags & 7);
                if (!file->Seek(entries * 3, SEEK_CUR))
                    break;
            }
            const int32_t dataStart = file->Tell();
            DecodeLzw(file, nullptr, d.width, d.height, (d.flags & 0x40) != 0);
            ContinueAfterData(file, dataStart);
            continue;
        }
        previousZero = ch == 0;
    }

    file->Seek(start, SEEK_SET);
    gceFlags_ = flags;
    gceIndex_ = index;
    disposal_ = disposal;
    gceDelay_ = delay;
    info_.transparentIndex = transparentIndex;
    info_.frameDelay = frameDelay;
    return count;
}

CxImageGIF::FrameResult CxImageGIF::DecodeFrame(CxFile* file, const Descriptor& d, int32_t k)
{
    if (k == 0 && d.width != screenWidth_ && d.height != screenHeight_)
        ++trueColourSigns_;

    uint8_t localTable[768];
    const uint8_t* table = nullptr;
    int32_t entries = 0;
    if (d.flags & 0x80) {
        entries = 2 << (d.flags & 7);
        if (file->Read(localTable, 3, size_t(entries)) != size_t(entries))
            return FrameStopWalk;
        table = localTable;
    } else if (globalEntries_) {
        entries = globalEntries_;
        table = globalTable_;
    }
    const int bits = BitsForEntries(entries);
    const int32_t dataStart = file->Tell();

    // The canvas this frame is drawn onto.
    CxImage canvas;
    if (k == 0) {
        InfoOf(canvas) = info_;
        if (!canvas.Create(uint32_t(screenWidth_), uint32_t(screenHeight_), uint32_t(bits), info_.formatId))
            return FrameStopWalk;
        firstTransparent_ = info_.transparentIndex;
        canvas.Fill(gceIndex_);
        previous_.CopyFrom(canvas, true, false);
    } else if (previousDisposal_ == 2) {
        canvas.CopyFrom(*this, false, false);
        canvas.Fill(firstTransparent_ < 0 ? 255 : uint8_t(firstTransparent_));
    } else if (previousDisposal_ == 3) {
        canvas.CopyFrom(previous_, true, false);
    } else {
        canvas.CopyFrom(*this, true, false);
    }

    if (!Create(uint32_t(d.width), uint32_t(d.height), uint32_t(bits), info_.formatId)) {
        // An empty frame: keep the picture composed so far and find the next image.
        if (canvas.HasPixels())
            TakeOver(canvas, false);
        FindNextImage(file, dataStart);
        return FrameGoOn;
    }
    if (table) {
        CxRgbQuad palette[256];
        for (int i = 0; i < 256; ++i) {
            if (i < entries)
                palette[i] = CxRgb(table[3 * i], table[3 * i + 1], table[3 * i + 2]);
            else
                palette[i] = CxRgb(255, 255, 255);
        }
        SetPaletteQuads(info_.transparentIndex >= 0 ? 256 : uint32_t(entries), palette);
    }

    DecodeLzw(file, this, d.width, d.height, (d.flags & 0x40) != 0);

    if (trueColourSigns_ >= 2) {
        info_.frameToLoad = info_.frameCount - 1;
        if (!trueColour_.HasPixels()) {
            InfoOf(trueColour_) = info_;
            trueColour_.Create(uint32_t(screenWidth_), uint32_t(screenHeight_), 24, info_.formatId);
        }
        const int32_t bottomRow = screenHeight_ - d.top - d.height;
        for (int32_t y = 0; y < d.height; ++y)
            for (int32_t x = 0; x < d.width; ++x)
                trueColour_.SetPixelColor(d.left + x, bottomRow + y, PixelColor(x, y, false), false);
    } else if (canvas.HasPixels()) {
        canvas.RaiseDepth(uint32_t(bits));
        canvas.OverlayFrame(*this, d.left, d.top);
        InfoOf(canvas).transparentIndex = firstTransparent_;
        // Only this frame's entries: a smaller palette must not be read past its end.
        canvas.SetPaletteQuads(std::min(PaletteEntries(), canvas.PaletteEntries()), Palette());
        TakeOver(canvas, false);
    }

    ContinueAfterData(file, dataStart);
    if (disposal_ == 0 || disposal_ == 1)
        previous_.CopyFrom(*this, true, false);
    previousDisposal_ = disposal_;
    return FrameGoOn;
}

void CxImageGIF::ContinueAfterData(CxFile* file, int32_t dataStart)
{
    if (badCodes_) {
        FindNextImage(file, dataStart);
        return;
    }
    // Back over the buffered bytes not consumed; the block terminator that
    // follows the end code is passed over unless the decoder already read it.
    const int32_t skip = terminatorRead_ ? 0 : 1;
    file->Seek(readIndex_ - fillCount_ + skip, SEEK_CUR);
}

void CxImageGIF::FindNextImage(CxFile* file, int32_t from)
{
    if (!file->Seek(from, SEEK_SET))
        return;
    int previous = -1;
    uint8_t chunk[4096];
    for (;;) {
        const int32_t chunkStart = file->Tell();
        const size_t n = file->Read(chunk, 1, sizeof chunk);
        if (n == 0)
            return;
        for (size_t i = 0; i < n; ++i) {
            if (chunk[i] == ',' && (previous == -1 || previous == 0)) {
                file->Seek(chunkStart + int32_t(i), SEEK_SET);
                return;
            }
            previous = chunk[i];
        }
        if (n < sizeof chunk)
            return;
    }
}

void CxImageGIF::ResetBuffer()
{
    fillCount_ = kBufferSize;
    readIndex_ = kBufferSize;
    bufferAtEnd_ = false;
}

int CxImageGIF::GetByte(CxFile* file)
{
    if (readIndex_ >= fillCount_) {
        if (bufferAtEnd_)
            return -1;
        fillCount_ = int32_t(file->Read(buffer_, 1, kRefill));
        readIndex_ = 0;
        if (fillCount_ < kRefill)
            bufferAtEnd_ = true;
        if (fillCount_ == 0)
            return -1;
    }
    return buffer_[readIndex_++];
}

int CxImageGIF::GetCode(CxFile* file)
{
    while (bitCount_ < codeWidth_) {
        if (blockLeft_ == 0) {
            const int length = GetByte(file);
            if (length < 0)
                return kCodeEof;
            if (length == 0) {
                terminatorRead_ = true;
                return kCodeEndOfData;
            }
            blockLeft_ = length;
        }
        const int b = GetByte(file);
        if (b < 0)
            return kCodeEof;
        --blockLeft_;
        bitBuffer_ |= uint32_t(b) << bitCount_;
        bitCount_ += 8;
    }
    const int code = int(bitBuffer_ & ((1u << codeWidth_) - 1));
    bitBuffer_ >>= codeWidth_;
    bitCount_ -= codeWidth_;
    return code;
}

bool CxImageGIF::WriteLine(CxImage* target, const uint8_t* line, int32_t width)
{
    int32_t row;
    if (!interlaced_) {
        if (rowPosition_ >= frameHeight_)
            return false;
        row = rowPosition_++;
    } else {
        if (pass_ > 4)
            return false;
        row = rowPosition_;
        rowPosition_ += rowStep_;
        while (rowPosition_ >= frameHeight_) {
            if (++pass_ > 4)
                break;
            if (pass_ >= 3)
                rowStep_ /= 2;
            rowPosition_ = rowStep_ / 2;
        }
    }
    if (!target || !target->HasPixels())
        return true;
    uint8_t* dst = target->Rows() + size_t(frameHeight_ - 1 - row) * target->RowBytes();
    const uint32_t bits = target->BitDepth();
    if (bits == 8) {
        std::memcpy(dst, line, size_t(width));
    } else if (bits == 4) {
        for (int32_t x = 0; x < width; x += 2)
            dst[x / 2] = uint8_t(((line[x] & 15) << 4) | (x + 1 < width ? (line[x + 1] & 15) : 0));
    } else {
        for (int32_t x = 0; x < width; x += 8) {
            uint8_t b = 0;
            for (int32_t i = 0; i < 8 && x + i < width; ++i)
                b |= uint8_t((line[x + i] & 1) << (7 - i));
            dst[x / 8] = b;
        }
    }
    return true;
}

bool CxImageGIF::DecodeLzw(CxFile* file, CxImage* target, int32_t width, int32_t height, bool interlaced)
{
    ResetBuffer();
    badCodes_ = 0;
    terminatorRead_ = false;
    if (width < 1)
        return false;
    const int size = GetByte(file);
    if (size < 2 || size > 9)
        return false;

    interlaced_ = interlaced;
    rowPosition_ = 0;
    rowStep_ = 8;
    pass_ = 1;
    frameHeight_ = height;
    if (target && target->HasPixels() && (int32_t(target->Width()) != width || int32_t(target->Height()) != height))
        target = nullptr;

    uint8_t* line = new (std::nothrow) uint8_t[size_t(width) + 1];
    if (!line)
        return false;
    std::memset(line, 0, size_t(width) + 1);

    codeWidth_ = size + 1;
    clearCode_ = 1 << size;
    endCode_ = clearCode_ + 1;
    firstFree_ = clearCode_ + 2;
    nextFree_ = firstFree_;
    codeLimit_ = 1 << codeWidth_;
    blockLeft_ = 0;
    bitBuffer_ = 0;
    bitCount_ = 0;
    for (int i = 0; i < clearCode_; ++i) {
        prefix_[i] = 0;
        suffix_[i] = uint8_t(i);
    }

    int32_t position = 0;
    bool havePrevious = false;
    int previousCode = 0;
    uint8_t firstChar = 0;
    bool writePartial = false;

    auto emit = [&](const uint8_t* bytes, int count, bool reversed) -> bool {
        for (int i = 0; i < count; ++i) {
            line[position++] = reversed ? bytes[count - 1 - i] : bytes[i];
            if (position == width) {
                position = 0;
                if (!WriteLine(target, line, width))
                    return false;
            }
        }
        return true;
    };

    for (;;) {
        int code = GetCode(file);
        if (code == kCodeEof)
            break;
        if (code == kCodeEndOfData || code == endCode_) {
            writePartial = true;
            break;
        }
        if (code == clearCode_ || !havePrevious) {
            if (code == clearCode_) {
                codeWidth_ = size + 1;
                codeLimit_ = 1 << codeWidth_;
                nextFree_ = firstFree_;
                do
                    code = GetCode(file);
                while (code == clearCode_);
                if (code == kCodeEof)
                    break;
                if (code == kCodeEndOfData || code == endCode_) {
                    writePartial = true;
                    break;
                }
            }
            if (code >= nextFree_)
                code = 0;
            firstChar = uint8_t(code);
            previousCode = code;
            havePrevious = true;
            if (!emit(&firstChar, 1, false))
                break;
            continue;
        }

        int sp = 0;
        int walk = code;
        if (code >= nextFree_) {
            if (code > nextFree_)
                ++badCodes_;
            stack_[sp++] = firstChar;
            walk = previousCode;
        }
        while (walk >= firstFree_ && sp < kStackLimit) {
            stack_[sp++] = suffix_[walk];
            walk = prefix_[walk];
        }
        if (sp < kStackLimit)
            stack_[sp++] = uint8_t(walk);
        firstChar = walk >= firstFree_ ? suffix_[walk] : uint8_t(walk);

        if (nextFree_ < 4096) {
            prefix_[nextFree_] = uint16_t(previousCode);
            suffix_[nextFree_] = firstChar;
            ++nextFree_;
            if (nextFree_ >= codeLimit_ && codeWidth_ < 12) {
                codeLimit_ <<= 1;
                ++codeWidth_;
            }
        }
        previousCode = code;
        if (!emit(stack_, sp, true))
            break;
    }
    if (writePartial && position > 0)
        WriteLine(target, line, width);
    delete[] line;
    return true;
}
