// The framework's classes in their fixed order: the order gives the event
// classes their numbers 1 to 48, so one function registers them all.
#include "KqClassInfo.h"
#include "KqEvent.h"
#include "KqGraphicsItem.h"
#include "KqAssignLib.h"
#include "KqAnimation.h"
#include "KqEventHandler.h"
#include "KqBasicItems.h"
#include "KqGraphicsEditText.h"
#include "KqInputFocusPainter.h"
#include "KqSimpleEdit.h"
#include "KqCharFormat.h"
#include "KqDocumentValidater.h"
#include "KqTextDocument.h"
#include "KqTextLayoutEngine.h"
#include "KqDefaultItemEventHandler.h"
#include "KqGraphicsFrameItem.h"
#include "KqLabel.h"
#include "KqProgressBar.h"
#include "KqPushButton.h"
#include "KqScrollArea.h"
#include "KqWidgetEventHandler.h"
#include "KqWidgetItem.h"
#include "KqPositioner.h"
#include "KqResourceLib.h"
#include "KqTimer.h"
#include "KqDefaultEventHandlers.h"
#include "KqGraphicsView.h"
#include "KqWindow.h"
#include "KqWindowAdapter.h"

void kqRegisterFrameworkClasses()
{
    kqRegisterClass("KqRttiObject", &KqRttiObject::classInfo, 'KROT');
    kqRegisterEventClasses();
    kqRegisterClass("KqGraphicsItem", &KqGraphicsItem::classInfo, 'ITEM');
    kqRegisterClass("KqGraphicsPixmapItem", &KqGraphicsPixmapItem::classInfo, 'GPPM');
    kqRegisterClass("KqGraphicsMarginsPixmapItem", &KqGraphicsMarginsPixmapItem::classInfo, 'GMPP');
    kqRegisterClass("KqGraphicsSimpleTextItem", &KqGraphicsSimpleTextItem::classInfo, 'GSTM');
    kqRegisterClass("KqGraphicsRectItem", &KqGraphicsRectItem::classInfo, 'GRTM');
    kqRegisterClass("KqBasePositioner", &KqBasePositioner::classInfo, 'GBPR');
    kqRegisterClass("KqRowPositioner", &KqRowPositioner::classInfo, 'GRPR');
    kqRegisterClass("KqColumnPositioner", &KqColumnPositioner::classInfo, 'GCPR');
    kqRegisterClass("KqAbstractAnimation", &KqAbstractAnimation::classInfo, 'AANN');
    kqRegisterClass("KqVariantAnimation", &KqVariantAnimation::classInfo, 'VANN');
    kqRegisterClass("KqPropertyAnimation", &KqPropertyAnimation::classInfo, 'PPAN');
    kqRegisterClass("KqTimer", &KqTimer::classInfo, 'TIMR');
    kqRegisterClass("KqEventHandler", &KqEventHandler::classInfo, 'EHER');
    kqRegisterClass("KqItemEventHandler", &KqItemEventHandler::classInfo, 'IEHR');
    kqRegisterClass("KqSceneEventHandler", &KqSceneEventHandler::classInfo, 'SEHR');
    kqRegisterClass("KqViewEventHandler", &KqViewEventHandler::classInfo, 'VEHR');
    kqRegisterClass("KqDefaultSceneEventHandler", &KqDefaultSceneEventHandler::classInfo, 'DSEH');
    kqRegisterClass("KqDefaultViewEventHandler", &KqDefaultViewEventHandler::classInfo, 'DVEH');
    kqRegisterClass("KqGraphicsView", &KqGraphicsView::classInfo, 'KGVW');
    kqRegisterClass("KqWindow", &KqWindow::classInfo, 'WINW');
    kqRegisterClass("KqWindowAdapter", &KqWindowAdapter::classInfo, 'WAER');
    kqRegisterClass("KqAssignLib", &KqAssignLib::classInfo, 'ASLB');
    kqRegisterClass("KqResourceLib", &KqResourceLib::classInfo, 'RLIB');
    kqRegisterClass("KqResourceMapping", &KqResourceMapping::classInfo, 'RMNG');
    kqRegisterClass("KqResourceMappingDLL", &KqResourceMappingDLL::classInfo, 'RMLL');
    kqRegisterClass("KqResourceMappingFile", &KqResourceMappingFile::classInfo, 'RMFE');
    kqRegisterClass("KqGraphicsFrameItem", &KqGraphicsFrameItem::classInfo, 'KGFM');
    kqRegisterClass("KqDefaultItemEventHandler", &KqDefaultItemEventHandler::classInfo, 'DIEH');
    kqRegisterClass("KqWidgetEventHandler", &KqWidgetEventHandler::classInfo, 'KWEH');
    kqRegisterClass("KqEventSignalDispatch", &KqEventSignalDispatch::classInfo, 'ESDH');
    kqRegisterClass("KqWidgetItem", &KqWidgetItem::classInfo, 'WTIM');
    kqRegisterClass("KqPushButton", &KqPushButton::classInfo, 'PBTN');
    kqRegisterClass("KqCheckBox", &KqCheckBox::classInfo, 'CBOX');
    kqRegisterClass("KqCheckBoxEventHandler", &KqCheckBoxEventHandler::classInfo, 'CBER');
    kqRegisterClass("KqLabel", &KqLabel::classInfo, 'LAEL');
    kqRegisterClass("KqProgressBar", &KqProgressBar::classInfo, 'PSBR');
    kqRegisterClass("KqScrollArea", &KqScrollArea::classInfo, 'SLAA');
    kqRegisterClass("KqScrollBar", &KqScrollBar::classInfo, 'SLBR');
    kqRegisterClass("KqScrollBarEventHandler", &KqScrollBarEventHandler::classInfo, 'SBEH');
    kqRegisterClass("KqTextDocument", &KqTextDocument::classInfo, 'TDNT');
    kqRegisterClass("KqTextCursor", &KqTextCursor::classInfo, 'KTCR');
    kqRegisterClass("KqCharFormat", &KqCharFormat::classInfo, 'CFMT');
    kqRegisterClass("KqTextFormat", &KqTextFormat::classInfo, 'TFAT');
    kqRegisterClass("KqTextLayoutEngine", &KqTextLayoutEngine::classInfo, 'TLEE');
    kqRegisterClass("KqDocumentValidater", &KqDocumentValidater::classInfo, 'DVER');
    kqRegisterClass("KqNumWidthDocValidater", &KqNumWidthDocValidater::classInfo, 'NDVR');
    kqRegisterClass("KqGraphicsEditText", &KqGraphicsEditText::classInfo, 'GETT');
    kqRegisterClass("KqSimpleEdit", &KqSimpleEdit::classInfo, 'SEIT');
    kqRegisterClass("KqLineEdit", &KqLineEdit::classInfo, 'LEIT');
    kqRegisterClass("KqSimpleEditEventHandler", &KqSimpleEditEventHandler::classInfo, 'SEER');
    kqRegisterClass("KqInputFocusPainter", &KqInputFocusPainter::classInfo, 'IFPR');
    kqRegisterClass("KqEditEventListener", &KqEditEventListener::classInfo, 'EELR');
}
