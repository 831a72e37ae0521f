#include "KqWidgetItem.h"

#include "KqAnchors.h"
#include "KqEvent.h"
#include "KqGraphicsFrameItem.h"
#include "KqWidgetEventHandler.h"

KQ_DEFINE_CLASS(KqWidgetItem, KqGraphicsItem, 'WTIM', &kqMakeInstance<KqWidgetItem>)

KqWidgetItem::KqWidgetItem(KqGraphicsItem* parentItem) : KqGraphicsItem(parentItem)
{
    setFlag(Focusable | AcceptsHover | KeepsClickFocus | StopsPointSearch | NoOwnPaint, true);
    setFocusPolicy(ClickFocus);
    setAcceptedMouseButtons(KqMouseEvent::LeftButton, true);
    m_background = new KqGraphicsFrameItem(this);
    m_background->setObjectName(KqString(u"background"));
    m_background->anchors()->setFill(this);
    setEventHandler(new KqWidgetEventHandler(this));
    m_background->setEventHandler(new KqWidgetEventHandler(this));
}

KqEventSignalDispatch* KqWidgetItem::eventSignalDispatch()
{
    KqWidgetEventHandler* handler = kq_cast<KqWidgetEventHandler>(static_cast<KqRttiObject*>(eventHandler()));
    return handler ? handler->eventSignalDispatch() : nullptr;
}
