// One XML document held as a single UTF-16 text plus a tree of element
// records that point into it by character offsets. Edits change the text in
// place and shift the records behind them, so the text is always the
// document's true form and saving writes it back as it stands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Light carrier of a NUL-terminated wide string argument (null allowed).
class CXmlStr {
public:
    CXmlStr(const wchar_t* text) : m_text(text) {}
    CXmlStr(const std::wstring& text) : m_text(text.c_str()) {}
    const wchar_t* get() const { return m_text; }
    bool isEmpty() const { return !m_text || !*m_text; }
private:
    const wchar_t* m_text;
};

// Element record. Tag lengths and the nesting level have words of their own
// so that no length a document can hold overflows them.
struct XmlElementRecord {
    int32_t start = 0;           // offset of the element's "<"
    int32_t length = 0;          // to the end of the end tag (or of the start tag without one)
    int32_t startTagLength = 0;
    int32_t endTagLength = 0;    // 0 when the element has no end tag
    uint32_t flags = 0;
    int32_t level = 0;           // root element 0, its children 1
    int32_t parent = 0;
    int32_t firstChild = 0;
    int32_t nextSibling = 0;
    int32_t prevSibling = 0;     // on the first child: the last child
};

// Parse token.
struct XmlToken {
    int kind = -2;
    int32_t start = 0;
    int32_t length = 0;
    uint32_t flags = 0;          // kTokenEmptyElement
    std::wstring text;           // tag name of start tags, message of errors
};

class CXmlDocument {
public:
    // Record flags.
    static constexpr uint32_t kFlagFirstChild = 0x80000;
    static constexpr uint32_t kFlagNoEndTag   = 0x100000;
    static constexpr uint32_t kFlagReleased   = 0x20000;
    static constexpr uint32_t kFlagUnended    = 0x800000;

    // Token kinds and flag.
    enum TokenKind {
        kTokenEndTag = 0, kTokenStartTag = 1, kTokenText = 2, kTokenWhiteSpace = 4,
        kTokenCData = 8, kTokenProcessing = 16, kTokenComment = 32, kTokenDoctype = 64,
        kTokenError = -1, kTokenEnd = -2
    };
    static constexpr uint32_t kTokenEmptyElement = 0x10000;

    // addElement flags.
    static constexpr int kAddAsChild     = 0x4000;
    static constexpr int kAddCData       = 1;
    static constexpr int kAddSpacedEmpty = 4;
    static constexpr int kAddNoEndTag    = 0x10;
    static constexpr int kKeepEntities   = 8;
    // escapeText flag: quotes too (attribute values).
    static constexpr int kEscapeQuotes   = 0x100;

    CXmlDocument();
    ~CXmlDocument();
    CXmlDocument(const CXmlDocument&) = delete;
    CXmlDocument& operator=(const CXmlDocument&) = delete;

    bool Load(const CXmlStr& path);
    bool setDoc(const CXmlStr& text);
    bool Save(const CXmlStr& path);

    bool findElement(const CXmlStr& name);
    bool enterElement();
    bool leaveElement();

    std::wstring getAttribute(const CXmlStr& name) const;
    std::wstring getAttributeAt(int32_t pos, const CXmlStr& name) const;
    bool setAttributeAt(int32_t pos, const CXmlStr& name, const CXmlStr& value);

    bool addElement(const CXmlStr& name, const CXmlStr& value, int flags);
    bool removeElement();

    static std::wstring escapeText(const CXmlStr& text, int flags);
    static std::wstring unescapeText(const wchar_t* text, int length);

    const std::wstring& text() const { return m_text; }
    const std::wstring& resultText() const { return m_resultText; }
    int32_t parentPos() const { return m_parentPos; }
    int32_t currentPos() const { return m_currentPos; }
    int32_t childPos() const { return m_childPos; }
    // Copy of a live record (position 0 is the document); false for any other position.
    bool getRecord(int32_t pos, XmlElementRecord& record) const;
    // The element's tag name as it stands in its start tag.
    std::wstring getTagName(int32_t pos) const;

    // The tokenizer, exposed for the parse's own tests.
    XmlToken nextToken(int32_t offset) const;

private:
    struct AttributeSpot;

    bool readFileText(const wchar_t* path);
    bool writeFileText(const wchar_t* path);
    bool parseDocument();
    int32_t parseElements();
    void noteError(const std::wstring& message);

    bool scanAttribute(int32_t pos, const wchar_t* name, AttributeSpot& spot) const;
    int32_t tagNameEnd(int32_t pos, int32_t* nameStart) const;
    bool tagNameMatches(int32_t pos, const wchar_t* name) const;

    int32_t allocateRecord();
    void sizeTable(int32_t records);
    XmlElementRecord& rec(int32_t pos);
    const XmlElementRecord& rec(int32_t pos) const;
    bool isLive(int32_t pos) const;
    void appendChild(int32_t parent, int32_t child);
    void linkAfter(int32_t parent, int32_t reference, int32_t child);
    void unlink(int32_t pos);
    void shiftPositions(int32_t pos, int32_t delta, bool removed);
    void shiftSubtree(int32_t pos, int32_t delta);
    void releaseSubtree(int32_t pos);
    void replaceText(int32_t offset, int32_t oldLength, const std::wstring& replacement);
    void setCursor(int32_t parent, int32_t current, int32_t child);

    std::wstring m_text;
    std::wstring m_resultText;
    int32_t m_parentPos = 0;
    int32_t m_currentPos = 0;
    int32_t m_childPos = 0;
    int32_t m_nextFreeRecord = 1;
    int32_t m_releasedList = 0;
    uint32_t m_currentKind = 0;
    // Segments of up to 65,536 records; a position's high 16 bits pick the segment.
    std::vector<std::vector<XmlElementRecord>> m_segments;
    int32_t m_allocatedRecords = 0;
    bool m_errorNoted = false;
};
