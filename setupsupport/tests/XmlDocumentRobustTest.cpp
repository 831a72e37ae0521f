// Damaged and hostile input: every document either parses or says why, the
// tree always agrees with the text, and reading and editing never crash.
#include "XmlDocument.h"
#include "XmlTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace xmltest;

namespace {

const wchar_t* const kFixtures[] = {L"launcher.xml", L"component.xml", L"auraelist.xml"};

std::wstring LoadFixtureText(const wchar_t* name)
{
    CXmlDocument doc;
    doc.Load(Fixture(name));
    return doc.text();
}

// Walks every element, reading attributes on the way, as the programs do.
void Exercise(CXmlDocument& doc)
{
    int steps = 0;
    bool descend = true;
    while (++steps < 100000) {
        if (descend && doc.findElement(nullptr)) {
            doc.getAttribute(L"name");
            doc.getAttribute(L"Path");
            doc.getTagName(doc.currentPos());
            descend = doc.enterElement();
            continue;
        }
        if (!doc.leaveElement())
            break;
        descend = true;
    }
}

// Pieces that steer the tokenizer into its branches.
const wchar_t* const kPieces[] = {
    L"<", L">", L"/", L"</", L"/>", L"<!", L"<!--", L"-->", L"<![CDATA[", L"]]>", L"<?", L"?>",
    L"<!DOCTYPE", L"<!ELEMENT", L"[", L"]", L"'", L"\"", L"=", L" ", L"\r\n", L"&", L"&#x", L";",
    L"a", L"b", L"VersionInfo", L"\xD800", L"\xFEFF", L"\x4E2D",
};

// Edits only promise a text that a fresh parse reads back as the same tree
// where no tokenizer error stands in the document (an edit beside a broken
// token can be read into it) and where every tag name reads the same for the
// parse and for the end tags the edits write (those cut a name at "=", "?",
// "!", "\\" or "<").
bool EditsReparseTheSame(const CXmlDocument& doc)
{
    for (int32_t offset = 0;;) {
        const XmlToken t = doc.nextToken(offset);
        if (t.kind == CXmlDocument::kTokenEnd)
            break;
        if (t.kind == CXmlDocument::kTokenError)
            return false;
        if (t.kind == CXmlDocument::kTokenStartTag && t.text.find_first_of(L"<=\\?!") != std::wstring::npos)
            return false;
        offset = t.start + t.length;
    }
    return true;
}

std::wstring Mutate(const std::wstring& text, std::mt19937& rng)
{
    std::wstring out = text;
    const int edits = 1 + rng() % 4;
    for (int e = 0; e < edits; ++e) {
        const size_t at = out.empty() ? 0 : rng() % (out.size() + 1);
        switch (rng() % 4) {
        case 0:  // delete a run
            out.erase(at, 1 + rng() % 8);
            break;
        case 1:  // insert a piece of markup
            out.insert(at, kPieces[rng() % (sizeof kPieces / sizeof kPieces[0])]);
            break;
        case 2:  // duplicate a span
            if (!out.empty()) {
                const size_t from = rng() % out.size();
                out.insert(at, out.substr(from, 1 + rng() % 16));
            }
            break;
        default:  // replace one character
            if (at < out.size())
                out[at] = static_cast<wchar_t>(1 + rng() % 0x7F);
            break;
        }
    }
    return out;
}

} // namespace

TEST(XmlDocumentRobust, TruncatedFixturesReportWhy)
{
    for (const wchar_t* name : kFixtures) {
        const std::wstring text = LoadFixtureText(name);
        ASSERT_FALSE(text.empty());
        const size_t rootEnd = text.find_last_of(L'>') + 1;
        for (size_t cut = 0; cut < rootEnd; ++cut) {
            CXmlDocument doc;
            const bool wellFormed = doc.setDoc(text.substr(0, cut));
            // Cut before the root element's end: never well-formed.
            EXPECT_FALSE(wellFormed) << name << " cut at " << cut;
            EXPECT_FALSE(doc.resultText().empty()) << name << " cut at " << cut;
            ASSERT_NO_FATAL_FAILURE(CheckTree(doc)) << name << " cut at " << cut;
            Exercise(doc);
        }
        CXmlDocument whole;
        EXPECT_TRUE(whole.setDoc(text.substr(0, rootEnd)));
    }
}

TEST(XmlDocumentRobust, TruncatedFilesLoadWithAMessage)
{
    const std::string bytes = ReadBytes(Fixture(L"auraelist.xml"));
    // Cut before the root element's end (only line breaks follow it).
    const size_t rootEnd = bytes.find_last_of('>') + 1;
    ASSERT_GT(rootEnd, 1u);
    for (size_t cut = 0; cut < rootEnd; cut += 7) {
        WriteBytes(L"cut.xml", bytes.substr(0, cut));
        CXmlDocument doc;
        EXPECT_FALSE(doc.Load(L"cut.xml"));
        EXPECT_NE(std::wstring::npos, doc.resultText().find(L" bytes to ")) << cut;
        EXPECT_NE(std::wstring::npos, doc.resultText().find(L", ")) << cut;
        CheckTree(doc);
    }
    _wremove(L"cut.xml");
}

TEST(XmlDocumentRobust, UnbalancedAndHugeInput)
{
    const struct {
        std::wstring text;
        const wchar_t* message;
    } cases[] = {
        {std::wstring(50000, L'<'), L"No root element"},
        {L"<a>" + std::wstring(20000, L'x'), L"Element 'a' at offset 0 not ended"},
        {L"<r>" + std::wstring(100000, L'>') + L"</r>", L""},
        {L"<a x='" + std::wstring(3000000, L'v'), L"No root element"},
        {L"<a x=\"" + std::wstring(3000000, L'v') + L"\">", L"Element 'a' at offset 0 not ended"},
        {L"<!--" + std::wstring(100000, L'-'), L"No root element"},
    };
    for (const auto& c : cases) {
        CXmlDocument doc;
        doc.setDoc(c.text);
        EXPECT_EQ(std::wstring(c.message), doc.resultText()) << c.text.substr(0, 20);
        CheckTree(doc);
    }
}

TEST(XmlDocumentRobust, DeepAndStrayTagsStayLinear)
{
    // 100,000 open elements then as many stray end tags, then the end of
    // the text: each is handled without walking the whole stack again.
    std::wstring text;
    for (int i = 0; i < 100000; ++i)
        text += L"<a>";
    for (int i = 0; i < 100000; ++i)
        text += L"</b>";
    CXmlDocument doc;
    EXPECT_FALSE(doc.setDoc(text));
    // The ended chain gives the root siblings: that message replaces the parse error.
    EXPECT_EQ(L"Root element has sibling", doc.resultText());
    CheckTree(doc);
    Exercise(doc);
    EXPECT_EQ(100000u, Children(doc, 0).size());

    // Inside a closed root the first problem, the first stray end tag, is kept.
    EXPECT_FALSE(doc.setDoc(L"<r>" + text + L"</r>"));
    EXPECT_EQ(L"No start tag for end tag 'b' at offset 300003", doc.resultText());
    CheckTree(doc);
    EXPECT_EQ(100000u, Children(doc, Children(doc, 0)[0]).size());

    std::wstring nested = L"<r>";
    for (int i = 0; i < 100000; ++i)
        nested += L"<a><b>";
    nested += L"</r>";
    EXPECT_FALSE(doc.setDoc(nested));
    EXPECT_EQ(L"End tag 'r' at offset 600004 does not match start tag 'b' at offset 600000", doc.resultText());
    CheckTree(doc);
    EXPECT_EQ(200000u, Children(doc, Children(doc, 0)[0]).size());
}

TEST(XmlDocumentRobust, RandomBytesLoadWithoutHarm)
{
    std::mt19937 rng(20240801);
    for (int round = 0; round < 150; ++round) {
        std::string bytes(rng() % 600, '\0');
        for (char& b : bytes)
            b = static_cast<char>(rng() % 3 == 0 ? "<>/!?='\"&; a"[rng() % 12] : rng());
        WriteBytes(L"random.xml", bytes);
        CXmlDocument doc;
        const bool wellFormed = doc.Load(L"random.xml");
        EXPECT_TRUE(wellFormed || !doc.resultText().empty());
        ASSERT_NO_FATAL_FAILURE(CheckTree(doc)) << "round " << round;
        Exercise(doc);
        doc.Save(L"random.xml");
    }
    _wremove(L"random.xml");
}

TEST(XmlDocumentRobust, MutatedFixturesParseNavigateAndEdit)
{
    std::mt19937 rng(777);
    int compared = 0;
    for (const wchar_t* name : kFixtures) {
        const std::wstring text = LoadFixtureText(name);
        for (int round = 0; round < 1500; ++round) {
            const std::wstring mutated = Mutate(text, rng);
            CXmlDocument doc;
            const bool wellFormed = doc.setDoc(mutated);
            if (!wellFormed) {
                EXPECT_FALSE(doc.resultText().empty()) << name << " round " << round;
            }
            ASSERT_NO_FATAL_FAILURE(CheckTree(doc)) << name << " round " << round;
            Exercise(doc);

            // Edits keep the tree true to the text, also in damaged documents.
            doc.setDoc(mutated);
            const bool comparable = wellFormed && EditsReparseTheSame(doc);
            compared += comparable ? 1 : 0;
            for (int edit = 0; edit < 6; ++edit) {
                switch (rng() % 5) {
                case 0: doc.findElement(nullptr); break;
                case 1: doc.enterElement(); doc.findElement(nullptr); break;
                case 2: doc.removeElement(); break;
                case 3: doc.addElement(L"n", rng() % 2 ? L"v<" : nullptr, rng() % 2 ? CXmlDocument::kAddAsChild : 0); break;
                default: doc.setAttributeAt(doc.currentPos(), L"Path", L"p\"q"); break;
                }
                ASSERT_NO_FATAL_FAILURE(CheckTree(doc)) << name << " round " << round << " edit " << edit;
            }
            if (comparable && doc.text() != mutated) {
                ASSERT_NO_FATAL_FAILURE(ExpectMatchesFreshParse(doc)) << name << " round " << round;
            }
        }
    }
    // Enough rounds stay comparable for the check to mean something.
    EXPECT_GT(compared, 300);
}
