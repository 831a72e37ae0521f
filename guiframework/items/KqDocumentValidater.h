// Validators a text document asks before or after each inserted or removed
// unit: one may refuse the change or just observe it.
#pragma once

#include "KqClassInfo.h"

#include <cstdint>

class KqTextDocument;

class KqDocumentValidater : public KqRttiObject {
    KQ_DECLARE_CLASS(KqDocumentValidater)
public:
    enum Kind : uint32_t { Insertions = 1, Removals = 2 };
    enum Phase : uint32_t { Before = 1, After = 2 };
    KqDocumentValidater() = default;
    // Recomputes whatever the validator keeps from the whole document.
    virtual bool reset() { return false; }
    virtual bool validateInsert(uint16_t unit, int position) { (void)unit; (void)position; return true; }
    virtual bool validateRemove(uint16_t unit, int position) { (void)unit; (void)position; return true; }

    KqTextDocument* document() const { return m_document; }
    void setDocument(KqTextDocument* document) { m_document = document; }
    uint32_t kinds = 0;
    uint32_t phases = Before;
    bool enabled = false;
    bool handles(uint32_t kind, uint32_t phase) const { return enabled && (kinds & kind) && (phases & phase); }

private:
    KqTextDocument* m_document = nullptr;
};

// Limits the text's width: units below 256 count 1, others 2.
class KqNumWidthDocValidater : public KqDocumentValidater {
    KQ_DECLARE_CLASS(KqNumWidthDocValidater)
public:
    explicit KqNumWidthDocValidater(int32_t maximumWidth = 0);
    static int32_t unitWidth(uint16_t unit) { return unit < 256 ? 1 : 2; }
    bool reset() override;
    bool validateInsert(uint16_t unit, int position) override;
    bool validateRemove(uint16_t unit, int position) override;
    int32_t totalWidth() const { return m_total; }
    int32_t maximumWidth() const { return m_maximum; }

private:
    int32_t m_total = 0;
    int32_t m_maximum;
};
