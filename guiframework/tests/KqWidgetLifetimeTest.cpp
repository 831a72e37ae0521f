#include "KqAnchors.h"
#include "KqAnimation.h"
#include "KqApplication.h"
#include "KqEvent.h"
#include "KqGraphicsFrameItem.h"
#include "KqGraphicsScene.h"
#include "KqLabel.h"
#include "KqPositioner.h"
#include "KqProgressBar.h"
#include "KqPushButton.h"
#include "KqScrollArea.h"
#include "KqServices.h"
#include "KqSimpleEdit.h"
#include "KqTextDocument.h"
#include "MemPool.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A window's worth of widgets, with focus proxies between them and
// running fades on some of them.
struct Window {
    KqWidgetItem* root;
    KqSimpleEdit* edit;
    KqLabel* label;
    std::vector<KqPushButton*> buttons;
    std::vector<KqPropertyAnimation*> fades;

    explicit Window(KqGraphicsScene* scene)
    {
        root = new KqWidgetItem;
        scene->addItem(root);
        root->resize(640, 480);
        label = new KqLabel(root);
        label->setText(KqString(u"Install to"));
        label->anchors()->setLeft(KqAnchorLine(root, KqAnchorLine::Left));
        label->anchors()->setLeftMargin(10);
        edit = new KqSimpleEdit(root);
        edit->anchors()->setLeft(KqAnchorLine(label, KqAnchorLine::Right));
        edit->document()->appendText(KqString(u"C:\\Program Files\\TqSorva"));
        label->setFocusProxy(edit);
        KqRowPositioner* row = new KqRowPositioner(root);
        row->setSpacing(6);
        row->setY(440);
        for (int i = 0; i < 3; ++i) {
            KqPushButton* button = new KqPushButton(row);
            button->setText(KqString(u"Next"));
            buttons.push_back(button);
            if (i > 0)
                buttons[size_t(i - 1)]->setFocusProxy(button);
        }
        KqCheckBox* check = new KqCheckBox(root);
        check->setText(KqString(u"Start when done"));
        check->setFocusProxy(edit);
        KqProgressBar* progress = new KqProgressBar(root);
        progress->setBarImage(KqString(u"kqgui:edit_focus.png"));
        progress->setValue(0.4);
        KqScrollArea* area = new KqScrollArea(root);
        area->setGeometry(10, 100, 200, 100);
        KqGraphicsItem* content = new KqGraphicsItem;
        content->resize(400, 300);
        area->setWidget(content);
        area->verticalScrollBar()->stepForward(0.1);

        // Hover fades run (deleting themselves when stopped), and fades we own.
        for (KqPushButton* button : buttons) {
            KqHoverEnterEvent enter;
            scene->sendEvent(button, &enter);
        }
        for (KqGraphicsItem* target : {static_cast<KqGraphicsItem*>(progress), static_cast<KqGraphicsItem*>(label)}) {
            KqPropertyAnimation* fade = new KqPropertyAnimation;
            fade->setTargetObject(target);
            fade->setPropertyName(KqString(u"opacity"));
            fade->setStartValue(KqVariant(0.0));
            fade->setEndValue(KqVariant(1.0));
            fade->setDuration(300);
            fade->start();
            fades.push_back(fade);
        }
    }

    void destroy(bool proxiesAndFadesFirst)
    {
        if (proxiesAndFadesFirst) {
            for (KqPropertyAnimation* fade : fades)
                delete fade;
            delete edit; // named as proxy by the label and the check box
            delete buttons.back();
            delete root;
        } else {
            delete root;
            for (KqPropertyAnimation* fade : fades) {
                ASSERT_EQ(nullptr, fade->targetItem());
                delete fade;
            }
        }
        KqDeferredDeleter::instance()->flushAll();
    }
};

TEST(KqWidgetLifetimeTest, BuildingAndDestroyingReturnsEverything)
{
    kqRegisterFrameworkClasses();
    KqApplication app;
    KqGraphicsScene scene;
    // Warm-up: process-wide caches and singletons fill once.
    for (bool order : {true, false}) {
        Window w(&scene);
        w.destroy(order);
    }
    const size_t bytesBefore = mp_bytes_in_use();
    const int itemsBefore = KqItemRegistry::instance()->count();
    for (int cycle = 0; cycle < 1000; ++cycle) {
        Window w(&scene);
        ASSERT_GT(KqItemRegistry::instance()->count(), itemsBefore + 40);
        w.destroy(cycle % 2 == 0);
        ASSERT_EQ(itemsBefore, KqItemRegistry::instance()->count()) << cycle;
        ASSERT_EQ(0, scene.itemCount()) << cycle;
        ASSERT_EQ(0, KqAnimationDriver::instance()->runningCount() + KqAnimationDriver::instance()->waitingCount()) << cycle;
    }
    EXPECT_EQ(bytesBefore, mp_bytes_in_use());
}

} // namespace
