#include "KqGraphicsView.h"

#include "KqDefaultEventHandlers.h"
#include "KqEvent.h"
#include "KqEventHandler.h"
#include "KqGraphicsScene.h"
#include "KqPainter.h"
#include "KqServices.h"
#include "KqWindow.h"

#include <cmath>
#include <string>

KQ_DEFINE_CLASS(KqGraphicsView, KqRttiObject, 'KGVW', &kqMakeInstance<KqGraphicsView>)

namespace {

bool differs(const KqRectF& a, const KqRectF& b)
{
    const double limit = 1e-12;
    return std::fabs(a.x - b.x) > limit || std::fabs(a.y - b.y) > limit || std::fabs(a.width - b.width) > limit ||
           std::fabs(a.height - b.height) > limit;
}

KqRectF toRectF(const KqRect& r)
{
    return KqRectF(r.left, r.top, double(r.right) - r.left + 1, double(r.bottom) - r.top + 1);
}

KqRect toViewRect(const KqRectF& r)
{
    // Floor of the left and top, ceiling of the right and bottom edges.
    double l = std::floor(r.x), t = std::floor(r.y);
    double rr = std::ceil(r.x + r.width), b = std::ceil(r.y + r.height);
    return KqRect::fromEdges(int32_t(l), int32_t(t), int32_t(rr) - 1, int32_t(b) - 1);
}

std::string edges(const KqRect& r)
{
    return "( " + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
           std::to_string(r.bottom) + " ) ";
}

} // namespace

KqGraphicsView::KqGraphicsView(KqGraphicsScene* scene, KqObject* parent, KqWindow* window) : KqObject(parent)
{
    setScene(scene);
    setWindow(window);
}

KqGraphicsView::~KqGraphicsView()
{
    delete m_eventHandler;
    m_eventHandler = nullptr;
    setScene(nullptr);
    setWindow(nullptr);
}

void KqGraphicsView::setScene(KqGraphicsScene* scene)
{
    if (scene == m_scene)
        return;
    if (m_scene)
        m_scene->removeView(this);
    m_scene = scene;
    if (m_scene)
        m_scene->addView(this);
}

void KqGraphicsView::setWindow(KqWindow* window)
{
    if (window == m_window)
        return;
    if (KqWindow* old = m_window) {
        m_window = nullptr;
        old->setView(nullptr);
        if (m_ownsWindow)
            delete old;
        m_ownsWindow = false;
    }
    m_window = window;
    if (m_window)
        m_window->setView(this);
}

void KqGraphicsView::setEventHandler(KqViewEventHandler* handler)
{
    if (handler == m_eventHandler)
        return;
    delete m_eventHandler;
    m_eventHandler = handler;
    if (handler)
        handler->setTarget(this);
}

void KqGraphicsView::showWindow(int showCommand, const KqRect& geometry)
{
    if (!m_window) {
        setWindow(new KqWindow);
        m_ownsWindow = true;
    }
    m_window->show(showCommand, geometry);
    fitRects();
}

void KqGraphicsView::fitRects()
{
    if (!m_window)
        return;
    KqRectF client(0, 0, m_window->clientWidth(), m_window->clientHeight());
    if (m_sceneRect.isNull())
        setSceneRect(client);
    if (m_viewportRect.isNull())
        setViewportRect(client);
}

void KqGraphicsView::setSceneRect(const KqRectF& rect)
{
    if (!differs(rect, m_sceneRect))
        return;
    m_sceneRect = rect;
    recomputeTransforms();
}

void KqGraphicsView::setViewportRect(const KqRectF& rect)
{
    if (!differs(rect, m_viewportRect))
        return;
    m_viewportRect = rect;
    recomputeTransforms();
}

void KqGraphicsView::recomputeTransforms()
{
    if (m_sceneRect.isNull() || m_viewportRect.isNull())
        return;
    // An empty side would divide by zero: keep the last transforms.
    if (m_viewportRect.width <= 0 || m_viewportRect.height <= 0 || m_sceneRect.width <= 0 || m_sceneRect.height <= 0)
        return;
    double kx = m_sceneRect.width / m_viewportRect.width;
    double ky = m_sceneRect.height / m_viewportRect.height;
    if (m_aspectMode == SmallerFactor)
        kx = ky = std::min(kx, ky);
    else if (m_aspectMode == LargerFactor)
        kx = ky = std::max(kx, ky);
    m_transform = KqTransform(1 / kx, 0, 0, 0, 1 / ky, 0, m_viewportRect.x, m_viewportRect.y, 1);
    m_sceneTransformPart = KqTransform::translation(m_sceneRect.x, m_sceneRect.y);
    m_transformIsIdentity = false;
    m_sceneTransformPartIsIdentity = false;
    ++m_recomputations;
}

KqPointF KqGraphicsView::mapToScene(const KqPointF& point) const
{
    if (m_sceneTransformPartIsIdentity)
        return point;
    return m_sceneTransformPart.inverse().map(point);
}

KqPoint KqGraphicsView::mapEventPoint(const KqPoint& point) const
{
    if (m_transformIsIdentity)
        return point;
    return m_transform.map(point);
}

KqRectF KqGraphicsView::mapSceneRectToView(const KqRectF& rect) const
{
    KqRectF r = rect;
    if (!m_transformIsIdentity)
        r = m_transform.inverse().mapRectF(r);
    if (!m_sceneTransformPartIsIdentity)
        r = m_sceneTransformPart.mapRectF(r);
    return r;
}

KqRectF KqGraphicsView::mapViewRectToScene(const KqRectF& rect) const
{
    KqRectF r = rect;
    if (!m_sceneTransformPartIsIdentity)
        r = m_sceneTransformPart.inverse().mapRectF(r);
    if (!m_transformIsIdentity)
        r = m_transform.mapRectF(r);
    return r;
}

bool KqGraphicsView::sendEvent(KqEvent* event)
{
    if (!event)
        return false;
    KqEventDispatcher::instance()->sendToView(this, event);
    return event->isAccepted();
}

bool KqGraphicsView::sendEvent(KqGraphicsItem* item, KqEvent* event)
{
    if (!event)
        return false;
    if (KqSceneEvent* sceneEvent = kq_cast<KqSceneEvent>(static_cast<KqRttiObject*>(event)))
        sceneEvent->setCachedTarget(item);
    return sendEvent(event);
}

void KqGraphicsView::updateScene(const KqVector<KqRectF>& rects)
{
    KqVector<KqRect> working = m_dirtyRegion;
    m_dirtyRegion = KqVector<KqRect>();
    const KqRect sceneArea = toViewRect(m_sceneRect);
    for (int i = 0; i < rects.count(); ++i) {
        KqRect r = toViewRect(mapSceneRectToView(rects.at(i)));
        if (!r.intersection(sceneArea).isNull())
            working.append(r);
    }
    if (working.count() == 0 || !m_window)
        return;
    KqRect bounding = m_dirtyBounding;
    for (int i = 0; i < working.count(); ++i)
        bounding = bounding.unionWith(working.at(i));
    m_dirtyBounding = bounding;
    m_window->invalidate(bounding);
}

void KqGraphicsView::drawViewPort(KqPainter* painter, const KqRectF& exposedArea)
{
    if (!m_scene || !painter)
        return;
    KqRectF exposed = exposedArea.isNull() ? m_sceneRect : exposedArea;
    if (!m_dirtyBounding.isNull()) {
        const KqRectF bounding = toRectF(m_dirtyBounding);
        if (differs(exposed, m_sceneRect) && differs(exposed, bounding) && bounding.contains(exposed)) {
            // The system asks for less than we invalidated: paint it all so
            // no part of the invalidated area is left erased.
            std::string text = "KqGraphicsView::drawViewPort hi jack upateRect: " + edges(toViewRect(exposed)) +
                               " to " + edges(m_dirtyBounding);
            KqDebugStream() << text.c_str();
            exposed = bounding;
        }
    }
    m_dirtyBounding = KqRect();
    const bool clipped = differs(exposed, m_sceneRect);
    if (clipped) {
        painter->save();
        painter->setClipRect(toViewRect(exposed), KqPainter::Replace);
    }
    if (m_backgroundColor.alpha != 0)
        painter->fillRect(exposed, m_backgroundColor);
    KqTransform viewTransform;
    const bool identity = m_transformIsIdentity && m_sceneTransformPartIsIdentity;
    if (!identity)
        viewTransform = m_transform.inverse() * m_sceneTransformPart;
    m_scene->drawItems(painter, identity ? nullptr : &viewTransform, mapViewRectToScene(exposed));
    if (clipped)
        painter->restore();
}
