// How the media-file source builds a file's graph: the recipe chosen by the
// file's extension, each recipe's filters (class id, graph name, failure
// texts) and its connections (pins, kind, failure text). The builder walks
// these tables; the tests read them too.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

enum class MediaRecipe { LavMedia, MpegMedia, DefaultMedia };

// LavMedia for "avi", "mp4", "mkv", "rm", "rmvb", "flv"; MpegMedia for
// "mpg"; DefaultMedia for anything else (the extension in any case).
MediaRecipe ChooseMediaRecipe(const std::string& fileName);
const char* MediaRecipeName(MediaRecipe recipe);

enum class RecipeRole {
    None,           // in a link: the grabbed type is checked at this point
    Source,         // loads the file
    Demultiplexer,
    VideoDecoder,
    AudioDecoder,
    Ac3,
    Grabber,
    NullRenderer,
    SoundRenderer,  // created unchecked; adding it is checked
};

struct RecipeFilter {
    RecipeRole role;
    const CLSID* clsid;
    const wchar_t* graphName;
    const char* createFailure;
    const char* addFailure;
};

struct RecipeLink {
    RecipeRole from;
    const wchar_t* fromPin;
    RecipeRole to;
    const wchar_t* toPin;
    bool direct;  // ConnectDirect without a type; otherwise the graph's Connect
    const char* failure;
};

struct RecipeTable {
    const RecipeFilter* filters;
    size_t filterCount;
    const RecipeLink* links;
    size_t linkCount;
};

// LavMedia's picture branch, its sound branch (added only when the source
// has a pin named "Audio") and MpegMedia.
extern const RecipeTable kLavVideoRecipe;
extern const RecipeTable kLavAudioRecipe;
extern const RecipeTable kMpegRecipe;
constexpr wchar_t kLavAudioPin[] = L"Audio";

// Class ids of the filters the recipes make.
extern const CLSID kClsidLavSource;
extern const CLSID kClsidLavVideoDecoder;
extern const CLSID kClsidLavAudioDecoder;
extern const CLSID kClsidAc3Filter;
extern const CLSID kClsidElecardDemultiplexer;
extern const CLSID kClsidMpegAudioDecoder;
extern const CLSID kClsidMpegVideoDecoder;

// The texts of the steps outside the tables.
namespace media_text {
constexpr char kCreateGraph[] = "ERROR - Could not create the Filter Graph Manager.";
constexpr char kNoFileSource[] = "ERROR - Could not get IFileSourceFilter.";
constexpr char kLoadFailed[] = "ERROR - Load file failed.";
constexpr char kInitFiltersFailed[] = "ERROR - Init media filters failed.";
constexpr char kNoControl[] = "ERROR - Could not get IMediaControl.";
constexpr char kNoEvent[] = "ERROR - Could not get IMediaEvent.";
constexpr char kNotifyWindow[] = "ERROR - Could not SetNotifyWindow WM_GRAPHNOTIFY.";
constexpr char kNoSeeking[] = "ERROR - Could not get IMediaSeeking.";
constexpr char kRenderFile[] = "ERROR - m_pGB->RenderFile failed!.";
constexpr char kNoVideoRenderer[] = "ERROR - Could not find Video Renderer.";
constexpr char kCreateGrabber[] = "ERROR - Could not create Sample Grabber.";
constexpr char kGrabberNoFilter[] = "ERROR - Could not create GrabberBase.";
constexpr char kAddGrabber[] = "ERROR - Could not add GrabberBase to graph.";
constexpr char kCreateNullRenderer[] = "ERROR - Could not create NullRenderer.";
constexpr char kAddNullRenderer[] = "ERROR - Could not add Null Renderer to graph.";
constexpr char kUsingLav[] = "Using LavMedia to play media file!";
constexpr char kUsingMpeg[] = "Using MpegMedia to play media file!";
constexpr char kUsingDefault[] = "Using DefaultMedia(AutoRenderer) to play media file!";
constexpr char kSetBufferSamples[] = "ERROR, m_pGrabber->SetBufferSamples failed.";
constexpr char kSetOneShot[] = "ERROR, m_pGrabber->SetOneShot failed.";
constexpr char kSetCallback[] = "ERROR, m_pGrabber->SetCallback failed.";
// Not among the original texts: the grabbed type cannot be converted.
constexpr char kUnsupportedType[] = "ERROR - The grabbed video type cannot be converted.";
} // namespace media_text

// A file name in the ANSI code page as UTF-16.
std::wstring MediaAnsiToWide(const std::string& text);

// Whether the frame road can convert pictures of this subtype.
bool MediaSubtypeConvertible(const GUID& subtype);
// The subtypes the grabber keeps as they come; others are asked for as RGB24.
bool MediaSubtypeKept(const GUID& subtype);
