#include "XmlDocument.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <unordered_map>

namespace {

const int32_t kSegmentRecords = 65536;

bool isSpace(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
}

bool isLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

bool isDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

int hexValue(wchar_t c)
{
    if (isDigit(c))
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

bool isOneOf(wchar_t c, const wchar_t* set)
{
    return c != 0 && std::wcschr(set, c) != nullptr;
}

// Fills the "%s" and "%d" fields of a message in order.
std::wstring fill(const wchar_t* format, std::initializer_list<std::wstring> args)
{
    std::wstring out;
    auto arg = args.begin();
    for (const wchar_t* p = format; *p; ++p) {
        if (p[0] == L'%' && (p[1] == L's' || p[1] == L'd') && arg != args.end()) {
            out += *arg++;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

std::wstring num(int32_t value)
{
    return std::to_wstring(value);
}

// The C runtime's text for the current error, up to its first line break.
std::wstring errorText()
{
    std::string text = std::strerror(errno);
    std::wstring out;
    for (char c : text) {
        if (c == '\r' || c == '\n')
            break;
        out += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return out;
}

// A name matches the wanted one over its own length when the wanted one
// ends there or goes on with one of " =/[]".
bool nameMatches(const wchar_t* wanted, const wchar_t* name, size_t length)
{
    if (std::wcslen(wanted) < length || std::wcsncmp(wanted, name, length) != 0)
        return false;
    return wanted[length] == 0 || isOneOf(wanted[length], L" =/[]");
}

std::wstring cdataSection(const wchar_t* value)
{
    std::wstring out = L"<![CDATA[";
    for (const wchar_t* p = value; *p; ++p) {
        if (p[0] == L']' && p[1] == L']' && p[2] == L'>') {
            out += L"]]]]><![CDATA[>";
            p += 2;
        } else {
            out += *p;
        }
    }
    return out + L"]]>";
}

// Length of the entity reference that text (at an "&") starts, 0 if none.
size_t referenceLength(const wchar_t* text)
{
    const wchar_t* p = text + 1;
    auto startChar = [](wchar_t c) { return isLetter(c) || c == L'#' || c == L'_' || c == L':' || c >= 0x80; };
    auto nameChar = [](wchar_t c) {
        return isLetter(c) || isDigit(c) || c == L'-' || c == L':' || c == L'_' || c == L'.' || c >= 0x80;
    };
    if (!startChar(*p))
        return 0;
    ++p;
    while (nameChar(*p))
        ++p;
    return *p == L';' ? static_cast<size_t>(p - text + 1) : 0;
}

} // namespace

// Where an attribute stands inside a start tag.
struct CXmlDocument::AttributeSpot {
    bool found = false;
    bool hasValue = false;     // false: the name stands alone, without "="
    bool quoted = false;
    int32_t nameStart = 0;
    int32_t nameLength = 0;
    int32_t valueStart = 0;
    int32_t valueLength = 0;
    int32_t lastEnd = 0;       // just after the last name or value of the tag
};

CXmlDocument::CXmlDocument()
{
    parseDocument();
}

CXmlDocument::~CXmlDocument() = default;

bool CXmlDocument::Load(const CXmlStr& path)
{
    if (!path.get() || !readFileText(path.get()))
        return false;
    return parseDocument();
}

bool CXmlDocument::setDoc(const CXmlStr& text)
{
    m_text = text.get() ? text.get() : L"";
    m_resultText.clear();
    return parseDocument();
}

bool CXmlDocument::Save(const CXmlStr& path)
{
    return path.get() && writeFileText(path.get());
}

bool CXmlDocument::readFileText(const wchar_t* path)
{
    FILE* file = _wfopen(path, L"rb");
    if (!file) {
        m_resultText = errorText();
        return false;
    }
    m_text.clear();
    std::fseek(file, 0, SEEK_END);
    long size = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    std::vector<unsigned char> bytes(size > 0 ? static_cast<size_t>(size) : 0);
    size_t n = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);

    std::wstring text;
    text.reserve(n);
    size_t i = 0;
    while (i < n) {
        unsigned lead = bytes[i];
        if (lead < 0x80) {
            if (lead == 0)
                break;
            text += static_cast<wchar_t>(lead);
            ++i;
            continue;
        }
        int extra;
        uint32_t value;
        if (lead < 0xC0) {
            // A continuation byte cannot start a sequence.
            text += L'?';
            ++i;
            continue;
        }
        if (!(lead & 0x20)) {
            extra = 1;
            value = lead & 0x1F;
        } else if (!(lead & 0x10)) {
            extra = 2;
            value = lead & 0x0F;
        } else if (!(lead & 0x08)) {
            extra = 3;
            value = lead & 0x07;
        } else {
            text += L'?';
            ++i;
            continue;
        }
        if (i + extra >= n)
            break;  // a sequence cut by the end of the file ends the text
        int k = 1;
        for (; k <= extra; ++k) {
            unsigned next = bytes[i + k];
            if (!(next & 0x80))
                break;
            value = (value << 6) | (next & 0x3F);
        }
        if (k <= extra) {
            text += L'?';
            i += k;  // the byte that broke the sequence is read again
            continue;
        }
        i += extra + 1;
        if (value == 0)
            break;
        if (value > 0x10FFFF) {
            text += L'?';
        } else if (value > 0xFFFF) {
            text += static_cast<wchar_t>(0xD800 | (((value - 0x10000) >> 10) & 0x3FF));
            text += static_cast<wchar_t>(0xDC00 | (value & 0x3FF));
        } else {
            text += static_cast<wchar_t>(value);
        }
    }
    m_text.swap(text);
    m_resultText = fill(L"%s%d bytes to %d wide chars", {L"", num(static_cast<int32_t>(n)), num(static_cast<int32_t>(m_text.size()))});
    return true;
}

bool CXmlDocument::writeFileText(const wchar_t* path)
{
    FILE* file = _wfopen(path, L"wb");
    if (!file) {
        m_resultText = errorText();
        return false;
    }
    std::string bytes;
    bytes.reserve(m_text.size() + 1);
    const size_t n = m_text.size();
    for (size_t i = 0; i < n;) {
        uint32_t unit = m_text[i];
        uint32_t value;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < n && m_text[i + 1] >= 0xDC00 && m_text[i + 1] <= 0xDFFF) {
            value = (((unit & 0x3FF) << 10) | (m_text[i + 1] & 0x3FF)) + 0x10000;
            i += 2;
        } else {
            // A surrogate without its partner has no UTF-8 form.
            value = (unit >= 0xD800 && unit <= 0xDFFF) ? L'?' : unit;
            ++i;
        }
        if (value < 0x80) {
            bytes += static_cast<char>(value);
        } else if (value < 0x800) {
            bytes += static_cast<char>(0xC0 | (value >> 6));
            bytes += static_cast<char>(0x80 | (value & 0x3F));
        } else if (value < 0x10000) {
            bytes += static_cast<char>(0xE0 | (value >> 12));
            bytes += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (value & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (value >> 18));
            bytes += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (value & 0x3F));
        }
    }
    size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
    m_resultText = fill(L"%d wide chars to %s%d bytes", {num(static_cast<int32_t>(n)), L"", num(static_cast<int32_t>(bytes.size()))});
    bool ok = written == bytes.size();
    if (std::fclose(file) != 0)
        ok = false;
    if (!ok) {
        m_resultText = errorText();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- tokenizer

XmlToken CXmlDocument::nextToken(int32_t offset) const
{
    XmlToken t;
    t.start = offset;
    const wchar_t* s = m_text.c_str();
    const int32_t n = static_cast<int32_t>(m_text.size());
    if (offset >= n) {
        t.kind = kTokenEnd;
        return t;
    }

    auto finish = [&](int kind, int32_t end) {
        t.kind = kind;
        t.length = end - offset;
        return t;
    };
    auto unterminated = [&](const wchar_t* what) {
        t.text = fill(L"%s at offset %d unterminated", {what, num(offset)});
        return finish(kTokenError, n);
    };
    auto incorrect = [&](const wchar_t* what) {
        t.text = fill(L"Incorrect %s at offset %d", {what, num(offset)});
        int32_t j = offset + 1;
        while (j < n && s[j] != L'<' && s[j] != L'>')
            ++j;
        return finish(kTokenError, j < n && s[j] == L'>' ? j + 1 : j);
    };
    // First j >= from where the terminator ends (its last character is ">").
    auto findTerminator = [&](int32_t from, const wchar_t* terminator) {
        const int32_t len = static_cast<int32_t>(std::wcslen(terminator));
        for (int32_t j = from + len - 1; j < n; ++j) {
            if (s[j] == L'>' && std::wcsncmp(s + j - len + 1, terminator, len) == 0)
                return j;
        }
        return -1;
    };
    // First ">" from "from" on outside '...' or "..." (a declaration's end).
    auto findDeclarationEnd = [&](int32_t from) {
        wchar_t quote = 0;
        for (int32_t j = from; j < n; ++j) {
            if (quote) {
                if (s[j] == quote)
                    quote = 0;
            } else if (s[j] == L'"' || s[j] == L'\'') {
                quote = s[j];
            } else if (s[j] == L'>') {
                return j;
            }
        }
        return -1;
    };

    wchar_t c = s[offset];
    if (c != L'<') {
        int kind = isSpace(c) ? kTokenWhiteSpace : kTokenText;
        int32_t j = offset;
        for (; j < n && s[j] != L'<'; ++j) {
            if (!isSpace(s[j]))
                kind = kTokenText;
        }
        return finish(kind, j);
    }

    if (offset + 1 >= n)
        return unterminated(L"tag");
    c = s[offset + 1];

    if (c == L'!') {
        if (offset + 2 >= n)
            return unterminated(L"tag");
        wchar_t d = s[offset + 2];
        if (d == L'-') {
            if (offset + 3 >= n)
                return unterminated(L"tag");
            if (s[offset + 3] != L'-')
                return incorrect(L"comment tag");
            int32_t end = findTerminator(offset + 4, L"-->");
            return end < 0 ? unterminated(L"Comment") : finish(kTokenComment, end + 1);
        }
        if (d == L'[') {
            if (offset + 3 >= n)
                return unterminated(L"tag");
            if (s[offset + 3] != L'C')
                return incorrect(L"tag");
            int32_t end = findTerminator(offset + 4, L"]]>");
            return end < 0 ? unterminated(L"CDATA Section") : finish(kTokenCData, end + 1);
        }
        if (d == L'D') {
            // Nested markup ends at its own terminator without ending the DOCTYPE.
            wchar_t quote = 0;
            for (int32_t j = offset + 3; j < n; ++j) {
                if (quote) {
                    if (s[j] == quote)
                        quote = 0;
                } else if (s[j] == L'"' || s[j] == L'\'') {
                    quote = s[j];
                } else if (s[j] == L'>') {
                    return finish(kTokenDoctype, j + 1);
                } else if (s[j] == L'<') {
                    int32_t end;
                    if (j + 3 < n && s[j + 1] == L'!' && s[j + 2] == L'-' && s[j + 3] == L'-')
                        end = findTerminator(j + 4, L"-->");
                    else if (j + 1 < n && s[j + 1] == L'?')
                        end = findTerminator(j + 2, L"?>");
                    else
                        end = findDeclarationEnd(j + 1);
                    if (end < 0)
                        break;
                    j = end;
                }
            }
            return unterminated(L"Doctype");
        }
        if (d == L'E' || d == L'A' || d == L'N') {
            int32_t end = findDeclarationEnd(offset + 3);
            return end < 0 ? unterminated(L"Doctype") : finish(kTokenDoctype, end + 1);
        }
        return incorrect(L"! tag");
    }

    if (c == L'/') {
        int32_t j = offset + 2;
        while (j < n && !isSpace(s[j]) && s[j] != L'/' && s[j] != L'>')
            ++j;
        t.text.assign(s + offset + 2, j - offset - 2);
        while (j < n && s[j] != L'>')
            ++j;
        return j < n ? finish(kTokenEndTag, j + 1) : unterminated(L"Element end tag");
    }

    if (c == L'?') {
        int32_t end = findTerminator(offset + 2, L"?>");
        return end < 0 ? unterminated(L"Processing instruction") : finish(kTokenProcessing, end + 1);
    }

    if (!(isLetter(c) || c == L':' || c == L'_' || c >= 0x7B))
        return incorrect(L"tag name character");

    int32_t nameEnd = offset + 1;
    while (nameEnd < n && !isSpace(s[nameEnd]) && s[nameEnd] != L'/' && s[nameEnd] != L'>')
        ++nameEnd;
    t.text.assign(s + offset + 1, nameEnd - offset - 1);
    bool awaitingValue = false;
    wchar_t quote = 0;
    int32_t j = nameEnd;
    for (; j < n; ++j) {
        wchar_t ch = s[j];
        if (quote) {
            if (ch == quote)
                quote = 0;
            continue;
        }
        if (ch == L'>')
            break;
        if (awaitingValue) {
            if (isSpace(ch))
                continue;
            if (ch == L'"' || ch == L'\'')
                quote = ch;
            awaitingValue = false;
            continue;
        }
        if (ch == L'=')
            awaitingValue = true;
    }
    if (j >= n)
        return unterminated(L"Element tag");
    if (s[j - 1] == L'/') {
        int32_t before = j - 2;
        if (j - 1 == nameEnd || isSpace(s[before]) || s[before] == L'"' || s[before] == L'\'')
            t.flags = kTokenEmptyElement;
    }
    return finish(kTokenStartTag, j + 1);
}

// ---------------------------------------------------------------- parse

void CXmlDocument::noteError(const std::wstring& message)
{
    if (m_errorNoted)
        return;
    m_errorNoted = true;
    m_resultText = message;
}

int32_t CXmlDocument::parseElements()
{
    struct OpenTag {
        int32_t pos;
        std::wstring name;
    };
    m_resultText.clear();
    m_errorNoted = false;
    int32_t first = 0;
    std::vector<OpenTag> stack;
    stack.reserve(6);
    // Open elements per name, so a stray end tag costs no walk of the stack.
    std::unordered_map<std::wstring, int32_t> openCount;

    // Ends the open elements stack[from..] without end tags: their children
    // follow them as siblings under owner, each moved once.
    auto endUnended = [&](int32_t owner, size_t from) {
        for (size_t i = from; i < stack.size(); ++i) {
            XmlElementRecord& r = rec(stack[i].pos);
            r.flags |= kFlagNoEndTag;
            r.length = r.startTagLength;
            r.endTagLength = 0;
            int32_t child = r.firstChild;
            r.firstChild = 0;
            while (child) {
                int32_t next = rec(child).nextSibling;
                appendChild(owner, child);
                child = next;
            }
            --openCount[stack[i].name];
        }
        rec(0).flags |= kFlagUnended;
        stack.resize(from);
    };

    int32_t offset = 0;
    for (;;) {
        XmlToken t = nextToken(offset);
        if (t.kind == kTokenEnd)
            break;
        offset = t.start + t.length;
        if (t.kind == kTokenStartTag) {
            int32_t pos = allocateRecord();
            XmlElementRecord& r = rec(pos);
            r.start = t.start;
            r.startTagLength = t.length;
            r.length = t.length;
            appendChild(stack.empty() ? 0 : stack.back().pos, pos);
            rec(pos).level = static_cast<int32_t>(stack.size());
            if (!first)
                first = pos;
            if (!(t.flags & kTokenEmptyElement)) {
                ++openCount[t.text];
                stack.push_back({pos, t.text});
            }
        } else if (t.kind == kTokenEndTag) {
            auto count = openCount.find(t.text);
            if (count == openCount.end() || count->second == 0) {
                noteError(fill(L"No start tag for end tag '%s' at offset %d", {t.text, num(t.start)}));
                continue;
            }
            size_t match = stack.size() - 1;
            while (stack[match].name != t.text)
                --match;
            if (match + 1 < stack.size()) {
                noteError(fill(L"End tag '%s' at offset %d does not match start tag '%s' at offset %d",
                               {t.text, num(t.start + 1), stack.back().name, num(rec(stack.back().pos).start)}));
                endUnended(stack[match].pos, match + 1);
            }
            XmlElementRecord& r = rec(stack.back().pos);
            r.length = t.start + t.length - r.start;
            r.endTagLength = t.length;
            --openCount[t.text];
            stack.pop_back();
        } else if (t.kind == kTokenError) {
            noteError(t.text);
        }
    }
    if (!stack.empty()) {
        noteError(fill(L"Element '%s' at offset %d not ended", {stack.back().name, num(rec(stack.back().pos).start)}));
        endUnended(0, 0);
    }
    return first;
}

bool CXmlDocument::parseDocument()
{
    const std::wstring prefix = m_resultText;
    setCursor(0, 0, 0);
    m_nextFreeRecord = 1;
    m_releasedList = 0;
    sizeTable(static_cast<int32_t>(m_text.size() / 64 + 8));
    rec(0) = XmlElementRecord();
    rec(0).level = -1;

    if (m_text.empty()) {
        m_resultText = L"Empty document";
    } else {
        int32_t first = parseElements();
        rec(0).length = static_cast<int32_t>(m_text.size());
        if (!first)
            m_resultText = L"No root element";
        else if (rec(first).nextSibling)
            m_resultText = L"Root element has sibling";
    }
    if (!prefix.empty())
        m_resultText = m_resultText.empty() ? prefix : prefix + L", " + m_resultText;
    setCursor(0, 0, 0);
    const XmlElementRecord& doc = rec(0);
    return !(doc.flags & kFlagUnended) && doc.firstChild && !rec(doc.firstChild).nextSibling;
}

// ---------------------------------------------------------------- records

void CXmlDocument::sizeTable(int32_t records)
{
    m_segments.clear();
    for (int32_t left = records; left > 0; left -= kSegmentRecords)
        m_segments.emplace_back(left < kSegmentRecords ? left : kSegmentRecords);
    m_allocatedRecords = records;
}

int32_t CXmlDocument::allocateRecord()
{
    if (m_nextFreeRecord >= m_allocatedRecords) {
        int32_t target = m_nextFreeRecord + m_nextFreeRecord / 2 + 1;
        const int32_t segmentStart = static_cast<int32_t>(m_segments.size() - 1) * kSegmentRecords;
        const int32_t segmentEnd = segmentStart + kSegmentRecords;
        if (target <= segmentEnd) {
            m_segments.back().resize(target - segmentStart);
        } else {
            // Fill the last segment and add at most one new one.
            m_segments.back().resize(kSegmentRecords);
            if (target > segmentEnd + kSegmentRecords)
                target = segmentEnd + kSegmentRecords;
            m_segments.emplace_back(target - segmentEnd);
        }
        m_allocatedRecords = target;
    }
    rec(m_nextFreeRecord) = XmlElementRecord();
    return m_nextFreeRecord++;
}

XmlElementRecord& CXmlDocument::rec(int32_t pos)
{
    return m_segments[pos >> 16][pos & 0xFFFF];
}

const XmlElementRecord& CXmlDocument::rec(int32_t pos) const
{
    return m_segments[pos >> 16][pos & 0xFFFF];
}

bool CXmlDocument::isLive(int32_t pos) const
{
    return pos >= 0 && pos < m_nextFreeRecord && !(rec(pos).flags & kFlagReleased);
}

bool CXmlDocument::getRecord(int32_t pos, XmlElementRecord& record) const
{
    if (!isLive(pos))
        return false;
    record = rec(pos);
    return true;
}

void CXmlDocument::appendChild(int32_t parent, int32_t child)
{
    XmlElementRecord& c = rec(child);
    XmlElementRecord& p = rec(parent);
    c.parent = parent;
    c.nextSibling = 0;
    c.level = p.level + 1;
    if (!p.firstChild) {
        p.firstChild = child;
        c.flags |= kFlagFirstChild;
        c.prevSibling = child;
        return;
    }
    XmlElementRecord& first = rec(p.firstChild);
    const int32_t last = first.prevSibling;
    rec(last).nextSibling = child;
    c.prevSibling = last;
    c.flags &= ~kFlagFirstChild;
    first.prevSibling = child;
}

void CXmlDocument::linkAfter(int32_t parent, int32_t reference, int32_t child)
{
    if (!reference) {
        appendChild(parent, child);
        return;
    }
    XmlElementRecord& c = rec(child);
    XmlElementRecord& ref = rec(reference);
    c.parent = parent;
    c.prevSibling = reference;
    c.nextSibling = ref.nextSibling;
    c.flags &= ~kFlagFirstChild;
    if (ref.nextSibling)
        rec(ref.nextSibling).prevSibling = child;
    else
        rec(rec(parent).firstChild).prevSibling = child;
    ref.nextSibling = child;
}

void CXmlDocument::unlink(int32_t pos)
{
    XmlElementRecord& r = rec(pos);
    XmlElementRecord& parent = rec(r.parent);
    if (parent.firstChild == pos) {
        parent.firstChild = r.nextSibling;
        if (r.nextSibling) {
            XmlElementRecord& next = rec(r.nextSibling);
            next.flags |= kFlagFirstChild;
            next.prevSibling = r.prevSibling;  // the last child
        }
    } else {
        rec(r.prevSibling).nextSibling = r.nextSibling;
        if (r.nextSibling)
            rec(r.nextSibling).prevSibling = r.prevSibling;
        else
            rec(parent.firstChild).prevSibling = r.prevSibling;
    }
}

void CXmlDocument::shiftSubtree(int32_t root, int32_t delta)
{
    int32_t p = root;
    for (;;) {
        rec(p).start += delta;
        if (rec(p).firstChild) {
            p = rec(p).firstChild;
            continue;
        }
        while (p != root && !rec(p).nextSibling)
            p = rec(p).parent;
        if (p == root)
            return;
        p = rec(p).nextSibling;
    }
}

void CXmlDocument::shiftPositions(int32_t pos, int32_t delta, bool removed)
{
    if (!removed) {
        for (int32_t c = rec(pos).firstChild; c; c = rec(c).nextSibling)
            shiftSubtree(c, delta);
    }
    for (int32_t p = pos; p != 0; p = rec(p).parent) {
        for (int32_t s = rec(p).nextSibling; s; s = rec(s).nextSibling)
            shiftSubtree(s, delta);
        rec(rec(p).parent).length += delta;
    }
}

void CXmlDocument::releaseSubtree(int32_t root)
{
    std::vector<int32_t> all;
    int32_t p = root;
    for (;;) {
        all.push_back(p);
        if (rec(p).firstChild) {
            p = rec(p).firstChild;
            continue;
        }
        while (p != root && !rec(p).nextSibling)
            p = rec(p).parent;
        if (p == root)
            break;
        p = rec(p).nextSibling;
    }
    for (int32_t pos : all) {
        XmlElementRecord& r = rec(pos);
        r.flags = kFlagReleased;
        r.nextSibling = m_releasedList;
        m_releasedList = pos;
    }
}

void CXmlDocument::replaceText(int32_t offset, int32_t oldLength, const std::wstring& replacement)
{
    const size_t needed = m_text.size() - oldLength + replacement.size();
    if (needed > m_text.capacity())
        m_text.reserve(needed * 3 / 2 + 128);
    m_text.replace(offset, oldLength, replacement);
}

void CXmlDocument::setCursor(int32_t parent, int32_t current, int32_t child)
{
    m_parentPos = parent;
    m_currentPos = current;
    m_childPos = child;
    m_currentKind = current ? 1 : 0;
}

// ---------------------------------------------------------------- navigation

int32_t CXmlDocument::tagNameEnd(int32_t pos, int32_t* nameStart) const
{
    const wchar_t* s = m_text.c_str();
    const int32_t n = static_cast<int32_t>(m_text.size());
    int32_t i = rec(pos).start + 1;
    while (i < n && isSpace(s[i]))
        ++i;
    *nameStart = i;
    while (i < n && !isOneOf(s[i], L" \t\n\r<>=\\/?!"))
        ++i;
    return i;
}

std::wstring CXmlDocument::getTagName(int32_t pos) const
{
    if (!pos || !isLive(pos))
        return std::wstring();
    int32_t start;
    int32_t end = tagNameEnd(pos, &start);
    return m_text.substr(start, end - start);
}

bool CXmlDocument::tagNameMatches(int32_t pos, const wchar_t* name) const
{
    int32_t start;
    int32_t end = tagNameEnd(pos, &start);
    return nameMatches(name, m_text.c_str() + start, end - start);
}

bool CXmlDocument::findElement(const CXmlStr& name)
{
    if (m_segments.empty())
        return false;
    int32_t p = m_currentPos ? rec(m_currentPos).nextSibling : rec(m_parentPos).firstChild;
    if (!name.isEmpty()) {
        while (p && !tagNameMatches(p, name.get()))
            p = rec(p).nextSibling;
    }
    if (!p)
        return false;
    setCursor(m_parentPos, p, 0);
    return true;
}

bool CXmlDocument::enterElement()
{
    if (!m_currentPos)
        return false;
    setCursor(m_currentPos, m_childPos, 0);
    return true;
}

bool CXmlDocument::leaveElement()
{
    if (!m_parentPos)
        return false;
    setCursor(rec(m_parentPos).parent, m_parentPos, m_currentPos);
    return true;
}

// ---------------------------------------------------------------- attributes

// Scans the start tag of pos for the attribute name; never reads past the tag.
bool CXmlDocument::scanAttribute(int32_t pos, const wchar_t* name, AttributeSpot& spot) const
{
    const wchar_t* s = m_text.c_str();
    const XmlElementRecord& r = rec(pos);
    const int32_t limit = r.start + r.startTagLength;
    int32_t nameStart;
    int32_t i = tagNameEnd(pos, &nameStart);
    spot = AttributeSpot();
    spot.lastEnd = i;
    bool afterEquals = false;
    bool pending = false;  // the last name read is the wanted one

    auto takeNameAlone = [&]() {
        spot.found = true;
        spot.valueStart = spot.nameStart;
        spot.valueLength = spot.nameLength;
        return true;
    };

    for (;;) {
        while (i < limit && isSpace(s[i]))
            ++i;
        if (i >= limit)
            break;
        wchar_t c = s[i];
        if (c == L'"' || c == L'\'') {
            int32_t close = i + 1;
            while (close < limit && s[close] != c)
                ++close;
            if (close >= limit)
                break;
            if (pending && afterEquals) {
                spot.found = spot.hasValue = spot.quoted = true;
                spot.valueStart = i + 1;
                spot.valueLength = close - i - 1;
                return true;
            }
            if (pending)
                return takeNameAlone();
            afterEquals = false;
            i = close + 1;
            spot.lastEnd = i;
            continue;
        }
        if (c == L'>' || (!afterEquals && (c == L'/' || c == L'?')))
            break;
        if (c == L'=' && !afterEquals) {
            afterEquals = true;
            ++i;
            continue;
        }
        const wchar_t* stops = afterEquals ? L" \t\n\r>" : L"= \t\n\r>/?";
        int32_t end = i;
        while (end < limit && !isOneOf(s[end], stops))
            ++end;
        if (afterEquals) {
            if (pending) {
                spot.found = spot.hasValue = true;
                spot.valueStart = i;
                spot.valueLength = end - i;
                return true;
            }
            afterEquals = false;
        } else {
            if (pending)
                return takeNameAlone();
            if (nameMatches(name, s + i, end - i)) {
                pending = true;
                spot.nameStart = i;
                spot.nameLength = end - i;
            }
        }
        i = end;
        spot.lastEnd = i;
    }
    if (pending)
        return takeNameAlone();
    return false;
}

std::wstring CXmlDocument::getAttribute(const CXmlStr& name) const
{
    return getAttributeAt(m_currentPos, name);
}

std::wstring CXmlDocument::getAttributeAt(int32_t pos, const CXmlStr& name) const
{
    if (!pos || !m_currentKind || !isLive(pos) || !name.get())
        return std::wstring();
    AttributeSpot spot;
    if (!scanAttribute(pos, name.get(), spot))
        return std::wstring();
    return unescapeText(m_text.c_str() + spot.valueStart, spot.valueLength);
}

bool CXmlDocument::setAttributeAt(int32_t pos, const CXmlStr& name, const CXmlStr& value)
{
    if (!pos || !m_currentKind || !isLive(pos) || name.isEmpty())
        return false;
    const std::wstring quoted = L"\"" + escapeText(value, kEscapeQuotes) + L"\"";
    AttributeSpot spot;
    int32_t offset;
    int32_t oldLength = 0;
    std::wstring replacement;
    if (scanAttribute(pos, name.get(), spot)) {
        if (spot.hasValue) {
            offset = spot.quoted ? spot.valueStart - 1 : spot.valueStart;
            oldLength = spot.quoted ? spot.valueLength + 2 : spot.valueLength;
            replacement = quoted;
        } else {
            // A name standing alone gets its value after it.
            offset = spot.nameStart + spot.nameLength;
            replacement = L"=" + quoted;
        }
    } else {
        offset = spot.lastEnd;
        replacement = L" " + std::wstring(name.get()) + L"=" + quoted;
    }
    replaceText(offset, oldLength, replacement);
    const int32_t delta = static_cast<int32_t>(replacement.size()) - oldLength;
    XmlElementRecord& r = rec(pos);
    r.length += delta;
    r.startTagLength += delta;
    shiftPositions(pos, delta, false);
    return true;
}

// ---------------------------------------------------------------- edits

bool CXmlDocument::addElement(const CXmlStr& name, const CXmlStr& value, int flags)
{
    const bool asChild = (flags & kAddAsChild) != 0;
    const bool hasValue = !value.isEmpty();
    if (name.isEmpty() || (asChild && !m_currentPos) || ((flags & kAddNoEndTag) && hasValue))
        return false;

    const int32_t parent = asChild ? m_currentPos : m_parentPos;
    const int32_t reference = asChild ? m_childPos : m_currentPos;
    const std::wstring tag = name.get();
    const int32_t nameLength = static_cast<int32_t>(tag.size());

    std::wstring element;
    int32_t startTagLength;
    int32_t endTagLength = 0;
    uint32_t elementFlags = 0;
    if (hasValue) {
        std::wstring body = (flags & kAddCData) ? cdataSection(value.get()) : escapeText(value, flags);
        element = L"<" + tag + L">" + body + L"</" + tag + L">";
        startTagLength = nameLength + 2;
        endTagLength = nameLength + 3;
    } else if (flags & kAddNoEndTag) {
        element = L"<" + tag + L">";
        startTagLength = nameLength + 2;
        elementFlags = kFlagNoEndTag;
    } else if (flags & kAddSpacedEmpty) {
        element = L"<" + tag + L" />";
        startTagLength = nameLength + 4;
    } else {
        element = L"<" + tag + L"/>";
        startTagLength = nameLength + 3;
    }
    const int32_t elementLength = static_cast<int32_t>(element.size());
    element += L"\r\n";

    const XmlElementRecord p = rec(parent);
    const int32_t n = static_cast<int32_t>(m_text.size());
    int32_t offset;
    int32_t oldLength = 0;
    int32_t newStart;
    std::wstring insert;
    if (parent != 0 && p.length == p.startTagLength && p.endTagLength == 0) {
        // The parent has neither content nor end tag: give it both.
        const std::wstring parentName = getTagName(parent);
        const std::wstring tail = L"\r\n" + element + L"</" + parentName + L">";
        const int32_t slash = p.start + p.startTagLength - 2;
        if (!(p.flags & kFlagNoEndTag) && slash > p.start && m_text[slash] == L'/') {
            // "<p/>" becomes "<p>" + content + "</p>".
            offset = slash;
            oldLength = 2;
            insert = L">" + tail;
            newStart = slash + 3;
            rec(parent).startTagLength -= 1;
        } else {
            offset = p.start + p.startTagLength;
            insert = tail;
            newStart = offset + 2;
        }
        rec(parent).flags &= ~kFlagNoEndTag;
        rec(parent).endTagLength = static_cast<int32_t>(parentName.size()) + 3;
    } else if (!reference && p.endTagLength > 0 && p.length == p.startTagLength + p.endTagLength) {
        offset = p.start + p.startTagLength;
        insert = L"\r\n" + element;
        newStart = offset + 2;
    } else {
        offset = reference ? rec(reference).start + rec(reference).length : p.start + p.length - p.endTagLength;
        int32_t j = offset;
        while (j < n && isSpace(m_text[j]))
            ++j;
        if (j == n || m_text[j] == L'<')
            offset = j;
        insert = element;
        newStart = offset;
    }

    replaceText(offset, oldLength, insert);
    const int32_t pos = allocateRecord();
    XmlElementRecord& r = rec(pos);
    r.start = newStart;
    r.length = elementLength;
    r.startTagLength = startTagLength;
    r.endTagLength = endTagLength;
    r.flags = elementFlags;
    linkAfter(parent, reference, pos);
    rec(pos).level = rec(parent).level + 1;
    shiftPositions(pos, static_cast<int32_t>(insert.size()) - oldLength, false);

    if (asChild)
        setCursor(m_parentPos, m_currentPos, pos);
    else
        setCursor(m_parentPos, pos, 0);
    return true;
}

bool CXmlDocument::removeElement()
{
    if (!m_currentPos)
        return false;
    const int32_t pos = m_currentPos;
    const XmlElementRecord r = rec(pos);
    const int32_t n = static_cast<int32_t>(m_text.size());
    int32_t end = r.start + r.length;
    int32_t j = end;
    while (j < n && isSpace(m_text[j]))
        ++j;
    if (j == n || m_text[j] == L'<')
        end = j;
    const int32_t removed = end - r.start;

    shiftPositions(pos, -removed, true);
    const int32_t previous = rec(r.parent).firstChild == pos ? 0 : r.prevSibling;
    unlink(pos);
    m_text.erase(r.start, removed);
    releaseSubtree(pos);
    setCursor(m_parentPos, previous, 0);
    return true;
}

// ---------------------------------------------------------------- escaping

std::wstring CXmlDocument::escapeText(const CXmlStr& text, int flags)
{
    std::wstring out;
    if (!text.get())
        return out;
    const wchar_t* s = text.get();
    const size_t n = std::wcslen(s);
    out.reserve(n + n / 10 + 7);
    for (size_t i = 0; i < n; ++i) {
        wchar_t c = s[i];
        switch (c) {
        case L'<': out += L"&lt;"; break;
        case L'>': out += L"&gt;"; break;
        case L'&': {
            size_t reference = (flags & kKeepEntities) ? referenceLength(s + i) : 0;
            if (reference) {
                out.append(s + i, reference);
                i += reference - 1;
            } else {
                out += L"&amp;";
            }
            break;
        }
        case L'\'':
            if (flags & kEscapeQuotes)
                out += L"&apos;";
            else
                out += c;
            break;
        case L'"':
            if (flags & kEscapeQuotes)
                out += L"&quot;";
            else
                out += c;
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::wstring CXmlDocument::unescapeText(const wchar_t* text, int length)
{
    std::wstring out;
    if (!text)
        return out;
    const size_t n = length < 0 ? std::wcslen(text) : static_cast<size_t>(length);
    out.reserve(n);
    static const struct {
        const wchar_t* name;
        wchar_t character;
    } kNamed[] = {{L"lt", L'<'}, {L"amp", L'&'}, {L"gt", L'>'}, {L"apos", L'\''}, {L"quot", L'"'}};

    size_t i = 0;
    while (i < n) {
        if (text[i] != L'&') {
            out += text[i++];
            continue;
        }
        bool replaced = false;
        for (const auto& entity : kNamed) {
            const size_t len = std::wcslen(entity.name);
            if (i + len + 2 <= n && std::wcsncmp(text + i + 1, entity.name, len) == 0 && text[i + 1 + len] == L';') {
                out += entity.character;
                i += len + 2;
                replaced = true;
                break;
            }
        }
        if (replaced)
            continue;
        if (i + 1 < n && text[i + 1] == L'#') {
            const bool hex = i + 2 < n && text[i + 2] == L'x';
            const size_t digits = i + 2 + (hex ? 1 : 0);
            size_t j = digits;
            uint32_t value = 0;
            while (j < n && j <= i + 9 && (hex ? hexValue(text[j]) >= 0 : isDigit(text[j]))) {
                value = value * (hex ? 16 : 10) + (hex ? hexValue(text[j]) : text[j] - L'0');
                ++j;
            }
            // ";" within 7 characters of "&#"; 0 and values beyond Unicode are no reference.
            if (j > digits && j < n && j <= i + 9 && text[j] == L';' && value != 0 && value <= 0x10FFFF) {
                if (value > 0xFFFF) {
                    out += static_cast<wchar_t>(0xD800 | ((value - 0x10000) >> 10));
                    out += static_cast<wchar_t>(0xDC00 | (value & 0x3FF));
                } else {
                    out += static_cast<wchar_t>(value);
                }
                i = j + 1;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}
