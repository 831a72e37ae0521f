#include "KeptScalers.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace tq {

CKeptScalers::~CKeptScalers()
{
    for (Kept& kept : m_kept)
        sws_freeContext(kept.context);
}

SwsContext* CKeptScalers::Get(int srcW, int srcH, AVPixelFormat srcFormat, int dstW, int dstH, AVPixelFormat dstFormat,
                              int swsFlags)
{
    for (int i = 0; i < 2; ++i) {
        const Kept& kept = m_kept[i];
        if (kept.context && srcW == kept.sourceWidth && srcH == kept.sourceHeight && srcFormat == kept.sourceFormat
            && dstW == kept.width && dstH == kept.height && dstFormat == kept.format && swsFlags == kept.flags) {
            m_lastUsed = i;
            return kept.context;
        }
    }
    m_lastUsed = 1 - m_lastUsed;  // the one used longer ago makes way
    Kept& kept = m_kept[m_lastUsed];
    sws_freeContext(kept.context);
    kept.context = sws_getContext(srcW, srcH, srcFormat, dstW, dstH, dstFormat, swsFlags, nullptr, nullptr, nullptr);
    kept.sourceWidth = srcW;
    kept.sourceHeight = srcH;
    kept.sourceFormat = srcFormat;
    kept.width = dstW;
    kept.height = dstH;
    kept.format = dstFormat;
    kept.flags = swsFlags;
    return kept.context;
}

} // namespace tq
