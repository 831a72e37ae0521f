// Prints milliseconds per repaint for each pair and the ratio ours / reference.
// Goals: a full repaint within 2x direct GDI+; a moving item under 0.1x a
// full repaint.
#include "KqApplication.h"
#include "KqBasicItems.h"
#include "KqGraphicsItem.h"
#include "KqGraphicsScene.h"
#include "KqGraphicsView.h"
#include "KqImage.h"
#include "KqPainter.h"

#include <windows.h>
#include <gdiplus.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

namespace {

template <class F> double millisPer(int rounds, F f)
{
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i)
        f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / rounds;
}

void report(const char* name, double ours, double reference, double goal)
{
    std::printf("%-40s ours %8.3f ms  reference %8.3f ms  ratio %.3fx (goal under %.1fx)\n", name, ours, reference,
                ours / reference, goal);
}

struct Shape {
    int kind; // 0 rectangle, 1 picture, 2 text
    float x, y, w, h;
    Gdiplus::Color color;
};

std::vector<Shape> makeShapes(int count)
{
    std::mt19937 random(11);
    std::vector<Shape> shapes;
    for (int i = 0; i < count; ++i) {
        Shape s;
        s.kind = i % 3;
        s.x = float(random() % 600);
        s.y = float(random() % 450);
        s.w = float(20 + random() % 60);
        s.h = float(12 + random() % 30);
        s.color = Gdiplus::Color(255, BYTE(random()), BYTE(random()), BYTE(random()));
        shapes.push_back(s);
    }
    return shapes;
}

const wchar_t* kText = L"Ostravi";

struct SceneSetup {
    KqGraphicsScene scene;
    KqGraphicsView view;
    std::vector<KqGraphicsItem*> items;
    SceneSetup(const std::vector<Shape>& shapes, const KqImage& picture) : view(&scene)
    {
        scene.setSceneRect(KqRectF(0, 0, 640, 480));
        view.setSceneRect(KqRectF(0, 0, 640, 480));
        view.setViewportRect(KqRectF(0, 0, 640, 480));
        for (const Shape& s : shapes) {
            KqGraphicsItem* item;
            if (s.kind == 0) {
                KqGraphicsRectItem* r = new KqGraphicsRectItem(nullptr, &scene);
                r->setColor(KqColor(s.color.GetR(), s.color.GetG(), s.color.GetB()));
                r->setGeometry(s.x, s.y, s.w, s.h);
                item = r;
            } else if (s.kind == 1) {
                KqGraphicsPixmapItem* p = new KqGraphicsPixmapItem(nullptr, &scene);
                p->setPixmap(picture);
                p->setPos(s.x, s.y);
                item = p;
            } else {
                KqGraphicsSimpleTextItem* t = new KqGraphicsSimpleTextItem(nullptr, &scene);
                t->setText(KqString(u"Ostravi"));
                t->setPos(s.x, s.y);
                item = t;
            }
            items.push_back(item);
        }
        scene.processUpdates();
    }
    ~SceneSetup()
    {
        for (KqGraphicsItem* item : items)
            delete item;
    }
};

void drawDirect(Gdiplus::Graphics* g, const std::vector<Shape>& shapes, Gdiplus::Bitmap* picture, Gdiplus::Font* font)
{
    g->Clear(Gdiplus::Color(0));
    Gdiplus::SolidBrush textBrush(Gdiplus::Color(255, 0, 0, 0));
    for (const Shape& s : shapes) {
        if (s.kind == 0) {
            Gdiplus::SolidBrush brush(s.color);
            g->FillRectangle(&brush, s.x, s.y, s.w, s.h);
        } else if (s.kind == 1) {
            g->DrawImage(picture, s.x, s.y, float(picture->GetWidth()), float(picture->GetHeight()));
        } else {
            g->DrawString(kText, -1, font, Gdiplus::PointF(s.x, s.y), &textBrush);
        }
    }
    g->Flush(Gdiplus::FlushIntentionSync);
}

} // namespace

int main()
{
    KqApplication app;
    KqPaintEngine store;
    store.resize(640, 480);
    store.begin();
    KqImage picture = KqImage::fromUrl(KqString(u"kqgui:icon.png"));
    if (picture.isNull()) {
        std::printf("guiscenebench: the skin picture is missing\n");
        return 1;
    }
    Gdiplus::Font font(L"SimSun", 12, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    KqPainter painter(&store);
    const int rounds = 20;
    double fullThousand = 0;
    for (int count : {100, 1000}) {
        std::vector<Shape> shapes = makeShapes(count);
        SceneSetup setup(shapes, picture);
        auto full = [&] {
            store.erase(KqRect(), true);
            setup.view.drawViewPort(&painter, KqRectF());
            store.graphics()->Flush(Gdiplus::FlushIntentionSync);
        };
        full(); // warm caches
        double ours = millisPer(rounds, full);
        double reference = millisPer(rounds, [&] { drawDirect(store.graphics(), shapes, picture.bitmap(), &font); });
        char name[64];
        std::snprintf(name, sizeof name, "full repaint, %d items", count);
        report(name, ours, reference, 2.0);
        if (count == 1000)
            fullThousand = ours;
    }

    // One small item moving among a thousand: only its old and new places are repainted.
    std::vector<Shape> shapes = makeShapes(1000);
    SceneSetup setup(shapes, picture);
    KqGraphicsRectItem* mover = new KqGraphicsRectItem(nullptr, &setup.scene);
    mover->setGeometry(300, 200, 16, 16);
    setup.items.push_back(mover);
    setup.scene.processUpdates();
    struct Collector : KqTrackable {
        KqRectF exposed;
        void take(const KqVector<KqRectF>& rects)
        {
            for (int i = 0; i < rects.count(); ++i)
                exposed = exposed.isNull() ? rects.at(i) : exposed.unionWith(rects.at(i));
        }
    } collector;
    setup.scene.sceneUpdated.connect(&collector, &Collector::take);
    int step = 0;
    double moving = millisPer(rounds * 5, [&] {
        mover->setPos(300 + (step++ % 40), 200);
        collector.exposed = KqRectF();
        setup.scene.processUpdates();
        KqRect area = collector.exposed.enclosingRect();
        store.erase(area, true);
        setup.view.drawViewPort(&painter, KqRectF(area.left, area.top, area.right - area.left + 1, area.bottom - area.top + 1));
        store.graphics()->Flush(Gdiplus::FlushIntentionSync);
    });
    report("one moving item among 1000", moving, fullThousand, 0.1);
    store.end();
    return 0;
}
