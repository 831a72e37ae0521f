#include "KqSimpleEdit.h"

#include "KqAnchors.h"
#include "KqClipboard.h"
#include "KqEvent.h"
#include "KqGraphicsEditText.h"
#include "KqGraphicsFrameItem.h"
#include "KqInputFocusPainter.h"
#include "KqTextDocument.h"
#include "KqTextLayoutEngine.h"

KQ_DEFINE_CLASS(KqSimpleEdit, KqWidgetItem, 'SEIT', &kqMakeInstance<KqSimpleEdit>)
KQ_DEFINE_CLASS(KqLineEdit, KqSimpleEdit, 'LEIT', &kqMakeInstance<KqLineEdit>)
KQ_DEFINE_CLASS(KqSimpleEditEventHandler, KqWidgetEventHandler, 'SEER', &kqMakeInstance<KqSimpleEditEventHandler>)
KQ_DEFINE_CLASS(KqEditEventListener, KqDocumentValidater, 'EELR', &kqMakeInstance<KqEditEventListener>)

namespace {
enum VirtualKey { KeyEnd = 0x23, KeyHome = 0x24, KeyLeft = 0x25, KeyUp = 0x26, KeyRight = 0x27, KeyDown = 0x28, KeyDelete = 0x2E,
                  KeyA = 0x41, KeyC = 0x43, KeyV = 0x56, KeyX = 0x58 };
enum Character { Backspace = 8, Tab = 9, Return = 13 };
}

KqSimpleEdit::KqSimpleEdit(KqGraphicsItem* parentItem) : KqWidgetItem(parentItem)
{
    setObjectName(KqString(u"SimpleEdit"));
    setRect(KqRectF(0, 0, 102, 23));
    setFocusPolicy(TabFocus | ClickFocus);
    KqGraphicsFrameItem* b = background();
    b->setStateImageUrl(KqGraphicsFrameItem::NormalImage, KqString(u"kqgui:edit_normal.png"));
    b->setStateImageUrl(KqGraphicsFrameItem::HoverImage, KqString(u"kqgui:edit_hover.png"));
    b->setStateImageUrl(KqGraphicsFrameItem::FocusImage, KqString(u"kqgui:edit_focus.png"));
    b->setStateImageUrl(KqGraphicsFrameItem::PressedImage, KqString(u"kqgui:edit_pressdown.png"));
    b->setStateImageUrl(KqGraphicsFrameItem::DisabledImage, KqString(u"kqgui:edit_disable.png"));
    b->setMargins(KqMargins{6, 6, 6, 6});

    m_editText = new KqGraphicsEditText(this);
    m_editText->setObjectName(KqString(u"text"));
    m_editText->anchors()->setMargins(2);
    m_editText->anchors()->setFill(this);
    m_editText->layoutEngine()->setLayoutRect(KqRectF(m_editText->rect().toRect()));

    document()->addValidator(new KqEditEventListener(this));
    setEventHandler(new KqSimpleEditEventHandler(this));
    b->setEventHandler(new KqSimpleEditEventHandler(this));
}

KqTextDocument* KqSimpleEdit::document() const { return m_editText->document(); }

void KqSimpleEdit::ensureCaretVisible()
{
    KqTextDocument* d = document();
    if (d->cursor().position() == 0) {
        m_editText->setScrollOffset(KqPointF(0, 0));
        return;
    }
    KqPoint top, bottom;
    m_editText->layoutEngine()->caretLine(d, m_editText->rect(), top, bottom);
    const double cx = roundHalfUp(m_editText->x() + top.x);
    const double left = m_editText->x(), width = m_editText->width();
    const double s = m_editText->scrollOffset().x;
    double offset = s;
    if (s + cx > left) {
        if (s + cx >= left + width)
            offset = left + width - cx - 1; // one pixel inside the right edge
    } else {
        offset = cx >= left + width ? left - cx + (cx < width / 2 ? cx : width / 2) + 1 : 0;
    }
    m_editText->setScrollOffset(KqPointF(offset, 0));
}

// ---- handler

namespace {
bool shiftHeld() { return kqIsModifierDown(KqKeyEvent::ShiftModifier); }
bool controlOrAltHeld() { return kqIsModifierDown(KqKeyEvent::ControlModifier) || kqIsModifierDown(KqKeyEvent::AltModifier); }
}

bool KqSimpleEditEventHandler::hasSelection() const
{
    KqTextDocument* d = m_edit->document();
    return d->cursor().position() != d->anchor().position();
}

int KqSimpleEditEventHandler::hitTest(KqMouseEvent* event) const
{
    KqGraphicsEditText* text = m_edit->editText();
    const KqPointF local = text->sceneTransform().inverse().map(KqPointF(event->scenePos.x, event->scenePos.y));
    return text->hitTest(local.x - text->scrollOffset().x);
}

void KqSimpleEditEventHandler::refresh()
{
    m_edit->editText()->update();
    KqInputFocusPainter::instance()->setBlinking(true);
    m_edit->ensureCaretVisible();
}

void KqSimpleEditEventHandler::deleteSelection()
{
    KqTextDocument* d = m_edit->document();
    const int c = d->cursor().position(), a = d->anchor().position();
    if (m_edit->isReadOnly() || c == a)
        return;
    const int low = c < a ? c : a, high = c < a ? a : c;
    for (int i = high - 1; i >= low; --i)
        d->removeChar(i);
    d->cursor().setPosition(low);
    d->anchor().setPosition(low);
}

void KqSimpleEditEventHandler::mouseDown(KqMouseEvent* event)
{
    KqWidgetEventHandler::mouseDown(event);
    if (!m_edit)
        return;
    m_selecting = true;
    KqTextDocument* d = m_edit->document();
    const int p = hitTest(event);
    if (p != d->cursor().position()) {
        d->cursor().setPosition(p);
        if (!shiftHeld())
            d->anchor().setPosition(p);
        refresh();
    }
}

void KqSimpleEditEventHandler::mouseMove(KqMouseEvent* event)
{
    if (!m_edit || !m_selecting)
        return;
    KqTextDocument* d = m_edit->document();
    const int p = hitTest(event);
    if (p != d->cursor().position()) {
        d->cursor().setPosition(p);
        refresh();
    }
}

void KqSimpleEditEventHandler::mouseUp(KqMouseEvent* event)
{
    KqWidgetEventHandler::mouseUp(event);
    m_selecting = false;
}

void KqSimpleEditEventHandler::mouseDbClick(KqMouseEvent*)
{
    if (!m_edit)
        return;
    m_edit->document()->cursor().moveToEnd();
    m_edit->document()->anchor().moveToStart();
    refresh();
}

void KqSimpleEditEventHandler::mouseClicked(KqMouseEvent*)
{
    if (!m_edit)
        return;
    KqInputFocusPainter::instance()->setBlinking(true);
    m_edit->ensureCaretVisible();
}

void KqSimpleEditEventHandler::focusIn(KqFocusEvent* event)
{
    KqWidgetEventHandler::focusIn(event);
    if (m_edit)
        KqInputFocusPainter::instance()->start(m_edit);
}

void KqSimpleEditEventHandler::focusOut(KqFocusEvent* event)
{
    KqWidgetEventHandler::focusOut(event);
    KqInputFocusPainter::instance()->stop();
}

void KqSimpleEditEventHandler::keyDown(KqKeyEvent* event)
{
    if (!m_edit)
        return;
    KqTextDocument* d = m_edit->document();
    KqTextCursor& cursor = d->cursor();
    KqTextCursor& anchor = d->anchor();
    const bool shift = (event->modifierFlags & KqKeyEvent::ShiftFlag) != 0;
    const bool control = (event->modifierFlags & KqKeyEvent::ControlFlag) != 0;
    const int oldCursor = cursor.position(), oldAnchor = anchor.position();
    const int low = oldCursor < oldAnchor ? oldCursor : oldAnchor;
    const int high = oldCursor < oldAnchor ? oldAnchor : oldCursor;
    bool anchorFollows = true;
    switch (control ? event->virtualKey | 0x10000 : event->virtualKey) {
    case KeyLeft | 0x10000:
        cursor.wordLeft(1);
        break;
    case KeyRight | 0x10000:
        cursor.wordRight(1);
        break;
    case KeyA | 0x10000:
        cursor.moveToEnd();
        anchor.moveToStart();
        anchorFollows = false;
        break;
    case KeyC | 0x10000: {
        const KqString copied = low != high ? d->textRange(low, high) : d->text();
        if (copied.length())
            KqClipboard::instance()->setText(copied);
        anchorFollows = false;
        break;
    }
    case KeyV | 0x10000: {
        if (m_edit->isReadOnly())
            break;
        KqString pasted = KqClipboard::instance()->text();
        // One line only: the text up to the first line break.
        for (int i = 0; i < pasted.length(); ++i) {
            if (pasted.unitAt(i) == u'\r' || pasted.unitAt(i) == u'\n') {
                pasted = i > 0 ? KqString(pasted.data(), i) : KqString();
                break;
            }
        }
        if (!pasted.length())
            break;
        deleteSelection();
        const int at = cursor.position();
        cursor.setPosition(at + d->insertText(pasted, at));
        break;
    }
    case KeyX | 0x10000: {
        if (m_edit->isReadOnly())
            break;
        if (low != high) {
            const KqString cut = d->textRange(low, high);
            if (cut.length())
                KqClipboard::instance()->setText(cut);
            deleteSelection();
            cursor.setPosition(low);
        } else {
            const KqString all = d->text();
            if (all.length())
                KqClipboard::instance()->setText(all);
            d->clear();
            cursor.setPosition(0);
        }
        break;
    }
    case KeyEnd:
        cursor.moveToEnd();
        break;
    case KeyHome:
        cursor.moveToStart();
        break;
    case KeyLeft:
        if (low == high || shift)
            cursor.moveLeft(1);
        else
            cursor.setPosition(low);
        break;
    case KeyRight:
        if (low == high || shift)
            cursor.moveRight(1);
        else
            cursor.setPosition(high);
        break;
    case KeyUp:
        cursor.lineUp();
        break;
    case KeyDown:
        cursor.lineDown();
        break;
    case KeyDelete:
        if (m_edit->isReadOnly())
            break;
        if (low == high) {
            if (cursor.position() < d->length())
                d->removeChar(cursor.position());
        } else {
            deleteSelection();
        }
        break;
    default:
        return;
    }
    event->setAccepted(true);
    if (anchorFollows && !shift)
        anchor.setPosition(cursor.position());
    if (cursor.position() != oldCursor || anchor.position() != oldAnchor)
        refresh();
}

void KqSimpleEditEventHandler::charInput(KqCharEvent* event)
{
    if (!m_edit)
        return;
    const int32_t c = event->character;
    if (c == 0 || c == Tab || c == Return || c > 0xFFFF || controlOrAltHeld() || m_edit->isReadOnly())
        return;
    KqTextDocument* d = m_edit->document();
    KqTextCursor& cursor = d->cursor();
    KqTextCursor& anchor = d->anchor();
    const int oldCursor = cursor.position(), oldAnchor = anchor.position();
    if (c == Backspace) {
        if (hasSelection()) {
            deleteSelection();
        } else if (cursor.position() > 0 && d->removeChar(cursor.position() - 1)) {
            cursor.moveLeft(1);
            anchor.setPosition(cursor.position());
        }
    } else {
        // Other control characters (Esc, line feed, DEL) have no place in a one-line field.
        if (c < 0x20 || c == 0x7F)
            return;
        if (!d->insertChar(KqChar(c), cursor.position()))
            return;
        if (cursor.position() < anchor.position()) {
            cursor.moveRight(1);
            anchor.moveRight(1);
            deleteSelection();
        } else {
            deleteSelection();
            cursor.moveRight(1);
        }
        anchor.setPosition(cursor.position());
    }
    event->setAccepted(true);
    if (cursor.position() != oldCursor || anchor.position() != oldAnchor)
        refresh();
}

// ---- listener

KqEditEventListener::KqEditEventListener(KqGraphicsItem* edit) : m_edit(edit)
{
    enabled = true;
    kinds = Insertions | Removals;
    phases = After;
}

void KqEditEventListener::report(uint16_t unit, int kind)
{
    if (!m_edit)
        return;
    KqTextEditEvent event;
    event.kind = kind;
    event.value = KqVariant(int32_t(unit));
    m_edit->sendEvent(&event);
}

bool KqEditEventListener::validateInsert(uint16_t unit, int)
{
    report(unit, Inserted);
    return true;
}

bool KqEditEventListener::validateRemove(uint16_t unit, int)
{
    report(unit, Removed);
    return true;
}
