// Prints milliseconds per operation for each pair, the ratio ours /
// reference, and the goal the ratio should stay under.
#include "KqAnchors.h"
#include "KqCharFormat.h"
#include "KqApplication.h"
#include "KqEvent.h"
#include "KqFont.h"
#include "KqGraphicsEditText.h"
#include "KqGraphicsScene.h"
#include "KqSimpleEdit.h"
#include "KqTextDocument.h"
#include "KqTextLayoutEngine.h"
#include "win32Gdiplus.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

template <class F> double millis(F f)
{
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

volatile double g_sink;
int g_measures = 0;
KqSizeF counting(const KqFont& font, const KqString& text)
{
    ++g_measures;
    KqRectF r = font.measureText(text, 100000);
    return KqSizeF{r.width, r.height};
}

void report(const char* name, double ours, double reference, double goal)
{
    const double ratio = ours / reference;
    printf("%-34s ours %8.3f ms  reference %8.3f ms  ratio %.2fx  goal %.0fx  %s\n", name, ours, reference, ratio, goal,
           ratio <= goal ? "met" : "MISSED");
}

std::wstring wide(const KqString& s) { return std::wstring(reinterpret_cast<const wchar_t*>(s.data()), size_t(s.length())); }

// One keystroke at the end of a 10,000-unit edit: the document takes the
// unit, the caret is kept in view, and the text is laid out again.
void keystrokeAgainstMeasurement()
{
    const int kRounds = 20;
    KqGraphicsScene scene;
    KqSimpleEdit* edit = new KqSimpleEdit;
    scene.addItem(edit);
    scene.setFocus(edit, 0);
    KqTextDocument* document = edit->document();
    document->setMaxLength(0);
    std::u16string text;
    for (int i = 0; i < 10000; ++i)
        text += char16_t(u'a' + i % 26);
    document->appendText(KqString(text.c_str()));
    document->cursor().moveToEnd();
    document->anchor().moveToEnd();
    KqGraphicsEditText* editText = edit->editText();
    const KqRectF r = editText->rect();

    kqSetTextMeasureSource(counting);
    {
        KqCharEvent key(u'y');
        scene.sendEvent(edit, &key);
        printf("measures in the key: %d\n", g_measures);
    }
    kqSetTextMeasureSource(nullptr);
    double ours = millis([&] {
        for (int i = 0; i < kRounds; ++i) {
            KqCharEvent key(u'x');
            scene.sendEvent(edit, &key);
            std::vector<KqRectF> rects;
            std::vector<KqCharFormat*> formats;
            editText->layoutEngine()->layout(document, KqLayoutOrigin{r.x, r.y, r.width}, rects, formats);
            KqPoint top, bottom;
            editText->layoutEngine()->caretLine(document, r, top, bottom);
            g_sink = top.x + rects.size();
        }
    }) / kRounds;

    const KqFont font;
    const std::wstring same = wide(document->text());
    double reference = millis([&] {
        HDC dc = CreateCompatibleDC(nullptr);
        {
            Gdiplus::Graphics graphics(dc);
            Gdiplus::FontFamily family(reinterpret_cast<const WCHAR*>(font.family().data()));
            Gdiplus::Font gdiFont(&family, Gdiplus::REAL(font.pixelSize()), font.style(), Gdiplus::UnitPixel);
            Gdiplus::RectF box;
            for (int i = 0; i < kRounds; ++i) {
                graphics.MeasureString(same.c_str(), INT(same.size()), &gdiFont, Gdiplus::PointF(0, 0), &box);
                g_sink = box.Width;
            }
        }
        DeleteDC(dc);
    }) / kRounds;
    report("keystroke vs one MeasureString", ours, reference, 3);
    double direct = millis([&] {
        for (int i = 0; i < kRounds; ++i)
            g_sink = font.measureText(document->text(), 100000).width;
    }) / kRounds;
    report("KqFont::measureText vs MeasureString", direct, reference, 3);
    delete edit;
}

// A parent resized with 1,000 children anchored to it, against setting
// the geometries they end up with directly.
void anchorsAgainstDirectGeometry()
{
    const int kChildren = 1000, kRounds = 50;
    KqGraphicsItem parent;
    parent.resize(400, 300);
    std::vector<KqGraphicsItem*> children;
    for (int i = 0; i < kChildren; ++i) {
        KqGraphicsItem* child = new KqGraphicsItem(&parent);
        child->setHeight(10);
        KqAnchors* a = child->anchors();
        a->setLeft(KqAnchorLine(&parent, KqAnchorLine::Left));
        a->setRight(KqAnchorLine(&parent, KqAnchorLine::Right));
        a->setLeftMargin(i % 7);
        a->setRightMargin(i % 5);
        a->setTop(KqAnchorLine(&parent, KqAnchorLine::Top));
        a->setTopMargin(i % 13);
        children.push_back(child);
    }
    double ours = millis([&] {
        for (int round = 0; round < kRounds; ++round)
            parent.resize(400 + round % 2 * 100 + round, 300);
    }) / kRounds;

    KqGraphicsItem plainParent;
    std::vector<KqGraphicsItem*> plain;
    for (int i = 0; i < kChildren; ++i)
        plain.push_back(new KqGraphicsItem(&plainParent));
    double reference = millis([&] {
        for (int round = 0; round < kRounds; ++round) {
            const double width = 400 + round % 2 * 100 + round;
            for (int i = 0; i < kChildren; ++i)
                plain[size_t(i)]->setGeometry(i % 7, i % 13, width - i % 7 - i % 5, 10);
        }
    }) / kRounds;
    // The anchored children must really have followed.
    const double last = 400 + (kRounds - 1) % 2 * 100 + (kRounds - 1);
    if (children.back()->width() != last - (kChildren - 1) % 7 - (kChildren - 1) % 5)
        printf("anchored children did not follow the parent\n");
    report("anchored relayout vs direct", ours, reference, 2);
}

} // namespace

int main()
{
    kqRegisterFrameworkClasses();
    KqApplication app;
    keystrokeAgainstMeasurement();
    anchorsAgainstDirectGeometry();
    return 0;
}
