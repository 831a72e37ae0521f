#include "PictureLayer.h"
#include "FileSniffer.h"

CPictureLayer::CPictureLayer(CGifMovie::Clock movieClock, PerfClock frameClock)
    : gifFrames(std::move(frameClock)), m_movieClock(std::move(movieClock))
{
}

CPictureLayer::~CPictureLayer() = default;

bool CPictureLayer::Load(const std::string& file, HWND flashHost, int width, int height, bool positioned)
{
    path = file;
    frameWidth = width;
    frameHeight = height;
    const int kind = SniffFileKind(file);
    if (kind == FileKindJpeg || kind == FileKindPng) {
        mode = StillPicture;
        StickerPicture picture;
        if (!LoadPictureFile(file, picture))
            return false;  // stays null: draws nothing
        image = FitSticker(picture);
        return true;
    }
    if (kind == FileKindGif && positioned) {
        mode = GifSticker;
        std::unique_ptr<CGifMovie> loaded(new CGifMovie(m_movieClock));
        if (!loaded->Load(file))
            return false;
        loaded->Start();
        movie = std::move(loaded);
        return true;
    }
    // A full-frame picture named as a GIF whose content is something else
    // (a BMP, TGA, PSD, ...) goes to the image-file library, which reads it
    // with its other readers.
    if (kind == FileKindGif || (kind == FileKindUnknown && !positioned && HasGifExtension(file))) {
        mode = FullFrameGif;
        return gifFrames.Load(file, width, height);
    }
    if (HasFlashExtension(file)) {
        mode = positioned ? PositionedFlash : FullFrameFlash;
        const int left = positioned ? x : 0, top = positioned ? y : 0;
        return flash.LoadMovie(flashHost, file.c_str(), width, height, left, top, true);
    }
    return false;
}

void CPictureLayer::Draw(uint8_t* pixels, int width, int height)
{
    if (!pixels || width != frameWidth || height != frameHeight)
        return;
    switch (mode) {
    case FullFrameGif:
        gifFrames.Draw(pixels, width, height);
        break;
    case GifSticker:
        if (movie) {
            if (const StickerPicture* frame = movie->CurrentFrame())
                BlendSticker(pixels, width, height, *frame, x, y);
        }
        break;
    case StillPicture:
        BlendSticker(pixels, width, height, image, x, y);
        break;
    case FullFrameFlash:
        flash.DrawInto(pixels, width, height);
        break;
    case PositionedFlash:
        flash.SetPlacement(x, y, x + flashWidth, y + flashHeight);
        flash.DrawInto(pixels, width, height);
        break;
    }
}
