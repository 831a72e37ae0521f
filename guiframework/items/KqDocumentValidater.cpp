#include "KqDocumentValidater.h"

#include "KqTextDocument.h"

KQ_DEFINE_CLASS(KqDocumentValidater, KqRttiObject, 'DVER', &kqMakeInstance<KqDocumentValidater>)
KQ_DEFINE_CLASS(KqNumWidthDocValidater, KqDocumentValidater, 'NDVR', &kqMakeInstance<KqNumWidthDocValidater>)

KqNumWidthDocValidater::KqNumWidthDocValidater(int32_t maximumWidth) : m_maximum(maximumWidth)
{
    enabled = true;
    kinds = Insertions | Removals;
    phases = Before;
}

bool KqNumWidthDocValidater::reset()
{
    m_total = 0;
    if (KqTextDocument* d = document()) {
        for (int i = 0; i < d->length(); ++i)
            m_total += unitWidth(d->charAt(i));
    }
    return true;
}

bool KqNumWidthDocValidater::validateInsert(uint16_t unit, int)
{
    if (int64_t(m_total) + unitWidth(unit) > m_maximum)
        return false;
    m_total += unitWidth(unit);
    return true;
}

bool KqNumWidthDocValidater::validateRemove(uint16_t unit, int)
{
    m_total -= unitWidth(unit);
    return true;
}
