// The LAV stand-ins of TestMediaFilters.cpp, for the COM server's class table.
#pragma once

#include "TestFilterBase.h"

const CLSID& LavSourceClsid();
const CLSID& LavVideoDecoderClsid();
const CLSID& LavAudioDecoderClsid();

IBaseFilter* MakeRawAviSource();
IBaseFilter* MakeRawVideoDecoder();
IBaseFilter* MakePcmDecoder();
