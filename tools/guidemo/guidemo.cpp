// guidemo [-shot FILE] [-seconds N]
// Shows a frame window with a label, a push button, a check box, an edit box
// with text and a progress bar filled over two seconds. With -shot the
// backing store is saved as PNG when the bar is full and the window's screen
// rectangle is printed ("rect: left top right bottom", right and bottom
// exclusive); -seconds closes the window after N seconds.
#include "KqAnchors.h"
#include "KqAnimation.h"
#include "KqApplication.h"
#include "KqFrameWindow.h"
#include "KqGraphicsScene.h"
#include "KqGraphicsView.h"
#include "KqLabel.h"
#include "KqPositioner.h"
#include "KqProgressBar.h"
#include "KqPushButton.h"
#include "KqSimpleEdit.h"
#include "KqTextDocument.h"
#include "KqTimer.h"
#include "KqWindow.h"
#include "KqWindowAdapter.h"

#include <windows.h>
#include <gdiplus.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// A bar whose "value" can be animated.
class DemoBar : public KqProgressBar {
public:
    explicit DemoBar(KqGraphicsItem* parent) : KqProgressBar(parent) {}
    bool setProperty(const KqString& name, const KqVariant& value) override
    {
        if (name == KqString(u"value")) {
            setValue(value.toDouble());
            return true;
        }
        return KqProgressBar::setProperty(name, value);
    }
};

bool savePng(KqPaintEngine& store, const std::string& path)
{
    const KqSize size = store.size();
    if (!store.bits() || size.width <= 0)
        return false;
    // Bottom-up rows: start at the last one with a negative stride.
    const int stride = size.width * 4;
    BYTE* top = reinterpret_cast<BYTE*>(const_cast<uint32_t*>(store.bits())) + size_t(size.height - 1) * size_t(stride);
    Gdiplus::Bitmap bitmap(size.width, size.height, -stride, PixelFormat32bppPARGB, top);
    static const CLSID pngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    std::wstring wide(path.begin(), path.end());
    return bitmap.Save(wide.c_str(), &pngEncoder, nullptr) == Gdiplus::Ok;
}

struct Demo : KqTrackable {
    KqFrameWindow* frame = nullptr;
    KqPropertyAnimation* fill = nullptr;
    KqTimer watch;
    KqTimer closer;
    std::string shot;

    void checkAnimation()
    {
        if (fill->state() != KqAbstractAnimation::Stopped)
            return;
        watch.stop();
        if (shot.empty())
            return;
        // Paint everything now so the store holds the full bar.
        frame->graphicsScene()->processUpdates();
        HWND window = frame->winId();
        UpdateWindow(window);
        KqPaintEngine& store = frame->view()->window()->adapter()->backingStore();
        if (!savePng(store, shot)) {
            std::printf("guidemo: could not save %s\n", shot.c_str());
        } else {
            RECT r;
            GetWindowRect(window, &r);
            std::printf("shot: %s\nrect: %ld %ld %ld %ld\n", shot.c_str(), r.left, r.top, r.right, r.bottom);
        }
        std::fflush(stdout);
    }
    void closeWindow()
    {
        closer.stop();
        frame->close();
    }
};

} // namespace

int main(int argc, char** argv)
{
    Demo demo;
    int seconds = 0;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-shot") && i + 1 < argc)
            demo.shot = argv[++i];
        else if (!std::strcmp(argv[i], "-seconds") && i + 1 < argc)
            seconds = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: guidemo [-shot FILE] [-seconds N]\n");
            return 2;
        }
    }

    KqApplication app;
    KqFrameWindow* frame = new KqFrameWindow;
    demo.frame = frame;
    frame->setWindowTitle(KqString(u"Ostravi Engine demo"));
    frame->resize(420, 260);
    frame->setBackgroundColor(KqColor(246, 246, 246));
    frame->setWindowFlag(KqFrameWindow::DeleteOnClose, true);

    KqLabel* label = new KqLabel(frame);
    label->setText(KqString(u"TqSorva GUI framework"));
    label->resize(240, 24);
    label->anchors()->setLeft(KqAnchorLine(frame, KqAnchorLine::Left));
    label->anchors()->setTop(KqAnchorLine(frame, KqAnchorLine::Top));
    label->anchors()->setLeftMargin(20);
    label->anchors()->setTopMargin(20);

    KqRowPositioner* row = new KqRowPositioner(frame);
    row->setSpacing(16);
    row->anchors()->setLeft(KqAnchorLine(label, KqAnchorLine::Left));
    row->anchors()->setTop(KqAnchorLine(label, KqAnchorLine::Bottom));
    row->anchors()->setTopMargin(16);
    KqPushButton* button = new KqPushButton(row);
    button->setText(KqString(u"Push"));
    button->resize(90, 30);
    KqCheckBox* check = new KqCheckBox(row);
    check->setText(KqString(u"Check"));
    check->resize(90, 30);
    check->setChecked(true);

    KqLineEdit* edit = new KqLineEdit(frame);
    edit->resize(240, 26);
    edit->document()->insertText(KqString(u"Edit box text"));
    edit->anchors()->setLeft(KqAnchorLine(label, KqAnchorLine::Left));
    edit->anchors()->setTop(KqAnchorLine(row, KqAnchorLine::Bottom));
    edit->anchors()->setTopMargin(16);

    DemoBar* bar = new DemoBar(frame);
    bar->setBarImage(KqString(u"kqgui:edit_focus.png"));
    bar->resize(420 - 2 * KqFrameWindow::kShadowMargin - 40, 20);
    bar->anchors()->setLeft(KqAnchorLine(frame, KqAnchorLine::Left));
    bar->anchors()->setBottom(KqAnchorLine(frame, KqAnchorLine::Bottom));
    bar->anchors()->setLeftMargin(20);
    bar->anchors()->setBottomMargin(20);

    KqPropertyAnimation* fill = new KqPropertyAnimation;
    demo.fill = fill;
    fill->setTargetObject(bar);
    fill->setPropertyName(KqString(u"value"));
    fill->setStartValue(KqVariant(0.0));
    fill->setEndValue(KqVariant(1.0));
    fill->setDuration(2000);

    frame->showWindow(SW_SHOW);
    fill->start();
    demo.watch.timeout.connect(&demo, &Demo::checkAnimation);
    demo.watch.start(50);
    if (seconds > 0) {
        demo.closer.timeout.connect(&demo, &Demo::closeWindow);
        demo.closer.start(seconds * 1000);
    }
    int code = app.exec();
    if (fill->state() != KqAbstractAnimation::Stopped)
        fill->stop();
    delete fill;
    return code;
}
