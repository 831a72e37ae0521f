// The single-line text entry: a skinned widget holding an edit text, with
// a handler for mouse selection, editing keys, typing and the clipboard,
// and a listener that reports every change as a text-edit event.
#pragma once

#include "KqDocumentValidater.h"
#include "KqWidgetEventHandler.h"
#include "KqWidgetItem.h"

class KqGraphicsEditText;
class KqTextDocument;

class KqSimpleEdit : public KqWidgetItem {
    KQ_DECLARE_CLASS(KqSimpleEdit)
public:
    explicit KqSimpleEdit(KqGraphicsItem* parentItem = nullptr);
    KqGraphicsEditText* editText() const { return m_editText; }
    KqTextDocument* document() const;
    bool isReadOnly() const { return m_readOnly; }
    void setReadOnly(bool on) { m_readOnly = on; }
    // Keeps the caret inside the edit text horizontally.
    void ensureCaretVisible();

private:
    KqGraphicsEditText* m_editText;
    bool m_readOnly = false;
};

class KqLineEdit : public KqSimpleEdit {
    KQ_DECLARE_CLASS(KqLineEdit)
public:
    explicit KqLineEdit(KqGraphicsItem* parentItem = nullptr) : KqSimpleEdit(parentItem) {}
};

class KqSimpleEditEventHandler : public KqWidgetEventHandler {
    KQ_DECLARE_CLASS(KqSimpleEditEventHandler)
public:
    explicit KqSimpleEditEventHandler(KqSimpleEdit* edit = nullptr) : KqWidgetEventHandler(edit), m_edit(edit) {}
    void mouseDown(KqMouseEvent* event) override;
    void mouseMove(KqMouseEvent* event) override;
    void mouseUp(KqMouseEvent* event) override;
    void mouseDbClick(KqMouseEvent* event) override;
    void mouseClicked(KqMouseEvent* event) override;
    void keyDown(KqKeyEvent* event) override;
    void charInput(KqCharEvent* event) override;
    void focusIn(KqFocusEvent* event) override;
    void focusOut(KqFocusEvent* event) override;

private:
    int hitTest(KqMouseEvent* event) const;
    void refresh();
    void deleteSelection();
    bool hasSelection() const;
    KqSimpleEdit* m_edit;
    bool m_selecting = false;
};

// Reports each unit that went in or out to the edit as a KqTextEditEvent.
class KqEditEventListener : public KqDocumentValidater {
    KQ_DECLARE_CLASS(KqEditEventListener)
public:
    enum EditKind { Inserted = 1, Removed = 2 };
    explicit KqEditEventListener(KqGraphicsItem* edit = nullptr);
    bool reset() override { return true; }
    bool validateInsert(uint16_t unit, int position) override;
    bool validateRemove(uint16_t unit, int position) override;

private:
    void report(uint16_t unit, int kind);
    KqGraphicsItem* m_edit;
};
