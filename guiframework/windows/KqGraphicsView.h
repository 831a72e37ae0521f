// Shows a scene in one native window: maps view and scene coordinates,
// turns the scene's dirty rectangles into one invalidated bounding
// rectangle of the window, and draws the exposed part when it paints.
#pragma once

#include "KqClassInfo.h"
#include "KqColor.h"
#include "KqContainers.h"
#include "KqGeometry.h"
#include "KqObject.h"
#include "KqTransform.h"

#include <cstdint>

class KqEvent;
class KqGraphicsItem;
class KqGraphicsScene;
class KqPainter;
class KqViewEventHandler;
class KqWindow;

class KqGraphicsView : public KqObject, public KqRttiObject {
    KQ_DECLARE_CLASS(KqGraphicsView)
public:
    enum AspectMode { IndependentFactors = 0, SmallerFactor = 1, LargerFactor = 2 };

    explicit KqGraphicsView(KqGraphicsScene* scene = nullptr, KqObject* parent = nullptr, KqWindow* window = nullptr);
    ~KqGraphicsView() override;

    KqGraphicsScene* scene() const { return m_scene; }
    void setScene(KqGraphicsScene* scene);
    KqWindow* window() const { return m_window; }
    void setWindow(KqWindow* window);
    KqViewEventHandler* eventHandler() const { return m_eventHandler; }
    // Deletes the previous handler.
    void setEventHandler(KqViewEventHandler* handler);

    // Creates the window on first use, shows it, then fits the rectangles.
    void showWindow(int showCommand, const KqRect& geometry);
    // Null rectangles become the window's client rectangle.
    void fitRects();
    KqRectF sceneRect() const { return m_sceneRect; }
    KqRectF viewportRect() const { return m_viewportRect; }
    void setSceneRect(const KqRectF& rect);
    void setViewportRect(const KqRectF& rect);
    void setAspectMode(int mode) { m_aspectMode = mode; }
    KqColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const KqColor& color) { m_backgroundColor = color; }
    // How many times the transforms were computed (diagnostics and tests).
    int transformRecomputations() const { return m_recomputations; }

    // Window points of mouse messages to scene points.
    KqPointF mapToScene(const KqPointF& point) const;
    // View points of events being prepared to scene points.
    KqPoint mapEventPoint(const KqPoint& point) const;
    KqRectF mapSceneRectToView(const KqRectF& rect) const;
    KqRectF mapViewRectToScene(const KqRectF& rect) const;

    bool sendEvent(KqEvent* event);
    bool sendEvent(KqGraphicsItem* item, KqEvent* event);

    // From the scene's update pass: scene rectangles to invalidate.
    void updateScene(const KqVector<KqRectF>& rects);
    // From a paint: draws the exposed view rectangle (null: the scene rectangle).
    void drawViewPort(KqPainter* painter, const KqRectF& exposed);
    // The area invalidated in the window and not yet painted.
    KqRect dirtyBounding() const { return m_dirtyBounding; }

private:
    void recomputeTransforms();

    KqGraphicsScene* m_scene = nullptr;
    KqWindow* m_window = nullptr;
    bool m_ownsWindow = false;
    KqViewEventHandler* m_eventHandler = nullptr;
    KqRectF m_sceneRect;
    KqRectF m_viewportRect;
    KqTransform m_transform;
    KqTransform m_sceneTransformPart;
    bool m_transformIsIdentity = true;
    bool m_sceneTransformPartIsIdentity = true;
    int m_aspectMode = SmallerFactor;
    KqColor m_backgroundColor{0, 0, 0, 0};
    int m_updateMode = 4;
    KqRect m_dirtyBounding;
    KqVector<KqRect> m_dirtyRegion;
    int m_recomputations = 0;
};
