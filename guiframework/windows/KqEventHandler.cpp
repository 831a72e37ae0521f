#include "KqEventHandler.h"

#include "KqEvent.h"
#include "KqGraphicsItem.h"
#include "KqGraphicsScene.h"
#include "KqGraphicsView.h"
#include "KqServices.h"

KQ_DEFINE_CLASS(KqEventHandler, KqRttiObject, 'EHER', &kqMakeInstance<KqEventHandler>)
KQ_DEFINE_CLASS(KqSceneEventHandler, KqEventHandler, 'SEHR', &kqMakeInstance<KqSceneEventHandler>)
KQ_DEFINE_CLASS(KqViewEventHandler, KqEventHandler, 'VEHR', &kqMakeInstance<KqViewEventHandler>)
KQ_DEFINE_CLASS(KqItemEventHandler, KqEventHandler, 'IEHR', &kqMakeInstance<KqItemEventHandler>)

void KqSceneEventHandler::offer(KqEvent* event)
{
    if (KqEventCallback callback = m_callbacks.value(event->eventType(), nullptr))
        callback(target(), event);
    if (!event->isAccepted())
        handle(event);
}

void KqViewEventHandler::offer(KqEvent* event)
{
    if (KqEventCallback callback = m_callbacks.value(event->eventType(), nullptr))
        callback(target(), event);
    if (!event->isAccepted())
        handle(event);
}

void KqItemEventHandler::offer(KqEvent* event)
{
    if (!(m_flags & HandlerEnabled))
        return;
    // A copy: a callback may connect more while we walk.
    std::vector<KqEventCallback> callbacks = m_callbacks.value(event->eventType());
    for (KqEventCallback callback : callbacks) {
        callback(target(), event);
        if (event->isAccepted())
            return;
    }
    handle(event);
}

KqEventDispatcher* KqEventDispatcher::instance() { return KqSingleton<KqEventDispatcher>::instance(); }

void KqEventDispatcher::sendToView(KqGraphicsView* view, KqEvent* event)
{
    if (!view || !event)
        return;
    KqSceneEvent* sceneEvent = kq_cast<KqSceneEvent>(static_cast<KqRttiObject*>(event));
    if (sceneEvent)
        sceneEvent->view = KqWeakPointer(view);
    KqWeakPointer alive(view);
    if (KqViewEventHandler* handler = view->eventHandler()) {
        handler->offer(event);
        if (event->isAccepted())
            return;
    }
    // A handler may have closed the window and deleted the view.
    KqGraphicsView* living = static_cast<KqGraphicsView*>(alive.get());
    if (!living)
        return;
    event->prepare(living);
    sendToScene(living->scene(), event);
}

void KqEventDispatcher::sendToScene(KqGraphicsScene* scene, KqEvent* event)
{
    if (!scene || !event)
        return;
    if (KqSceneEventHandler* handler = scene->eventHandler()) {
        handler->offer(event);
        if (event->isAccepted())
            return;
    }
    KqGraphicsItem* item = event->target(scene);
    if (!item)
        return;
    event->mapToItem(item);
    deliver(item, event);
}

void KqEventDispatcher::deliver(KqGraphicsItem* item, KqEvent* event)
{
    if (event->flags & KqEvent::DeliverToChildren)
        deliverDown(item, event);
    else
        deliverUp(item, event);
}

bool KqEventDispatcher::offerTo(KqGraphicsItem* item, KqEvent* event, int depth, uint32_t flag, bool& gone)
{
    KqWeakPointer alive(item);
    KqGraphicsScene* scene = item->scene();
    KqItemEventHandler* handler = item->eventHandler();
    if (handler && event->accepts(item) && (depth == 0 || (handler->handlerFlags() & flag)))
        handler->offer(event);
    // A handler may delete its item (a click that closes the window): stop there.
    gone = alive.get() == nullptr;
    if (!event->isAccepted())
        return true;
    KqSceneEvent* sceneEvent = kq_cast<KqSceneEvent>(static_cast<KqRttiObject*>(event));
    if (!gone && sceneEvent)
        sceneEvent->acceptedBy = KqWeakPointer(item);
    if (!gone && scene) {
        KqEventAcceptedEvent accepted(event);
        sendToScene(scene, &accepted);
    }
    return false;
}

void KqEventDispatcher::deliverUp(KqGraphicsItem* item, KqEvent* event)
{
    KqSceneEvent* sceneEvent = kq_cast<KqSceneEvent>(static_cast<KqRttiObject*>(event));
    int depth = sceneEvent ? sceneEvent->upDepth : 0;
    bool gone = false;
    if (!offerTo(item, event, depth, KqItemEventHandler::TakesFromChildren, gone) || gone)
        return;
    KqGraphicsItem* parent = item->parentItem();
    if (!parent)
        return;
    if (sceneEvent)
        ++sceneEvent->upDepth;
    deliverUp(parent, event);
    if (sceneEvent)
        --sceneEvent->upDepth;
}

void KqEventDispatcher::deliverDown(KqGraphicsItem* item, KqEvent* event)
{
    KqSceneEvent* sceneEvent = kq_cast<KqSceneEvent>(static_cast<KqRttiObject*>(event));
    int depth = sceneEvent ? sceneEvent->downDepth : 0;
    bool gone = false;
    if (!offerTo(item, event, depth, KqItemEventHandler::TakesFromParents, gone) || gone)
        return;
    if (item->children().count() == 0)
        return;
    if (sceneEvent)
        ++sceneEvent->downDepth;
    item->sortChildren();
    // Weak handles over a copy: a handler may delete siblings or the parent.
    KqVector<KqGraphicsItem*> children = item->children();
    std::vector<KqWeakPointer> alive;
    for (int i = 0; i < children.count(); ++i)
        alive.emplace_back(children.at(i));
    for (int i = children.count() - 1; i >= 0 && !event->isAccepted(); --i) {
        if (alive[size_t(i)].get())
            deliverDown(children.at(i), event);
    }
    if (sceneEvent)
        --sceneEvent->downDepth;
}
