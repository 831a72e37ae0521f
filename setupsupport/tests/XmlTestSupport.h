// Helpers of the XML document tests: files in the test's working folder and
// checks of the element tree against the text.
#pragma once

#include "XmlDocument.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace xmltest {

// The fixtures are copied beside the test's working folder by the build.
inline std::wstring Fixture(const wchar_t* name)
{
    return std::wstring(L"fixtures\\") + name;
}

inline std::string ReadBytes(const std::wstring& path)
{
    std::string bytes;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.append(buffer, n);
        std::fclose(f);
    }
    return bytes;
}

inline void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    FILE* f = _wfopen(path.c_str(), L"wb");
    ASSERT_TRUE(f != nullptr);
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

inline std::vector<int32_t> Children(const CXmlDocument& doc, int32_t pos)
{
    std::vector<int32_t> children;
    XmlElementRecord r;
    if (!doc.getRecord(pos, r))
        return children;
    for (int32_t c = r.firstChild; c;) {
        children.push_back(c);
        XmlElementRecord cr;
        if (!doc.getRecord(c, cr) || children.size() > 10000000)
            break;
        c = cr.nextSibling;
    }
    return children;
}

// Every live record of the tree agrees with the text and with its links:
// inside its parent's content, after its previous sibling, starting at "<".
inline void CheckTree(const CXmlDocument& doc)
{
    const std::wstring& text = doc.text();
    XmlElementRecord root;
    ASSERT_TRUE(doc.getRecord(0, root));
    ASSERT_EQ(static_cast<int32_t>(text.size()), root.length);
    std::vector<int32_t> todo{0};
    size_t visited = 0;
    while (!todo.empty()) {
        int32_t pos = todo.back();
        todo.pop_back();
        ASSERT_LT(++visited, 10000000u) << "cycle in the tree";
        XmlElementRecord p;
        ASSERT_TRUE(doc.getRecord(pos, p));
        std::vector<int32_t> children = Children(doc, pos);
        int32_t contentStart = p.start + p.startTagLength;
        const int32_t contentEnd = p.start + p.length - p.endTagLength;
        int32_t previous = children.empty() ? 0 : children.back();
        for (size_t i = 0; i < children.size(); ++i) {
            XmlElementRecord c;
            ASSERT_TRUE(doc.getRecord(children[i], c));
            EXPECT_EQ(pos, c.parent);
            EXPECT_EQ(i == 0, (c.flags & CXmlDocument::kFlagFirstChild) != 0);
            EXPECT_EQ(previous, c.prevSibling);
            previous = children[i];
            ASSERT_GE(c.start, contentStart);
            ASSERT_LE(c.start + c.length, contentEnd);
            ASSERT_EQ(L'<', text[c.start]);
            ASSERT_GT(c.startTagLength, 0);
            ASSERT_LE(c.startTagLength + c.endTagLength, c.length);
            EXPECT_EQ(L'>', text[c.start + c.startTagLength - 1]);
            if (c.endTagLength) {
                EXPECT_EQ(0, text.compare(c.start + c.length - c.endTagLength, 2, L"</"));
            }
            contentStart = c.start + c.length;
            todo.push_back(children[i]);
        }
    }
}

// Two documents have the same tree: same shape, starts and lengths.
inline void ExpectSameTree(const CXmlDocument& a, const CXmlDocument& b)
{
    std::vector<std::pair<int32_t, int32_t>> todo{{0, 0}};
    while (!todo.empty()) {
        auto [pa, pb] = todo.back();
        todo.pop_back();
        XmlElementRecord ra, rb;
        ASSERT_TRUE(a.getRecord(pa, ra));
        ASSERT_TRUE(b.getRecord(pb, rb));
        EXPECT_EQ(rb.start, ra.start);
        EXPECT_EQ(rb.length, ra.length);
        EXPECT_EQ(rb.startTagLength, ra.startTagLength);
        EXPECT_EQ(rb.endTagLength, ra.endTagLength);
        EXPECT_EQ(rb.flags & CXmlDocument::kFlagNoEndTag, ra.flags & CXmlDocument::kFlagNoEndTag);
        std::vector<int32_t> ca = Children(a, pa), cb = Children(b, pb);
        ASSERT_EQ(cb.size(), ca.size()) << "children of the element at " << ra.start;
        for (size_t i = 0; i < ca.size(); ++i)
            todo.push_back({ca[i], cb[i]});
    }
}

// After edits the records must be what a fresh parse of the text gives.
inline void ExpectMatchesFreshParse(const CXmlDocument& doc)
{
    CheckTree(doc);
    CXmlDocument fresh;
    fresh.setDoc(doc.text());
    ExpectSameTree(doc, fresh);
}

} // namespace xmltest
