// The model under the single-line edit: UTF-16 units in format runs, the
// cursor and the selection anchor, a length limit, and validators asked
// about every inserted or removed unit.
#pragma once

#include "KqClassInfo.h"
#include "KqContainers.h"
#include "KqString.h"

#include <cstdint>

class KqCharFormat;
class KqDocumentValidater;
class KqTextDocument;
class KqTextFormat;

class KqTextCursor : public KqRttiObject {
    KQ_DECLARE_CLASS(KqTextCursor)
public:
    explicit KqTextCursor(KqTextDocument* document = nullptr) : m_document(document) {}
    int position() const { return m_position; }
    // Every move ends inside [0, length].
    void setPosition(int position);
    void moveToStart() { setPosition(0); }
    void moveToEnd();
    void moveLeft(int n = 1) { setPosition(m_position - n); }
    void moveRight(int n = 1) { setPosition(m_position + n); }
    void wordLeft(int n = 1);
    void wordRight(int n = 1);
    void startOfLine();
    void endOfLine();
    void lineUp();
    void lineDown();

private:
    int length() const;
    bool isSpaceAt(int i) const;
    KqTextDocument* m_document;
    int32_t m_position = 0;
};

class KqTextDocument : public KqRttiObject {
    KQ_DECLARE_CLASS(KqTextDocument)
public:
    static const int32_t kDefaultMaxLength = 0x10000;
    KqTextDocument();
    ~KqTextDocument() override;

    int length() const { return m_text.count(); }
    KqChar charAt(int index) const { return index >= 0 && index < length() ? m_text.at(index) : KqChar(0); }
    KqString text() const;
    KqString textRange(int start, int end) const;
    const KqChar* units() const { return m_text.constData(); }
    // Position -1 appends. False when refused (the text is then unchanged).
    bool insertChar(KqChar unit, int position = -1);
    bool appendChar(KqChar unit) { return insertChar(unit, -1); }
    // Stops at the first refused unit; answers how many went in.
    int insertText(const KqString& text, int position = -1);
    int appendText(const KqString& text) { return insertText(text, -1); }
    bool removeChar(int index);
    void clear();

    // Takes ownership; the validator learns the document and resets.
    void addValidator(KqDocumentValidater* validator);
    int validatorCount() const { return m_validators.count(); }
    void setValidatorsSuspended(bool on) { m_validatorsSuspended = on; }
    int32_t maxLength() const { return m_maxLength; }
    // 0 or less: no limit.
    void setMaxLength(int32_t maxLength) { m_maxLength = maxLength; }

    KqTextCursor& cursor() { return m_cursor; }
    KqTextCursor& anchor() { return m_anchor; }
    const KqTextCursor& cursor() const { return m_cursor; }
    const KqTextCursor& anchor() const { return m_anchor; }

    // Runs: the last run starting at or before the position; -1 without runs.
    int runIndexAt(int position) const;
    int runCount() const { return m_runStarts.count(); }
    int runStart(int run) const { return m_runStarts.at(run); }
    int runEnd(int run) const { return run + 1 < m_runStarts.count() ? m_runStarts.at(run + 1) : length(); }
    KqCharFormat* runFormat(int run) const;
    KqCharFormat* charFormat(int index) const { return index >= 0 && index < m_charFormats.count() ? m_charFormats.at(index) : nullptr; }

private:
    bool askValidators(uint32_t kind, uint32_t phase, KqChar unit, int position, bool obeyRefusals);
    void insertUnit(KqChar unit, int position);
    void removeUnit(int index);

    KqVector<KqChar> m_text;
    KqVector<int32_t> m_runStarts;
    KqVector<int32_t> m_runFormats;
    KqVector<KqCharFormat*> m_charFormats;
    KqVector<KqTextFormat*> m_textFormats;
    KqTextCursor m_cursor{this};
    KqTextCursor m_anchor{this};
    int32_t m_maxLength = kDefaultMaxLength;
    KqVector<KqDocumentValidater*> m_validators;
    bool m_validatorsSuspended = false;
};
