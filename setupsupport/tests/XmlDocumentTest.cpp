#include "XmlDocument.h"
#include "XmlTestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace xmltest;

namespace {

struct ParseCase {
    const wchar_t* text;
    bool wellFormed;
    const wchar_t* message;
};

const ParseCase kParseCases[] = {
    {L"", false, L"Empty document"},
    {L" \r\n\t", false, L"No root element"},
    {L"<?xml version=\"1.0\"?><!-- only -->", false, L"No root element"},
    {L"<a/><b/>", false, L"Root element has sibling"},
    {L"</x><a/>", true, L"No start tag for end tag 'x' at offset 0"},
    {L"<a></b></a>", true, L"No start tag for end tag 'b' at offset 3"},
    {L"<a><b></a>", false, L"End tag 'a' at offset 7 does not match start tag 'b' at offset 3"},
    {L"<a><b><c></a>", false, L"End tag 'a' at offset 10 does not match start tag 'c' at offset 6"},
    // b follows a under the document once ended: the root check replaces the parse error.
    {L"<a><b>", false, L"Root element has sibling"},
    {L"<r><a><b></r>", false, L"End tag 'r' at offset 10 does not match start tag 'b' at offset 6"},
    {L"<A></a>", false, L"No start tag for end tag 'a' at offset 3"},
    {L"<a><1/></a>", true, L"Incorrect tag name character at offset 3"},
    {L"<a>< b/></a>", true, L"Incorrect tag name character at offset 3"},
    {L"<a><!x></a>", true, L"Incorrect ! tag at offset 3"},
    {L"<a><!-x--></a>", true, L"Incorrect comment tag at offset 3"},
    {L"<a><![D[x]]></a>", true, L"Incorrect tag at offset 3"},
    {L"<a x='1'", false, L"No root element"},  // the unterminated tag makes no element
    {L"<a/><b x='>", true, L"Element tag at offset 4 unterminated"},
    {L"<a></a", false, L"Element end tag at offset 3 unterminated"},
    {L"<a><![CDATA[x</a>", false, L"CDATA Section at offset 3 unterminated"},
    {L"<a><?pi </a>", false, L"Processing instruction at offset 3 unterminated"},
    {L"<a><!-- x </a>", false, L"Comment at offset 3 unterminated"},
    {L"<a/><!DOCTYPE x [<!-- ]> -->", true, L"Doctype at offset 4 unterminated"},
    {L"<a/><!ELEMENT x '>", true, L"Doctype at offset 4 unterminated"},
    {L"<a/><", true, L"tag at offset 4 unterminated"},
    {L"<a/><!-", true, L"tag at offset 4 unterminated"},
    // Only the first problem is kept.
    {L"<a><!x></x><b></a>", false, L"Incorrect ! tag at offset 3"},
    // Markup that hides ">" and "<" in comments, quotes and sections.
    {L"<?xml version=\"1.0\"?>\r\n<!DOCTYPE a [<!ELEMENT a (#PCDATA)><!-- > --><?p > ?><!ATTLIST a x CDATA '>'>]>"
     L"<a x='>' y=\"<\">t<![CDATA[<b>]]><!-- <c> --><?q <d> ?></a>\r\n",
     true, L""},
    {L"\xFEFF<a/>", true, L""},
};

} // namespace

TEST(XmlDocument, ParseMessagesAndWellFormedness)
{
    for (const ParseCase& c : kParseCases) {
        CXmlDocument doc;
        EXPECT_EQ(c.wellFormed, doc.setDoc(c.text)) << c.text;
        EXPECT_EQ(std::wstring(c.message), doc.resultText()) << c.text;
        CheckTree(doc);
    }
}

TEST(XmlDocument, NewDocumentIsEmpty)
{
    CXmlDocument doc;
    EXPECT_EQ(L"Empty document", doc.resultText());
    EXPECT_FALSE(doc.findElement(nullptr));
    EXPECT_FALSE(doc.setDoc(nullptr));
    EXPECT_EQ(L"Empty document", doc.resultText());
}

TEST(XmlDocument, UnmatchedInnerElementEndsWithoutContent)
{
    CXmlDocument doc;
    EXPECT_FALSE(doc.setDoc(L"<a><b></a>"));
    ASSERT_TRUE(doc.findElement(L"a"));
    XmlElementRecord a, b, root;
    ASSERT_TRUE(doc.getRecord(doc.currentPos(), a));
    EXPECT_EQ(0, a.start);
    EXPECT_EQ(10, a.length);
    EXPECT_EQ(3, a.startTagLength);
    EXPECT_EQ(4, a.endTagLength);
    ASSERT_TRUE(doc.enterElement());
    ASSERT_TRUE(doc.findElement(L"b"));
    ASSERT_TRUE(doc.getRecord(doc.currentPos(), b));
    EXPECT_EQ(3, b.start);
    EXPECT_EQ(3, b.length);
    EXPECT_EQ(0, b.endTagLength);
    EXPECT_TRUE(b.flags & CXmlDocument::kFlagNoEndTag);
    ASSERT_TRUE(doc.getRecord(0, root));
    EXPECT_TRUE(root.flags & CXmlDocument::kFlagUnended);
}

TEST(XmlDocument, ChildrenOfAnUnendedElementFollowItInOrder)
{
    CXmlDocument doc;
    EXPECT_FALSE(doc.setDoc(L"<r><a><b/><c><d/></c></r>"));
    EXPECT_EQ(L"End tag 'r' at offset 22 does not match start tag 'a' at offset 3", doc.resultText());
    ASSERT_TRUE(doc.findElement(L"r"));
    ASSERT_TRUE(doc.enterElement());
    std::wstring names;
    while (doc.findElement(nullptr))
        names += doc.getTagName(doc.currentPos());
    EXPECT_EQ(L"abc", names);
    CheckTree(doc);

    // At the end of the text the open chain flattens under the document; the
    // root then has siblings, and that message replaces the parse error.
    EXPECT_FALSE(doc.setDoc(L"<a><x/><b><y/><c>"));
    EXPECT_EQ(L"Root element has sibling", doc.resultText());
    names.clear();
    while (doc.findElement(nullptr))
        names += doc.getTagName(doc.currentPos());
    EXPECT_EQ(L"axbyc", names);
    CheckTree(doc);
}

TEST(XmlDocument, EmptyElementTagRecognition)
{
    struct Case {
        const wchar_t* text;
        bool empty;
    } cases[] = {
        {L"<r><a/></r>", true},
        {L"<r><a /></r>", true},
        {L"<r><a x='1'/></r>", true},
        {L"<r><a x=\"/>\"/></r>", true},
        {L"<r><a x=1/></r>", false},  // "/" ends an unquoted value
    };
    for (const Case& c : cases) {
        CXmlDocument doc;
        doc.setDoc(c.text);
        ASSERT_TRUE(doc.findElement(L"r")) << c.text;
        ASSERT_TRUE(doc.enterElement());
        ASSERT_TRUE(doc.findElement(L"a")) << c.text;
        XmlElementRecord a;
        ASSERT_TRUE(doc.getRecord(doc.currentPos(), a));
        EXPECT_EQ(c.empty, !(a.flags & CXmlDocument::kFlagNoEndTag)) << c.text;
        EXPECT_EQ(0, a.endTagLength);
    }
}

TEST(XmlDocument, FindMatchesWholeNames)
{
    const struct {
        const wchar_t* wanted;
        bool matches;
    } cases[] = {
        {L"file", true}, {L"fil", false}, {L"files", false}, {L"File", false},
        {L"file x", true}, {L"file=", true}, {L"file/", true}, {L"file[1]", true}, {L"filex", false},
    };
    for (const auto& c : cases) {
        CXmlDocument doc;
        doc.setDoc(L"<file/>");
        EXPECT_EQ(c.matches, doc.findElement(c.wanted)) << c.wanted;
    }

    CXmlDocument doc;
    ASSERT_TRUE(doc.setDoc(L"<r><files n='0'/><fil n='0'/><file n='1'/><file n='2'/><x n='3'/></r>"));
    ASSERT_TRUE(doc.findElement(L"r"));
    ASSERT_TRUE(doc.enterElement());
    ASSERT_TRUE(doc.findElement(L"file"));
    EXPECT_EQ(L"1", doc.getAttribute(L"n"));
    ASSERT_TRUE(doc.findElement(L"file"));
    EXPECT_EQ(L"2", doc.getAttribute(L"n"));
    const int32_t second = doc.currentPos();
    EXPECT_FALSE(doc.findElement(L"file"));
    EXPECT_EQ(second, doc.currentPos());  // a failed find keeps the cursor
    ASSERT_TRUE(doc.findElement(nullptr));
    EXPECT_EQ(L"3", doc.getAttribute(L"n"));
    EXPECT_FALSE(doc.findElement(L""));
}

TEST(XmlDocument, EnterAndLeaveMoveTheCursor)
{
    CXmlDocument doc;
    ASSERT_TRUE(doc.setDoc(L"<r><a><x/></a><b/></r>"));
    EXPECT_FALSE(doc.enterElement());
    EXPECT_FALSE(doc.leaveElement());
    ASSERT_TRUE(doc.findElement(L"r"));
    const int32_t r = doc.currentPos();
    ASSERT_TRUE(doc.enterElement());
    EXPECT_EQ(r, doc.parentPos());
    EXPECT_EQ(0, doc.currentPos());
    ASSERT_TRUE(doc.findElement(L"b"));
    const int32_t b = doc.currentPos();
    ASSERT_TRUE(doc.leaveElement());
    EXPECT_EQ(0, doc.parentPos());
    EXPECT_EQ(r, doc.currentPos());
    EXPECT_EQ(b, doc.childPos());
    // Entering again resumes at the remembered child.
    ASSERT_TRUE(doc.enterElement());
    EXPECT_EQ(b, doc.currentPos());
    EXPECT_EQ(0, doc.childPos());
    EXPECT_FALSE(doc.findElement(nullptr));
}

TEST(XmlDocument, AttributeReading)
{
    CXmlDocument doc;
    ASSERT_TRUE(doc.setDoc(L"<e a=\"1\" b='two' c=3 d e = \"5\" f=\"x&amp;y&#65;\" g:h=\"6\" ab=\"7\" j=x/y i=a=b />"));
    EXPECT_EQ(L"", doc.getAttribute(L"a"));  // no current element yet
    ASSERT_TRUE(doc.findElement(L"e"));
    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } cases[] = {
        {L"a", L"1"}, {L"b", L"two"}, {L"c", L"3"}, {L"d", L"d"}, {L"e", L"5"}, {L"f", L"x&yA"},
        {L"g:h", L"6"}, {L"ab", L"7"}, {L"j", L"x/y"}, {L"i", L"a=b"}, {L"missing", L""}, {L"g", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::wstring(c.value), doc.getAttribute(c.name)) << c.name;
    EXPECT_EQ(L"", doc.getAttributeAt(0, L"a"));
}

TEST(XmlDocument, AttributeReadingStaysInsideTheStartTag)
{
    CXmlDocument doc;
    doc.setDoc(L"<r><e \"x y='1'>z</e><f y='2'/></r>");
    ASSERT_TRUE(doc.findElement(L"r"));
    ASSERT_TRUE(doc.enterElement());
    ASSERT_TRUE(doc.findElement(nullptr));
    EXPECT_EQ(L"", doc.getAttribute(L"y"));
}

TEST(XmlDocument, AttributeWritingEditsTheTextAndShiftsFollowers)
{
    CXmlDocument doc;
    ASSERT_TRUE(doc.setDoc(L"<r><e a=\"1\" c=3 d /><f x='y'><g/></f></r>"));
    ASSERT_TRUE(doc.findElement(L"r"));
    ASSERT_TRUE(doc.enterElement());
    ASSERT_TRUE(doc.findElement(L"e"));
    const int32_t e = doc.currentPos();
    EXPECT_TRUE(doc.setAttributeAt(e, L"a", L"22"));
    EXPECT_TRUE(doc.setAttributeAt(e, L"c", L"4"));
    EXPECT_TRUE(doc.setAttributeAt(e, L"d", L"5"));
    EXPECT_TRUE(doc.setAttributeAt(e, L"b", L"<\"'&>"));
    EXPECT_EQ(L"<r><e a=\"22\" c=\"4\" d=\"5\" b=\"&lt;&quot;&apos;&amp;&gt;\" /><f x='y'><g/></f></r>", doc.text());
    EXPECT_EQ(L"<\"'&>", doc.getAttribute(L"b"));
    ExpectMatchesFreshParse(doc);
    ASSERT_TRUE(doc.findElement(L"f"));
    EXPECT_TRUE(doc.setAttributeAt(doc.currentPos(), L"x", L""));
    EXPECT_EQ(L"<r><e a=\"22\" c=\"4\" d=\"5\" b=\"&lt;&quot;&apos;&amp;&gt;\" /><f x=\"\"><g/></f></r>", doc.text());
    ExpectMatchesFreshParse(doc);

    CXmlDocument bare;
    ASSERT_TRUE(bare.setDoc(L"<a/>"));
    EXPECT_FALSE(bare.setAttributeAt(1, L"k", L"v"));  // no current element
    ASSERT_TRUE(bare.findElement(L"a"));
    EXPECT_TRUE(bare.setAttributeAt(bare.currentPos(), L"k", L"v"));
    EXPECT_EQ(L"<a k=\"v\"/>", bare.text());
    EXPECT_FALSE(bare.setAttributeAt(bare.currentPos(), L"", L"v"));
    ExpectMatchesFreshParse(bare);
}

TEST(XmlDocument, AddIntoParentsWithoutContent)
{
    const struct {
        const wchar_t* before;
        const wchar_t* after;
    } cases[] = {
        {L"<p/>", L"<p>\r\n<file/>\r\n</p>"},
        {L"<p />", L"<p >\r\n<file/>\r\n</p>"},
        {L"<p k='1'/>", L"<p k='1'>\r\n<file/>\r\n</p>"},
        {L"<p></p>", L"<p>\r\n<file/>\r\n</p>"},
        {L"<r><p/><q/></r>", L"<r><p>\r\n<file/>\r\n</p><q/></r>"},
    };
    for (const auto& c : cases) {
        CXmlDocument doc;
        doc.setDoc(c.before);
        if (doc.findElement(L"r")) {
            ASSERT_TRUE(doc.enterElement());
        }
        ASSERT_TRUE(doc.findElement(L"p")) << c.before;
        ASSERT_TRUE(doc.enterElement());
        ASSERT_TRUE(doc.addElement(L"file", nullptr, 0)) << c.before;
        EXPECT_EQ(std::wstring(c.after), doc.text()) << c.before;
        EXPECT_EQ(L"file", doc.getTagName(doc.currentPos()));
        ExpectMatchesFreshParse(doc);
    }

    // A parent left unended by the parse gets its end tag.
    CXmlDocument unended;
    unended.setDoc(L"<r><p></r>");
    ASSERT_TRUE(unended.findElement(L"r"));
    ASSERT_TRUE(unended.enterElement());
    ASSERT_TRUE(unended.findElement(L"p"));
    ASSERT_TRUE(unended.addElement(L"file", nullptr, CXmlDocument::kAddAsChild));
    EXPECT_EQ(L"<r><p>\r\n<file/>\r\n</p></r>", unended.text());
    XmlElementRecord p;
    ASSERT_TRUE(unended.getRecord(unended.currentPos(), p));
    EXPECT_FALSE(p.flags & CXmlDocument::kFlagNoEndTag);
    EXPECT_EQ(4, p.endTagLength);
    CheckTree(unended);
}

TEST(XmlDocument, AddPlacesAndFormsElements)
{
    CXmlDocument doc;
    ASSERT_TRUE(doc.setDoc(L"<r>\r\n  <a/>\r\n  <b/>\r\n</r>"));
    ASSERT_TRUE(doc.findElement(L"r"));
    ASSERT_TRUE(doc.enterElement());
    ASSERT_TRUE(doc.findElement(L"a"));
    ASSERT_TRUE(doc.addElement(L"n", nullptr, 0));  // after a, past its trailing white space
    EXPECT_EQ(L"<r>\r\n  <a/>\r\n  <n/>\r\n<b/>\r\n</r>", doc.text());
    EXPECT_EQ(L"n", doc.getTagName(doc.currentPos()));
    ExpectMatchesFreshParse(doc);

    ASSERT_TRUE(doc.leaveElement());
    ASSERT_TRUE(doc.enterElement());  // resumes at n
    ASSERT_TRUE(doc.findElement(L"b"));
    ASSERT_TRUE(doc.addElement(L"v", L"a<b&amp;", 0));
    ASSERT_TRUE(doc.addElement(L"w", L"a<b&amp;", CXmlDocument::kKeepEntities));
    ASSERT_TRUE(doc.addElement(L"c", L"x]]>y", CXmlDocument::kAddCData));
    ASSERT_TRUE(doc.addElement(L"s", nullptr, CXmlDocument::kAddSpacedEmpty));
    EXPECT_FALSE(doc.addElement(L"o", L"value", CXmlDocument::kAddNoEndTag));
    EXPECT_FALSE(doc.addElement(L"", nullptr, 0));
    EXPECT_EQ(L"<r>\r\n  <a/>\r\n  <n/>\r\n<b/>\r\n<v>a&lt;b&amp;amp;</v>\r\n<w>a&lt;b&amp;</w>\r\n"
              L"<c><![CDATA[x]]]]><![CDATA[>y]]></c>\r\n<s />\r\n</r>",
              doc.text());
    ExpectMatchesFreshParse(doc);

    // As a child: the new element is remembered, the current one stays.
    ASSERT_TRUE(doc.leaveElement());
    const int32_t r = doc.currentPos();
    ASSERT_TRUE(doc.addElement(L"z", nullptr, CXmlDocument::kAddAsChild));
    EXPECT_EQ(r, doc.currentPos());
    EXPECT_EQ(L"z", doc.getTagName(doc.childPos()));
    EXPECT_EQ(L"<r>\r\n  <a/>\r\n  <n/>\r\n<b/>\r\n<v>a&lt;b&amp;amp;</v>\r\n<w>a&lt;b&amp;</w>\r\n"
              L"<c><![CDATA[x]]]]><![CDATA[>y]]></c>\r\n<s />\r\n<z/>\r\n</r>",
              doc.text());
    ExpectMatchesFreshParse(doc);

    ASSERT_TRUE(doc.addElement(L"open", nullptr, CXmlDocument::kAddNoEndTag));
    XmlElementRecord open;
    ASSERT_TRUE(doc.getRecord(doc.currentPos(), open));
    EXPECT_TRUE(open.flags & CXmlDocument::kFlagNoEndTag);
    EXPECT_EQ(6, open.length);
    EXPECT_NE(std::wstring::npos, doc.text().find(L"</r><open>\r\n"));
    CheckTree(doc);

    CXmlDocument none;
    EXPECT_FALSE(none.addElement(L"x", nullptr, CXmlDocument::kAddAsChild));
    ASSERT_TRUE(none.addElement(L"root", nullptr, 0));
    EXPECT_EQ(L"<root/>\r\n", none.text());
    ExpectMatchesFreshParse(none);
}

TEST(XmlDocument, RemoveTakesTrailingWhiteSpaceAndMovesTheCursor)
{
    CXmlDocument doc;
    ASSERT_TRUE(doc.setDoc(L"<r>\r\n  <a><x/><y/></a>\r\n  <b/> t\r\n  <c/>\r\n</r>"));
    ASSERT_TRUE(doc.findElement(L"r"));
    ASSERT_TRUE(doc.enterElement());
    EXPECT_FALSE(doc.removeElement());
    ASSERT_TRUE(doc.findElement(L"a"));
    ASSERT_TRUE(doc.enterElement());
    ASSERT_TRUE(doc.findElement(L"y"));
    const int32_t y = doc.currentPos();
    ASSERT_TRUE(doc.leaveElement());
    ASSERT_TRUE(doc.removeElement());
    EXPECT_EQ(L"<r>\r\n  <b/> t\r\n  <c/>\r\n</r>", doc.text());
    XmlElementRecord gone;
    EXPECT_FALSE(doc.getRecord(y, gone));
    EXPECT_EQ(0, doc.currentPos());  // a was the first child
    ExpectMatchesFreshParse(doc);

    ASSERT_TRUE(doc.findElement(nullptr));  // starts again at the first child
    EXPECT_EQ(L"b", doc.getTagName(doc.currentPos()));
    ASSERT_TRUE(doc.removeElement());  // text follows: the white space stays
    EXPECT_EQ(L"<r>\r\n   t\r\n  <c/>\r\n</r>", doc.text());
    ASSERT_TRUE(doc.findElement(L"c"));
    ASSERT_TRUE(doc.addElement(L"d", nullptr, 0));
    ASSERT_TRUE(doc.removeElement());  // the last child: its previous sibling becomes current
    EXPECT_EQ(L"c", doc.getTagName(doc.currentPos()));
    ASSERT_TRUE(doc.removeElement());
    EXPECT_EQ(0, doc.currentPos());
    EXPECT_FALSE(doc.findElement(nullptr));
    EXPECT_EQ(L"<r>\r\n   t\r\n  </r>", doc.text());
    ExpectMatchesFreshParse(doc);

    ASSERT_TRUE(doc.leaveElement());
    ASSERT_TRUE(doc.removeElement());
    EXPECT_EQ(L"", doc.text());
    CheckTree(doc);
}

TEST(XmlDocument, EscapeTable)
{
    const struct {
        const wchar_t* text;
        int flags;
        const wchar_t* escaped;
    } cases[] = {
        {L"<a&b>", 0, L"&lt;a&amp;b&gt;"},
        {L"'\"", 0, L"'\""},
        {L"'\"", CXmlDocument::kEscapeQuotes, L"&apos;&quot;"},
        {L"&amp; & &x y; &#1; &_:a.b-c; &\x4E2D;", CXmlDocument::kKeepEntities,
         L"&amp; &amp; &amp;x y; &#1; &_:a.b-c; &\x4E2D;"},
        {L"&amp;", 0, L"&amp;amp;"},
        {L"", 0, L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::wstring(c.escaped), CXmlDocument::escapeText(c.text, c.flags)) << c.text;
    EXPECT_EQ(L"", CXmlDocument::escapeText(nullptr, 0));
}

TEST(XmlDocument, UnescapeTable)
{
    const struct {
        const wchar_t* text;
        int length;
        std::wstring plain;
    } cases[] = {
        {L"&#65;&#x42;&lt;&#0;&bogus;", -1, L"AB<&#0;&bogus;"},
        {L"&amp;&gt;&apos;&quot;&amp", -1, L"&>'\"&amp"},
        {L"&#x1F600;", -1, L"\xD83D\xDE00"},
        {L"&#1114111;", -1, L"\xDBFF\xDFFF"},
        {L"&#x10FFFF;&#x110000;", -1, L"\xDBFF\xDFFF&#x110000;"},
        {L"&#12345678;", -1, L"&#12345678;"},  // ";" too far
        {L"&#x;&#X41;&#;&#6a;", -1, L"&#x;&#X41;&#;&#6a;"},
        {L"a&", -1, L"a&"},
        {L"&lt;x", 3, L"&lt"},
        {L"&#65;", 4, L"&#65"},
        {L"&#65;x", 5, L"A"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.plain, CXmlDocument::unescapeText(c.text, c.length)) << c.text;
    EXPECT_EQ(L"", CXmlDocument::unescapeText(nullptr, -1));
}

TEST(XmlDocument, ByteOrderMarkRoundTripIsByteExact)
{
    const std::string original = ReadBytes(Fixture(L"launcher.xml"));
    ASSERT_EQ("\xEF\xBB\xBF<?xml", original.substr(0, 8));
    CXmlDocument doc;
    ASSERT_TRUE(doc.Load(Fixture(L"launcher.xml")));
    EXPECT_EQ(L'\xFEFF', doc.text()[0]);
    const std::wstring count = std::to_wstring(original.size());
    EXPECT_EQ(count + L" bytes to " + std::to_wstring(original.size() - 2) + L" wide chars", doc.resultText());
    ASSERT_TRUE(doc.Save(L"roundtrip.xml"));
    EXPECT_EQ(std::to_wstring(original.size() - 2) + L" wide chars to " + count + L" bytes", doc.resultText());
    EXPECT_EQ(original, ReadBytes(L"roundtrip.xml"));
    _wremove(L"roundtrip.xml");
}

TEST(XmlDocument, LoadReportsFileAndParseProblems)
{
    CXmlDocument doc;
    ASSERT_TRUE(doc.setDoc(L"<kept/>"));
    ASSERT_TRUE(doc.findElement(L"kept"));
    EXPECT_FALSE(doc.Load(L"no such folder\\none.xml"));
    EXPECT_EQ(L"No such file or directory", doc.resultText());
    EXPECT_EQ(L"<kept/>", doc.text());
    EXPECT_NE(0, doc.currentPos());

    WriteBytes(L"siblings.xml", "<a/><b/>");
    EXPECT_FALSE(doc.Load(L"siblings.xml"));
    EXPECT_EQ(L"8 bytes to 8 wide chars, Root element has sibling", doc.resultText());
    EXPECT_EQ(0, doc.currentPos());
    WriteBytes(L"siblings.xml", "");
    EXPECT_FALSE(doc.Load(L"siblings.xml"));
    EXPECT_EQ(L"0 bytes to 0 wide chars, Empty document", doc.resultText());
    WriteBytes(L"siblings.xml", "<a/>");
    EXPECT_TRUE(doc.Load(L"siblings.xml"));
    EXPECT_EQ(L"4 bytes to 4 wide chars", doc.resultText());
    _wremove(L"siblings.xml");
}

TEST(XmlDocument, Utf8Decoding)
{
    const struct {
        std::string bytes;
        std::wstring text;
    } cases[] = {
        {"<a>\xC3\xA9\xE4\xB8\xAD</a>", L"<a>\xE9\x4E2D</a>"},
        {"<a>\xF0\x9F\x98\x80</a>", L"<a>\xD83D\xDE00</a>"},
        {"<a>\xC3</a>", L"<a>?</a>"},           // the "<" after a broken sequence is kept
        {"<a>\xE4\xB8</a>", L"<a>?</a>"},
        {"<a>\xFF\xF8</a>", L"<a>?" L"?</a>"},
        {"<a>\x80\xBF</a>", L"<a>?" L"?</a>"},      // stray continuation bytes
        {"<a>\xF4\x90\x80\x80</a>", L"<a>?</a>"}, // beyond U+10FFFF
        {"<a/>\xE2\x82", L"<a/>"},              // cut by the end of the file
        {"<a/>\xE2", L"<a/>"},
        {std::string("<a/>\0<b/>", 9), L"<a/>"},
        {"<a/>\xC0\x80<b/>", L"<a/>"},
    };
    for (const auto& c : cases) {
        WriteBytes(L"decode.xml", c.bytes);
        CXmlDocument doc;
        ASSERT_TRUE(doc.Load(L"decode.xml") || !doc.resultText().empty());
        EXPECT_EQ(c.text, doc.text()) << c.bytes;
    }
    _wremove(L"decode.xml");
}

TEST(XmlDocument, Utf8EncodingPairsOnlyHighThenLow)
{
    const struct {
        std::wstring text;
        std::string bytes;
    } cases[] = {
        {L"<a>\xD83D\xDE00</a>", "<a>\xF0\x9F\x98\x80</a>"},
        {L"<a>\xD83D" L"A</a>", "<a>?A</a>"},
        {L"<a>\xDE00\xD83D</a>", "<a>?" "?</a>"},
        {L"<a>\xDE00" L"B</a>", "<a>?B</a>"},
        {L"<a>\xE9\x7FF\x800\xFFFF</a>", "<a>\xC3\xA9\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF</a>"},
        {L"<a/>\xD800", "<a/>?"},
    };
    for (const auto& c : cases) {
        CXmlDocument doc;
        doc.setDoc(c.text);
        ASSERT_TRUE(doc.Save(L"encode.xml"));
        EXPECT_EQ(c.bytes, ReadBytes(L"encode.xml"));
    }
    CXmlDocument empty;
    ASSERT_TRUE(empty.Save(L"encode.xml"));
    EXPECT_EQ("", ReadBytes(L"encode.xml"));
    EXPECT_EQ(L"0 wide chars to 0 bytes", empty.resultText());
    _wremove(L"encode.xml");

    EXPECT_FALSE(empty.Save(L"no such folder\\out.xml"));
    EXPECT_EQ(L"No such file or directory", empty.resultText());
}

TEST(XmlDocument, LongTagsKeepTheirLengths)
{
    // Start tags beyond 1,048,575 and end tags beyond 1,023 characters.
    const std::wstring value(1100000, L'v');
    const std::wstring name(2000, L'n');
    CXmlDocument doc;
    ASSERT_TRUE(doc.setDoc(L"<r><e x='" + value + L"'/><" + name + L"></" + name + L"><t/></r>"));
    EXPECT_EQ(L"", doc.resultText());
    ASSERT_TRUE(doc.findElement(L"r"));
    ASSERT_TRUE(doc.enterElement());
    ASSERT_TRUE(doc.findElement(L"e"));
    EXPECT_EQ(value, doc.getAttribute(L"x"));
    XmlElementRecord e;
    ASSERT_TRUE(doc.getRecord(doc.currentPos(), e));
    EXPECT_EQ(static_cast<int32_t>(value.size()) + 9, e.startTagLength);
    ASSERT_TRUE(doc.findElement(name));
    XmlElementRecord long_;
    ASSERT_TRUE(doc.getRecord(doc.currentPos(), long_));
    EXPECT_EQ(2003, long_.endTagLength);
    ASSERT_TRUE(doc.findElement(L"t"));
    ASSERT_TRUE(doc.setAttributeAt(doc.currentPos(), L"k", L"1"));
    ExpectMatchesFreshParse(doc);
}

TEST(XmlDocument, ManyElementsSpanRecordSegments)
{
    std::wstring text = L"<r>";
    const int count = 70000;
    for (int i = 0; i < count; ++i)
        text += L"<e/>";
    text += L"</r>";
    CXmlDocument doc;
    ASSERT_TRUE(doc.setDoc(text));
    ASSERT_TRUE(doc.findElement(L"r"));
    ASSERT_TRUE(doc.enterElement());
    int seen = 0;
    int32_t last = 0;
    while (doc.findElement(L"e")) {
        ++seen;
        last = doc.currentPos();
    }
    EXPECT_EQ(count, seen);
    EXPECT_GE(last, 65536);
    XmlElementRecord r;
    ASSERT_TRUE(doc.getRecord(last, r));
    EXPECT_EQ(3 + 4 * (count - 1), r.start);
    ASSERT_TRUE(doc.addElement(L"tail", nullptr, 0));
    ASSERT_TRUE(doc.leaveElement());
    ASSERT_TRUE(doc.enterElement());
    ASSERT_TRUE(doc.removeElement());
    ExpectMatchesFreshParse(doc);
}

TEST(XmlDocument, FixturesLoadWellFormed)
{
    for (const wchar_t* name : {L"launcher.xml", L"component.xml", L"auraelist.xml"}) {
        CXmlDocument doc;
        EXPECT_TRUE(doc.Load(Fixture(name))) << doc.resultText();
        CheckTree(doc);
    }
    CXmlDocument doc;
    ASSERT_TRUE(doc.Load(Fixture(L"auraelist.xml")));
    ASSERT_TRUE(doc.findElement(L"auraelist"));
    ASSERT_TRUE(doc.enterElement());
    ASSERT_TRUE(doc.findElement(L"aurae"));
    EXPECT_EQ(L"Caf\xE9 \"Nelu\"", doc.getAttribute(L"name"));
    EXPECT_EQ(L"\x5FEB\x4E50 \xD83D\xDE00", doc.getAttribute(L"title"));
    ASSERT_TRUE(doc.findElement(L"aurae"));
    EXPECT_EQ(L"x < y \x4E2D\x4E2D", doc.getAttribute(L"name"));
}
