#include "MediaRecipes.h"
#include "DShowGuids.h"
#include "GraphHelpers.h"
#include "ColorConverter.h"

#include <uuids.h>

const CLSID kClsidLavSource = {0xB98D13E7, 0x55DB, 0x4385, {0xA3, 0x3D, 0x09, 0xFD, 0x1B, 0xA2, 0x63, 0x38}};
const CLSID kClsidLavVideoDecoder = {0xEE30215D, 0x164F, 0x4A92, {0xA4, 0xEB, 0x9D, 0x4C, 0x13, 0x39, 0x0F, 0x9F}};
const CLSID kClsidLavAudioDecoder = {0xE8E73B6B, 0x4CB3, 0x44A4, {0xBE, 0x99, 0x4F, 0x7B, 0xCB, 0x96, 0xE4, 0x91}};
const CLSID kClsidAc3Filter = {0xA753A1EC, 0x973E, 0x4718, {0xAF, 0x8E, 0xA3, 0xF5, 0x54, 0xD4, 0x5C, 0x44}};
const CLSID kClsidElecardDemultiplexer = {0x136DCBF5, 0x3874, 0x4B70, {0xAE, 0x3E, 0x15, 0x99, 0x7D, 0x63, 0x34, 0xF7}};
const CLSID kClsidMpegAudioDecoder = {0x4A2286E0, 0x7BEF, 0x11CE, {0x9B, 0xD9, 0x00, 0x00, 0xE2, 0x02, 0x59, 0x9C}};
const CLSID kClsidMpegVideoDecoder = {0xFEB50740, 0x7BEF, 0x11CE, {0x9B, 0xD9, 0x00, 0x00, 0xE2, 0x02, 0x59, 0x9C}};

namespace {

const CLSID kClsidDirectSoundRenderer = {0x79376820, 0x07D0, 0x11CF, {0xA2, 0x4D, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x67}};
const CLSID kClsidAsyncReader = {0xE436EBB5, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};

using R = RecipeRole;

const RecipeFilter kGrabber = {R::Grabber, &CLSID_SampleGrabber, L"Grabber", "ERROR - Could not create Sample Grabber.",
                               "ERROR - Could not add GrabberBase to graph."};
const RecipeFilter kNull = {R::NullRenderer, &CLSID_NullRenderer, L"Null Renderer",
                            "ERROR - Could not create NullRenderer.", "ERROR - Could not add Null Renderer to graph."};
const RecipeFilter kAc3 = {R::Ac3, &kClsidAc3Filter, L"AC3 Filter", "ERROR - Could not create AC3 Filter.",
                           "ERROR - Could not add AC3 Filter to graph."};
const RecipeFilter kSound = {R::SoundRenderer, &kClsidDirectSoundRenderer, L"Default DirectSound Device", nullptr,
                             "ERROR - Could not add Default DirectSound Device to graph."};

const RecipeFilter kLavVideoFilters[] = {
    {R::Source, &kClsidLavSource, L"LavMediaSource", "ERROR - Could not create LavMediaSource.",
     "ERROR - Could not add LavMediaSource to graph."},
    {R::VideoDecoder, &kClsidLavVideoDecoder, L"LavVideoDecoder", "ERROR - Could not create LavVideoDecoder.",
     "ERROR - Could not add LavVideoDecoder to graph."},
    kGrabber,
    kNull,
};
const RecipeLink kLavVideoLinks[] = {
    {R::Source, L"Video", R::VideoDecoder, L"Input", false,
     "ERROR - connect LavMediaSource -> LavVideoDecoder failed!."},
    {R::VideoDecoder, L"Output", R::Grabber, L"Input", true,
     "ERROR - connect LavVideoDecoder -> SampleGrabber failed!."},
    {R::None, nullptr, R::None, nullptr, false, nullptr},
    {R::Grabber, L"Output", R::NullRenderer, L"In", true, "ERROR - connect SampleGrabber -> NullRender failed!."},
};

const RecipeFilter kLavAudioFilters[] = {
    {R::AudioDecoder, &kClsidLavAudioDecoder, L"LavAudioDecoder", "ERROR - Could not create LavAudioDecoder.",
     "ERROR - Could not add LavAudioDecoder to graph."},
    kAc3,
    kSound,
};
const RecipeLink kLavAudioLinks[] = {
    {R::Source, L"Audio", R::AudioDecoder, L"Input", false,
     "ERROR - connect LavMediaSource -> LavAudioDecoder failed!."},
    {R::AudioDecoder, L"Output", R::Ac3, L"In", true, "ERROR - connect LavAudioDecoder -> AC3Filter failed!."},
    {R::Ac3, L"Out", R::SoundRenderer, L"Audio Input pin (rendered)", true,
     "ERROR - connect AC3Filter -> DirectSoundDevice failed!."},
};

const RecipeFilter kMpegFilters[] = {
    {R::Source, &kClsidAsyncReader, L"AsyncReader Source", "ERROR - Could not create AsyncReader Source.",
     "ERROR - Could not add AsyncReader Source to graph."},
    {R::Demultiplexer, &kClsidElecardDemultiplexer, L"Elecard MPEG Demultiplexer",
     "ERROR - Could not create Elecard MPEG Demultiplexer.",
     "ERROR - Could not add Elecard MPEG Demultiplexer to graph."},
    {R::AudioDecoder, &kClsidMpegAudioDecoder, L"MPEG Audio Decoder", "ERROR - Could not create MPEG Audio Decoder.",
     "ERROR - Could not add MPEG Audio Decoder to graph."},
    {R::VideoDecoder, &kClsidMpegVideoDecoder, L"MPEG Video Decoder", "ERROR - Could not create MPEG Video Decoder.",
     "ERROR - Could not add MPEG Video Decoder to graph."},
    kAc3,
    kGrabber,
    kNull,
    kSound,
};
const RecipeLink kMpegLinks[] = {
    {R::Source, L"Output", R::Demultiplexer, L"Input", true,
     "ERROR - connect FileAsyncSourceAsync -> ElecardMPEGDemultiplexer failed!."},
    {R::Demultiplexer, L"Video (ID 224 @ Prog# 0)", R::VideoDecoder, L"Input", true,
     "ERROR - connect ElecardMPEGDemultiplexer -> MPEGVideoDecoder failed!."},
    {R::Demultiplexer, L"Audio (ID 192 @ Prog# 0)", R::AudioDecoder, L"XForm In", true,
     "ERROR - connect ElecardMPEGDemultiplexer -> MPEGAudioDecoder failed!."},
    {R::AudioDecoder, L"XForm Out", R::Ac3, L"In", true, "ERROR - connect MPEGAudioDecoder -> AC3Filter failed!."},
    {R::Ac3, L"Out", R::SoundRenderer, L"Audio Input pin (rendered)", true,
     "ERROR - connect AC3Filter -> DirectSoundDevice failed!."},
    {R::VideoDecoder, L"Output", R::Grabber, L"Input", true,
     "ERROR - connect MPEGVideoDecoder -> SampleGrabber failed!."},
    {R::None, nullptr, R::None, nullptr, true, nullptr},
    {R::Grabber, L"Output", R::NullRenderer, L"In", true, "ERROR - connect SampleGrabber -> NullRender failed!."},
};

template <size_t F, size_t L>
constexpr RecipeTable Table(const RecipeFilter (&filters)[F], const RecipeLink (&links)[L])
{
    return RecipeTable{filters, F, links, L};
}

} // namespace

const RecipeTable kLavVideoRecipe = Table(kLavVideoFilters, kLavVideoLinks);
const RecipeTable kLavAudioRecipe = Table(kLavAudioFilters, kLavAudioLinks);
const RecipeTable kMpegRecipe = Table(kMpegFilters, kMpegLinks);

MediaRecipe ChooseMediaRecipe(const std::string& fileName)
{
    const std::string ext = tq::GetLowerExtension(fileName);
    for (const char* lav : {"avi", "mp4", "mkv", "rm", "rmvb", "flv"}) {
        if (ext == lav)
            return MediaRecipe::LavMedia;
    }
    return ext == "mpg" ? MediaRecipe::MpegMedia : MediaRecipe::DefaultMedia;
}

const char* MediaRecipeName(MediaRecipe recipe)
{
    switch (recipe) {
    case MediaRecipe::LavMedia: return "LavMedia";
    case MediaRecipe::MpegMedia: return "MpegMedia";
    default: return "DefaultMedia";
    }
}

bool MediaSubtypeKept(const GUID& subtype)
{
    return subtype == MEDIASUBTYPE_YV12 || subtype == MEDIASUBTYPE_RGB32 || subtype == MEDIASUBTYPE_ARGB32 ||
           subtype == MEDIASUBTYPE_YUY2 || subtype == MEDIASUBTYPE_IYUV;
}

bool MediaSubtypeConvertible(const GUID& subtype)
{
    static const GUID* const kConvertible[] = {
        &MEDIASUBTYPE_RGB24, &MEDIASUBTYPE_RGB32, &MEDIASUBTYPE_ARGB32, &MEDIASUBTYPE_YUY2, &MEDIASUBTYPE_YUYV,
        &MEDIASUBTYPE_YV12,  &MEDIASUBTYPE_IYUV,  &tq::kMediaSubtypeI420, &MEDIASUBTYPE_UYVY, &MEDIASUBTYPE_Y411,
        &MEDIASUBTYPE_RGB555, &MEDIASUBTYPE_RGB565,
    };
    for (const GUID* known : kConvertible) {
        if (subtype == *known)
            return true;
    }
    return false;
}

std::wstring MediaAnsiToWide(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text.c_str(), int(text.size()), &wide[0], n);
    return wide;
}
